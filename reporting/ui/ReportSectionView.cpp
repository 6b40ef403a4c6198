#include "reporting/ui/ReportSectionView.h"

#include "common/StringTable.h"
#include "reporting/ReportSender.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QStringList kBaudRates = {"0",     "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
                                "14400", "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr int kReceiverEntries = 15;
constexpr int kLineEntries = 9;
constexpr int kAttemptEntries = 8;

template <typename W> W* named(W* widget, const char* kind, int control) {
    widget->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(kind)).arg(control));
    return widget;
}

QLabel* label(int control, QWidget* parent) {
    return named(new QLabel(StringTable::text(control), parent), "label", control);
}

QComboBox* numbers(int first, int count, int control, QWidget* parent) {
    auto* box = named(new QComboBox(parent), "combo", control);
    for (int n = first; n < first + count; ++n)
        box->addItem(QString::number(n));
    return box;
}

} // namespace

ReportSectionView::ReportSectionView(ReportSection& section, QWidget* parent) : QWidget(parent), m_section(section) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    m_protocol = named(new QComboBox(this), "combo", ReportControl::Protocol);
    for (ReportMode mode : {ReportMode::Off, ReportMode::Serial, ReportMode::Dc09, ReportMode::Dispatcher})
        m_protocol->addItem(ReportSender::modeName(mode));
    grid->addWidget(label(ReportControl::Protocol, this), 0, 0);
    grid->addWidget(m_protocol, 0, 1);

    m_serialPort = named(new QComboBox(this), "combo", ReportControl::SerialPort);
    m_serialPort->setEditable(true);
    m_baud = named(new QComboBox(this), "combo", ReportControl::Baud);
    m_baud->addItems(kBaudRates);
    m_parity = named(new QComboBox(this), "combo", ReportControl::Parity);
    m_parity->addItems({QStringLiteral("Nenhuma"), QStringLiteral("Ímpar"), QStringLiteral("Par")});
    m_dataBits = named(new QComboBox(this), "combo", ReportControl::DataBits);
    m_dataBits->addItems({QStringLiteral("7"), QStringLiteral("8")});
    m_stopBits = named(new QComboBox(this), "combo", ReportControl::StopBits);
    m_stopBits->addItems({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")});
    m_receiver = numbers(1, kReceiverEntries, ReportControl::Receiver, this);
    m_receiver->setEditable(true);
    m_line = numbers(1, kLineEntries, ReportControl::Line, this);
    m_line->setEditable(true);
    const std::pair<int, QWidget*> serial[] = {{ReportControl::SerialPort, m_serialPort},
                                               {ReportControl::Baud, m_baud},
                                               {ReportControl::Parity, m_parity},
                                               {ReportControl::DataBits, m_dataBits},
                                               {ReportControl::StopBits, m_stopBits},
                                               {ReportControl::Receiver, m_receiver},
                                               {ReportControl::Line, m_line}};
    int row = 1;
    for (const auto& [control, widget] : serial) {
        QLabel* caption = label(control, this);
        grid->addWidget(caption, row, 0);
        grid->addWidget(widget, row++, 1);
        m_serialWidgets << caption << widget;
    }
    m_host = named(new QLineEdit(this), "edit", ReportControl::Host);
    m_stationPort = named(new QLineEdit(this), "edit", ReportControl::StationPort);
    for (const auto& [control, widget] : {std::pair<int, QWidget*>{ReportControl::Host, m_host},
                                          std::pair<int, QWidget*>{ReportControl::StationPort, m_stationPort}}) {
        QLabel* caption = label(control, this);
        grid->addWidget(caption, row, 0);
        grid->addWidget(widget, row++, 1);
        m_stationWidgets << caption << widget;
    }

    m_heartbeatGroup = named(new QGroupBox(StringTable::text(ReportControl::OwnHeartbeatGroup), this), "group",
                             ReportControl::OwnHeartbeatGroup);
    auto* heartbeat = new QGridLayout(m_heartbeatGroup);
    m_ownHeartbeat = named(new QCheckBox(StringTable::text(ReportControl::OwnHeartbeat), m_heartbeatGroup), "check",
                           ReportControl::OwnHeartbeat);
    m_period = named(new QLineEdit(m_heartbeatGroup), "edit", ReportControl::HeartbeatPeriod);
    m_attempts = numbers(1, kAttemptEntries, ReportControl::Attempts, m_heartbeatGroup);
    QLabel* periodLabel = label(ReportControl::HeartbeatPeriod, m_heartbeatGroup);
    QLabel* seconds = label(ReportControl::Seconds, m_heartbeatGroup);
    QLabel* attemptsLabel = label(ReportControl::Attempts, m_heartbeatGroup);
    heartbeat->addWidget(m_ownHeartbeat, 0, 0, 1, 3);
    heartbeat->addWidget(periodLabel, 1, 0);
    heartbeat->addWidget(m_period, 1, 1);
    heartbeat->addWidget(seconds, 1, 2);
    heartbeat->addWidget(attemptsLabel, 2, 0);
    heartbeat->addWidget(m_attempts, 2, 1);
    m_heartbeatFields << periodLabel << m_period << seconds << attemptsLabel << m_attempts;
    layout->addWidget(m_heartbeatGroup);

    m_reportHeartbeat = named(new QCheckBox(StringTable::text(ReportControl::ReportHeartbeat), this), "check",
                              ReportControl::ReportHeartbeat);
    m_transparent =
        named(new QCheckBox(StringTable::text(ReportControl::Transparent), this), "check", ReportControl::Transparent);
    m_edit = named(new QCheckBox(StringTable::text(ReportControl::Edit), this), "check", ReportControl::Edit);
    m_apply = named(new QPushButton(StringTable::text(ReportControl::Apply), this), "button", ReportControl::Apply);
    m_save = named(new QPushButton(StringTable::text(ReportControl::Save), this), "button", ReportControl::Save);
    auto* buttons = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{m_reportHeartbeat, m_transparent, m_edit, m_apply, m_save})
        buttons->addWidget(widget);
    layout->addLayout(buttons);

    connect(m_protocol, &QComboBox::activated, this, [this](int index) {
        if (ReportMode(index) == ReportMode::Serial)
            showSerialPorts();
        m_section.selectMode(ReportMode(index));
    });
    connect(m_edit, &QCheckBox::clicked, &m_section, &ReportSection::setEditing);
    connect(m_ownHeartbeat, &QCheckBox::clicked, &m_section, &ReportSection::setOwnHeartbeat);
    connect(m_apply, &QPushButton::clicked, this, [this] { m_section.apply(currentForm()); });
    connect(m_save, &QPushButton::clicked, this, [this] { m_section.save(currentForm()); });
    auto changed = [this] {
        if (!m_showing)
            m_section.markChanged();
    };
    for (QComboBox* box : {m_serialPort, m_baud, m_parity, m_dataBits, m_stopBits, m_receiver, m_line, m_attempts})
        connect(box, &QComboBox::currentTextChanged, this, changed);
    for (QLineEdit* edit : {m_host, m_stationPort, m_period})
        connect(edit, &QLineEdit::textEdited, this, changed);
    for (QCheckBox* box : {m_reportHeartbeat, m_transparent})
        connect(box, &QCheckBox::clicked, this, changed);
    connect(&m_section, &ReportSection::lookChanged, this, &ReportSectionView::showLook);
    connect(&m_section, &ReportSection::formReset, this, [this] {
        showSerialPorts();
        showForm(m_section.form());
    });

    showSerialPorts();
    showForm(m_section.form());
    showLook();
}

void ReportSectionView::showSerialPorts() {
    m_showing = true;
    const QString current = m_serialPort->currentText();
    m_serialPort->clear();
    m_serialPort->addItems(m_section.serialPorts());
    m_serialPort->setCurrentText(current.isEmpty() ? m_section.form().serialPort : current);
    m_showing = false;
}

void ReportSectionView::showForm(const ReportForm& form) {
    m_showing = true;
    m_serialPort->setCurrentText(form.serialPort);
    m_baud->setCurrentIndex(form.baudIndex);
    m_parity->setCurrentIndex(form.parityIndex);
    m_dataBits->setCurrentIndex(form.dataBitsIndex);
    m_stopBits->setCurrentIndex(form.stopBitsIndex);
    m_receiver->setCurrentText(form.receiver);
    m_line->setCurrentText(form.line);
    m_host->setText(form.host);
    m_stationPort->setText(form.stationPort);
    m_ownHeartbeat->setChecked(form.ownHeartbeat);
    m_period->setText(form.heartbeatPeriod);
    m_attempts->setCurrentIndex(form.attemptsIndex);
    m_reportHeartbeat->setChecked(form.reportHeartbeat);
    m_transparent->setChecked(form.transparent);
    m_showing = false;
}

void ReportSectionView::showLook() {
    const ReportSectionLook look = m_section.look();
    m_protocol->setCurrentIndex(int(m_section.selectedMode()));
    m_protocol->setEnabled(look.protocolEnabled);
    for (QWidget* widget : m_serialWidgets) {
        widget->setVisible(look.serialShown);
        widget->setEnabled(look.fieldsEnabled);
    }
    for (QWidget* widget : m_stationWidgets) {
        widget->setVisible(look.stationShown);
        widget->setEnabled(look.fieldsEnabled);
    }
    m_reportHeartbeat->setEnabled(look.reportHeartbeatEnabled);
    m_transparent->setEnabled(look.transparentEnabled);
    m_heartbeatGroup->setVisible(look.heartbeatGroupShown);
    m_ownHeartbeat->setEnabled(look.ownHeartbeatEnabled);
    for (QWidget* widget : m_heartbeatFields)
        widget->setEnabled(look.heartbeatFieldsEnabled);
    m_edit->setChecked(m_section.editing());
    m_apply->setEnabled(look.applyEnabled);
    m_save->setEnabled(look.saveEnabled);
}

ReportForm ReportSectionView::currentForm() const {
    ReportForm form;
    form.serialPort = m_serialPort->currentText();
    form.baudIndex = m_baud->currentIndex();
    form.parityIndex = m_parity->currentIndex();
    form.dataBitsIndex = m_dataBits->currentIndex();
    form.stopBitsIndex = m_stopBits->currentIndex();
    form.receiver = m_receiver->currentText();
    form.line = m_line->currentText();
    form.host = m_host->text();
    form.stationPort = m_stationPort->text();
    form.ownHeartbeat = m_ownHeartbeat->isChecked();
    form.heartbeatPeriod = m_period->text();
    form.attemptsIndex = m_attempts->currentIndex();
    form.reportHeartbeat = m_reportHeartbeat->isChecked();
    form.transparent = m_transparent->isChecked();
    return form;
}
