#pragma once

#include "device/DeviceCommandCodec.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class DeviceCommands;
class PrimaryClient;

// Control numbers of the details dialog.
namespace DetailsControl {
constexpr int Name = 801;
constexpr int Account = 802;
constexpr int Password = 803;
constexpr int Model = 804;
constexpr int Firmware = 805;
constexpr int Mac = 806;
constexpr int Ip = 807;
constexpr int Port = 808;
constexpr int Minutes = 809;
constexpr int FirstPgmState = 810; // 810..813
constexpr int GprsIp = 814;
constexpr int GprsPort = 815;
constexpr int Rssi = 816;
constexpr int NoAnswerNote = 830;
constexpr int LineSwitch = 839;
constexpr int In1 = 841;
constexpr int In2 = 842;
constexpr int FirstPgmButton = 843; // 843..846
} // namespace DetailsControl

// `DialogDetails` without widgets: what the dialog shows of a client and its
// device, which sections are visible, and its commands (the PGM toggles and
// the line switch), which run without blocking while the dialog stays open.
// The client is named by its registry serial: one removed while the dialog is
// open takes no command any more.
class DeviceDetailsForm : public QObject {
    Q_OBJECT
public:
    // The minutes offered by "para:" (809); the first one is chosen at opening.
    static const QStringList& minuteChoices();

    // The registry's data of client; details from the device when its query
    // was answered (fromPort: the port the answer came from); with
    // queryFailed the note 830 shows and the device's sections stay hidden.
    DeviceDetailsForm(DeviceCommands& commands, const PrimaryClient& client, const QString& nameText,
                      const std::optional<DeviceCommand::Details>& details, quint16 fromPort, bool queryFailed);

    quint64 clientSerial() const { return m_serial; }
    bool multicom() const { return m_multicom; }
    QString text(int control) const;
    // Rows of the password, model and firmware: a TaviCom device's only.
    bool deviceRowsVisible() const { return !m_multicom; }
    bool pgmSectionVisible() const { return m_pgmSection; }
    bool lineSwitchVisible() const { return m_lineSwitch; }
    bool cellularVisible() const { return m_cellular; }
    bool noAnswerNoteVisible() const { return m_queryFailed; }
    bool input(int index) const { return m_inputs[size_t(index)]; }
    bool pgm(int index) const { return m_pgm[size_t(index)]; }
    // A command of the dialog runs: the dialog is disabled until it ends.
    bool busy() const { return m_busy; }

    // "PGM 1" to "PGM 4" (index 0 to 3).
    void togglePgm(int index);
    // "Alternar" with the item of "para:" chosen.
    void switchLine(const QString& minutesItem);

    // Called by the commands as a request starts and ends.
    void setBusy(bool busy);
    void setPgm(int index, bool on);

signals:
    void changed();

private:
    DeviceCommands& m_commands;
    quint64 m_serial;
    bool m_multicom;
    std::array<QString, 16> m_texts; // 801..816
    bool m_pgmSection = false;
    bool m_lineSwitch = false;
    bool m_cellular = false;
    bool m_queryFailed = false;
    std::array<bool, 2> m_inputs{};
    std::array<bool, DeviceCommand::kPgmCount> m_pgm{};
    bool m_busy = false;
};
