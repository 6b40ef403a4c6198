#pragma once

#include <QString>
#include <QtGlobal>

// The server's own operating settings, one record for the whole run, named by
// their keys in "Server.cfg". Written on the user-interface thread only.
struct ServerSettings {
    quint32 UDP = 0;
    quint32 TCP = 0; // stored and written back; no socket is opened on it
    quint32 MC = 0;
    quint32 Yellow = 120;                       // keep-alive time-out in seconds, 10 to 600
    QString Tavi = QStringLiteral("127.0.0.1"); // default callback address
    quint32 Port = 51069;                       // default callback port
    int SoundNewEvent = 1;
    int SoundNewRegister = 1;
    int SoundOffline = 1;
    int SoundAckFail = 1;
    int UseSpeaker = 0; // stored and written back only
    bool AnonymEntry = false;
    bool EnableMulticom = false;
    bool LogAll = false; // "Exibir eventos": list events of unregistered devices
    // Seconds: an event a stopped run acknowledged and never logged is
    // forwarded again at the next start while younger than this, else listed as failed.
    quint32 ResendAge = kDefaultResendAge;
    static constexpr quint32 kDefaultResendAge = 300;
    // The most Multicom sessions open at once; a connection beyond them is
    // closed as soon as it is taken.
    quint32 MaxSessions = kDefaultMaxSessions;
    static constexpr quint32 kDefaultMaxSessions = 2000;

    // The keep-alive countdown of clients loaded without a stored period.
    int defaultKeepAlive() const { return static_cast<int>(Yellow / 2); }
};
