#pragma once

#include "common/DataDirectory.h"
#include "reporting/ReportTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ReportSender;
class UserInterface;
struct ReportSettings;

// Control numbers of the "Reportar" section; each control shows the string of its number.
namespace ReportControl {
constexpr int Protocol = 721;
constexpr int SerialPort = 722;
constexpr int Baud = 723;
constexpr int Parity = 724;
constexpr int DataBits = 725;
constexpr int StopBits = 726;
constexpr int Receiver = 727;
constexpr int Line = 728;
constexpr int Host = 729;
constexpr int StationPort = 730;
constexpr int OwnHeartbeatGroup = 731;
constexpr int OwnHeartbeat = 732;
constexpr int HeartbeatPeriod = 733;
constexpr int Seconds = 734;
constexpr int Attempts = 735;
constexpr int ReportHeartbeat = 736;
constexpr int Transparent = 737;
constexpr int Edit = 738;
constexpr int Apply = 739;
constexpr int Save = 740;
} // namespace ReportControl

// What the section's fields hold: list positions, and texts as typed.
struct ReportForm {
    QString serialPort;
    int baudIndex = 7;
    int parityIndex = 0;
    int dataBitsIndex = 1;
    int stopBitsIndex = 0;
    QString receiver = QStringLiteral("1");
    QString line = QStringLiteral("1");
    QString host;
    QString stationPort;
    bool ownHeartbeat = false;
    QString heartbeatPeriod;
    int attemptsIndex = 0;
    bool reportHeartbeat = false;
    bool transparent = false;
};

// Which controls the section shows and enables, for the selected mode and "Editar".
struct ReportSectionLook {
    bool protocolEnabled = false;
    bool serialShown = false;
    bool stationShown = false;
    bool fieldsEnabled = false; // the shown serial or station fields
    bool reportHeartbeatEnabled = false;
    bool transparentEnabled = false;
    bool heartbeatGroupShown = false;
    bool ownHeartbeatEnabled = false;
    bool heartbeatFieldsEnabled = false;
    bool applyEnabled = false;
    bool saveEnabled = false;
};

// The "Reportar" section of the configuration page without its widgets: the
// mode selection, "Editar", "Aplicar", "Salvar" and the start-up that reads
// "Report.cfg" and handles the stored mode as a selection. The widget shows
// form() and look() and forwards the operator's actions here.
//
// Threads: the main thread.
class ReportSection : public QObject {
    Q_OBJECT
public:
    using PortLister = std::function<QStringList()>;
    static constexpr int kMsgNoSerialPorts = 162;
    static constexpr int kMaxReceiver = 99;
    static constexpr int kMaxLine = 9;
    static constexpr int kMaxStationPort = 65534;

    // logAll: the server's "LogAll" flag, which "Report.cfg" carries too.
    ReportSection(ReportSettings& settings, bool& logAll, ReportSender& sender, UserInterface& ui, DataDirectory dir,
                  PortLister listSerialPorts);

    // Start-up: reads "Report.cfg", selects the stored mode as the operator
    // would, applies it unless it is off (without the ON events), and from then
    // on start-up counts as finished with nothing marked changed.
    void startUp();

    // Selecting an entry of "Protocolo:"; false when it went back to the mode in use.
    bool selectMode(ReportMode mode);
    void setEditing(bool editing);
    // Any field changed by the operator.
    void markChanged();
    // "Habilitar" of the own heartbeat acts at once.
    void setOwnHeartbeat(bool enabled);
    // "Aplicar" with the fields as they stand; false when a field was refused or the start failed.
    bool apply(const ReportForm& form);
    // "Salvar": takes the fields, writes both files, locks the section.
    bool save(const ReportForm& form);

    ReportMode selectedMode() const { return m_selected; }
    bool editing() const { return m_editing; }
    bool changed() const { return m_changed; }
    ReportForm form() const;
    ReportSectionLook look() const;
    // The serial ports, listed from the system once per run.
    QStringList serialPorts();

signals:
    // What the section shows changed (selection, editing, marks).
    void lookChanged();
    // The settings were read anew: the fields show them again.
    void formReset();

private:
    bool takeFields(const ReportForm& form);

    ReportSettings& m_settings;
    bool& m_logAll;
    ReportSender& m_sender;
    UserInterface& m_ui;
    DataDirectory m_dir;
    PortLister m_listSerialPorts;
    std::optional<QStringList> m_ports;
    ReportMode m_selected = ReportMode::Off;
    bool m_editing = false;
    bool m_changed = false;
    bool m_applyEnabled = false;
};
