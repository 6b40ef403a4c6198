#include "device/DeviceDetailsForm.h"

#include "clients/ClientRecord.h"
#include "common/HexText.h"
#include "device/DeviceCommands.h"

namespace {

constexpr int kFirstText = DetailsControl::Name;

QString multicomMac(const QByteArray& key) {
    return QString::fromLatin1(key.left(2) + ':' + key.mid(2, 2) + ':' + key.mid(4, 2));
}

} // namespace

const QStringList& DeviceDetailsForm::minuteChoices() {
    static const QStringList choices{QStringLiteral("2 min"), QStringLiteral("3 min"), QStringLiteral("5 min"),
                                     QStringLiteral("10 min"), QStringLiteral("15min")};
    return choices;
}

DeviceDetailsForm::DeviceDetailsForm(DeviceCommands& commands, const PrimaryClient& client, const QString& nameText,
                                     const std::optional<DeviceCommand::Details>& details, quint16 fromPort,
                                     bool queryFailed)
    : m_commands(commands), m_serial(client.serial), m_multicom(client.isMulticom()), m_queryFailed(queryFailed) {
    auto set = [this](int control, const QString& text) { m_texts[size_t(control - kFirstText)] = text; };
    set(DetailsControl::Name, nameText);
    set(DetailsControl::Account, HexText::hex4(client.account));
    set(DetailsControl::Ip, client.ethAddress);
    set(DetailsControl::Port, QString::number(client.ethPort));
    set(DetailsControl::GprsIp, client.gprsAddress);
    set(DetailsControl::GprsPort, QString::number(client.gprsPort));
    if (m_multicom) {
        set(DetailsControl::Mac, multicomMac(client.macKeyText()));
        m_lineSwitch = true; // delivered at the device's next report
        return;
    }
    if (!details)
        return; // the device's sections stay hidden
    set(DetailsControl::Password, details->password);
    set(DetailsControl::Model, details->model);
    set(DetailsControl::Firmware, details->firmware);
    set(DetailsControl::Mac, details->mac);
    set(DetailsControl::Port, QString::number(fromPort));
    set(DetailsControl::Rssi, QString::number(details->rssi));
    m_pgmSection = details->pgmSection;
    m_lineSwitch = details->lineSwitch;
    m_cellular = details->cellular;
    m_inputs = {details->in1, details->in2};
    m_pgm = details->pgm;
}

QString DeviceDetailsForm::text(int control) const {
    const int index = control - kFirstText;
    return index >= 0 && index < int(m_texts.size()) ? m_texts[size_t(index)] : QString();
}

void DeviceDetailsForm::togglePgm(int index) {
    if (index >= 0 && index < DeviceCommand::kPgmCount && !m_busy)
        m_commands.togglePgm(*this, index);
}

void DeviceDetailsForm::switchLine(const QString& minutesItem) {
    if (!m_busy)
        m_commands.switchLine(*this, minutesItem);
}

void DeviceDetailsForm::setBusy(bool busy) {
    m_busy = busy;
    emit changed();
}

void DeviceDetailsForm::setPgm(int index, bool on) {
    m_pgm[size_t(index)] = on;
    emit changed();
}
