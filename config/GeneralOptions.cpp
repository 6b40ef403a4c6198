#include "config/GeneralOptions.h"

#include "common/FileWriter.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/MulticomControl.h"
#include "config/ServerConfigFile.h"
#include "config/ValueExchange.h"

namespace {

constexpr int kMsgMulticomPortMissing = 169;
constexpr quint32 kMaxPort = 65535;

const QString kKeepAliveRange = QStringLiteral("Keep Alive deve estar entre 10 e 600 segundos\nDigite novamente");
const QString kOutOfRange = QStringLiteral("Enter an integer between %1 and %2.");

} // namespace

GeneralOptions::GeneralOptions(ServerSettings& settings, UserInterface& ui, QString configPath,
                               MulticomControl& multicom, std::function<void()> restartDatagramServer)
    : m_settings(settings), m_ui(ui), m_configPath(std::move(configPath)), m_multicom(multicom),
      m_restartDatagramServer(std::move(restartDatagramServer)), m_runningUdp(settings.UDP) {}

GeneralOptionsForm GeneralOptions::form() const {
    GeneralOptionsForm f;
    f.tavi = m_settings.Tavi;
    f.yellow = QString::number(m_settings.Yellow);
    f.udp = QString::number(m_settings.UDP);
    f.port = QString::number(m_settings.Port);
    f.tcp = QString::number(m_settings.TCP);
    f.mc = QString::number(m_settings.MC);
    f.soundNewEvent = m_settings.SoundNewEvent != 0;
    f.soundNewRegister = m_settings.SoundNewRegister != 0;
    f.soundOffline = m_settings.SoundOffline != 0;
    f.soundAckFail = m_settings.SoundAckFail != 0;
    f.useSpeaker = m_settings.UseSpeaker != 0;
    f.anonymEntry = m_settings.AnonymEntry;
    f.enableMulticom = m_settings.EnableMulticom;
    f.logAll = m_settings.LogAll;
    return f;
}

int GeneralOptions::exchangeValues(const GeneralOptionsForm& f) {
    ValueExchange ex(m_ui);
    if (m_internalEventsStep)
        m_internalEventsStep(ex);
    ex.takeUnsigned(GeneralControl::Udp, f.udp, 1, kMaxPort, m_settings.UDP);
    ex.takeUnsigned(GeneralControl::Tcp, f.tcp, 0, kMaxPort, m_settings.TCP);
    ex.takeUnsigned(GeneralControl::Mc, f.mc, 0, kMaxPort, m_settings.MC);
    ex.takeCheck(f.soundNewEvent, m_settings.SoundNewEvent);
    ex.takeCheck(f.soundNewRegister, m_settings.SoundNewRegister);
    ex.takeCheck(f.soundOffline, m_settings.SoundOffline);
    ex.takeCheck(f.soundAckFail, m_settings.SoundAckFail);
    ex.takeCheck(f.useSpeaker, m_settings.UseSpeaker);
    if (m_operatorsStep && !ex.failed())
        m_operatorsStep(ex);
    ex.takeText(f.tavi, m_settings.Tavi);
    ex.takeUnsigned(GeneralControl::Port, f.port, 0, kMaxPort, m_settings.Port);
    ex.takeUnsigned(GeneralControl::Yellow, f.yellow, m_settings.Yellow);
    ex.takeFlag(f.anonymEntry, m_settings.AnonymEntry);
    ex.takeFlag(f.enableMulticom, m_settings.EnableMulticom);
    ex.takeFlag(f.logAll, m_settings.LogAll);
    return ex.failedControl();
}

void GeneralOptions::checkBoxClicked(int control, bool checked) {
    const int flag = checked ? 1 : 0;
    switch (control) {
    case GeneralControl::SoundNewEvent:
        m_settings.SoundNewEvent = flag;
        break;
    case GeneralControl::SoundNewRegister:
        m_settings.SoundNewRegister = flag;
        break;
    case GeneralControl::SoundOffline:
        m_settings.SoundOffline = flag;
        break;
    case GeneralControl::SoundAckFail:
        m_settings.SoundAckFail = flag;
        break;
    case GeneralControl::UseSpeaker:
        m_settings.UseSpeaker = flag;
        break;
    case GeneralControl::AnonymEntry:
        m_settings.AnonymEntry = checked;
        break;
    case GeneralControl::LogAll:
        m_settings.LogAll = checked;
        break;
    default:
        break;
    }
}

GeneralOptions::MulticomSwitch GeneralOptions::multicomClicked(bool checked, const QString& portText) {
    m_settings.EnableMulticom = checked;
    if (!checked) {
        m_multicom.CloseMulticomListener();
        return MulticomSwitch::Switched;
    }
    // The port is read as the window system reads an unsigned number from an
    // edit: anything that is not one counts as 0.
    quint32 port = 0;
    ValueExchange::parseUnsigned(portText, port);
    if (port > kMaxPort) {
        // A port number beyond 16 bits would otherwise open some other port;
        // the setting keeps its value, so no later "Salvar" writes the refused one.
        m_ui.showMessage(kOutOfRange.arg(1).arg(kMaxPort), UserInterface::Icon::Error);
        return MulticomSwitch::PortInvalid;
    }
    m_settings.MC = port;
    if (port == 0) {
        m_ui.showMessage(StringTable::text(kMsgMulticomPortMissing), UserInterface::Icon::Exclamation);
        return MulticomSwitch::PortMissing;
    }
    m_multicom.OpenMulticomListener(static_cast<quint16>(port));
    return MulticomSwitch::Switched;
}

GeneralOptions::SaveOutcome GeneralOptions::SaveServerConfig(const GeneralOptionsForm& form) {
    SaveOutcome outcome;
    outcome.refusedControl = exchangeValues(form);

    if (m_settings.Yellow < kMinYellow || m_settings.Yellow > kMaxYellow) {
        m_ui.askYesNo(kKeepAliveRange, UserInterface::Icon::Error, true); // the answer is not used
        m_settings.Yellow = m_settings.Yellow < kMinYellow ? kMinYellow : kMaxYellow;
        outcome.correctedYellow = m_settings.Yellow;
        return outcome;
    }

    // A file that cannot be written is not reported; the settings stay as taken.
    writeFileWhole(m_configPath, ServerConfigFile::serialize(m_settings));
    outcome.written = true;

    if (m_settings.UDP != m_runningUdp) {
        m_runningUdp = m_settings.UDP;
        if (m_restartDatagramServer)
            m_restartDatagramServer();
    }
    return outcome;
}
