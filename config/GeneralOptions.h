#pragma once

#include "config/ServerSettings.h"

#include <QString>

#include <functional>

class MulticomControl;
class UserInterface;
class ValueExchange;

// Control numbers of the general-options section of the configuration page.
namespace GeneralControl {
constexpr int Tavi = 500;
constexpr int Yellow = 501;
constexpr int Udp = 502;
constexpr int Port = 503;
constexpr int Tcp = 504;
constexpr int Mc = 505;
constexpr int SoundNewEvent = 707;
constexpr int SoundNewRegister = 708;
constexpr int SoundOffline = 709;
constexpr int SoundAckFail = 710;
constexpr int UseSpeaker = 711;
constexpr int AnonymEntry = 716;
constexpr int EnableMulticom = 717;
constexpr int LogAll = 718;
constexpr int Save = 719;
} // namespace GeneralControl

// What the general-options section shows: the texts of its edits and the
// states of its check boxes.
struct GeneralOptionsForm {
    QString tavi;   // 500
    QString yellow; // 501
    QString udp;    // 502
    QString port;   // 503
    QString tcp;    // 504
    QString mc;     // 505
    bool soundNewEvent = false;
    bool soundNewRegister = false;
    bool soundOffline = false;
    bool soundAckFail = false;
    bool useSpeaker = false;
    bool anonymEntry = false;
    bool enableMulticom = false;
    bool logAll = false;
};

// The behaviour of the general-options section of the configuration page,
// without widgets: the page's share of the exchange of values, the boxes that
// act at once, the Multicom switch and `SaveServerConfig`.
class GeneralOptions {
public:
    using ExchangeStep = std::function<void(ValueExchange&)>;

    // restartDatagramServer closes the server's datagram socket and calls
    // StartServer again; it runs when a Save finds the UDP port changed.
    GeneralOptions(ServerSettings& settings, UserInterface& ui, QString configPath, MulticomControl& multicom,
                   std::function<void()> restartDatagramServer);

    // The other sections of the page take their fields in the same exchange:
    // the internal events first, the operators after the sound boxes.
    void setInternalEventsExchange(ExchangeStep step) { m_internalEventsStep = std::move(step); }
    void setOperatorsExchange(ExchangeStep step) { m_operatorsStep = std::move(step); }

    // The settings as the section shows them.
    GeneralOptionsForm form() const;

    // The exchange of values of the whole page, run at the start of every
    // section's Save. Returns the control refused first, 0 when all were taken.
    int exchangeValues(const GeneralOptionsForm& form);

    // A click on a sound box (707 to 711), "Modo anônimo" (716) or "Exibir
    // eventos" (718): the box's state is stored at once.
    void checkBoxClicked(int control, bool checked);

    enum class MulticomSwitch {
        Switched,    // listener opened (or its failure reported) or closed: Save is enabled
        PortMissing, // ticked with port 0: string 169 shown, nothing opened, Save untouched
        PortInvalid, // ticked with a port above 65535: refused, nothing opened, Save untouched
    };
    // A click on "Habilitar Multicom" (717), portText being edit 505.
    MulticomSwitch multicomClicked(bool checked, const QString& portText);

    struct SaveOutcome {
        bool written = false;        // false: keep-alive corrected, nothing written
        int refusedControl = 0;      // first field the exchange refused, 0 when none
        quint32 correctedYellow = 0; // the value to show in 501 when corrected
    };
    // "Salvar" (719).
    SaveOutcome SaveServerConfig(const GeneralOptionsForm& form);

    static constexpr quint32 kMinYellow = 10;
    static constexpr quint32 kMaxYellow = 600;

private:
    ServerSettings& m_settings;
    UserInterface& m_ui;
    QString m_configPath;
    MulticomControl& m_multicom;
    std::function<void()> m_restartDatagramServer;
    ExchangeStep m_internalEventsStep;
    ExchangeStep m_operatorsStep;
    // The UDP port the datagram socket was last started on; compared at Save
    // so that a port taken by a Save that then stopped is still applied.
    quint32 m_runningUdp;
};
