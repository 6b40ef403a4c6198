#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QtGlobal>

// The settings of SIA DC-09 reception, one record for the whole run, as
// "Dc09.cfg" holds them (config/Dc09ConfigFile.h). Written on the
// user-interface thread only.
struct Dc09Settings {
    static constexpr int kDefaultLag = 40;
    static constexpr int kDefaultLead = 20;
    static constexpr int kMaxWindow = 86400;
    // The account of the key that every account without a key of its own uses.
    static constexpr char kEveryAccount[] = "*";

    // UDP and TCP on the same number; 0: reception off.
    quint16 port = 0;
    // Seconds a message's timestamp may lag behind and lead the receiver's UTC clock.
    int lag = kDefaultLag;
    int lead = kDefaultLead;
    // AES keys (16, 24 or 32 bytes) by account: upper-case hexadecimal digits
    // as the frames' "#" field gives them, or kEveryAccount.
    QMap<QByteArray, QByteArray> keys;
    // The link to the central station in mode 2: AES key of the frames sent
    // (empty: frames in clear), timestamps on clear frames too, TCP instead of
    // UDP, and a backup station that takes what the first did not acknowledge
    // (no host: none).
    struct Station {
        QByteArray key;
        bool timestamp = false;
        bool tcp = false;
        QByteArray backupHost;
        quint16 backupPort = 0;

        bool hasBackup() const { return !backupHost.isEmpty() && backupPort != 0; }
        // Frames differ from the plain ones (and replies are read with the key).
        bool changesFrames() const { return !key.isEmpty() || timestamp; }
        bool operator==(const Station&) const = default;
    };
    Station station;
    // Lines of the file that name no setting, kept as they were.
    QList<QByteArray> otherLines;

    bool enabled() const { return port != 0; }

    // The key of an account (either case), else the key of every account, else none.
    const QByteArray* keyFor(QByteArrayView account) const {
        auto found = keys.constFind(account.toByteArray().toUpper());
        if (found == keys.constEnd())
            found = keys.constFind(QByteArray(kEveryAccount));
        return found == keys.constEnd() ? nullptr : &found.value();
    }

    bool operator==(const Dc09Settings&) const = default;
};
