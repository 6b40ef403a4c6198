#include "config/ui/ConfigPage.h"

#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/GeneralOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kFirstTextControl = 700;
constexpr int kLastTextControl = 770;
constexpr int kScrollStep = 4; // pixels per line step; a wheel notch is three steps
constexpr int kMsgAccessDenied = 141;

QString controlName(const char* kind, int control) {
    return QLatin1String(kind) + QString::number(control);
}

// The control number at the end of an object name, 0 when there is none.
int controlNumber(const QString& objectName) {
    static const QRegularExpression kTrailingDigits(QStringLiteral("(\\d+)$"));
    const QRegularExpressionMatch match = kTrailingDigits.match(objectName);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QLabel* makeLabel(int control, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(controlName("label", control));
    return label;
}

QLineEdit* makeEdit(int control, bool digitsOnly, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(controlName("edit", control));
    if (digitsOnly)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

QCheckBox* makeCheck(int control, QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(controlName("check", control));
    return box;
}

QGroupBox* makeGroup(int control, QWidget* parent) {
    auto* group = new QGroupBox(parent);
    group->setObjectName(controlName("group", control));
    return group;
}

} // namespace

ConfigPage::ConfigPage(GeneralOptions& options, UserInterface& ui, QWidget* parent)
    : QScrollArea(parent), m_options(options), m_ui(ui) {
    // Scrolling: vertical only, in steps of 4 pixels.
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(kScrollStep);
    // Paging jumps to the top or the bottom end of the page.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        QScrollBar* bar = verticalScrollBar();
        if (action == QAbstractSlider::SliderPageStepAdd)
            bar->setSliderPosition(bar->maximum());
        else if (action == QAbstractSlider::SliderPageStepSub)
            bar->setSliderPosition(bar->minimum());
    });

    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("configPageContent"));
    m_content->setFocusPolicy(Qt::ClickFocus); // a click on the background gives the page the focus
    auto* layout = new QVBoxLayout(m_content);
    layout->addWidget(buildGeneralSection());
    m_reportSection = makeGroup(720, m_content);
    // DC-09 reception has no text in the string table: its title is its name.
    m_dc09Section = new QGroupBox(QStringLiteral("DC-09"), m_content);
    m_dc09Section->setObjectName(QStringLiteral("groupDc09"));
    m_operatorsSection = makeGroup(741, m_content);
    m_internalEventsSection = makeGroup(751, m_content);
    for (QGroupBox* section : {m_reportSection, m_dc09Section, m_operatorsSection, m_internalEventsSection}) {
        new QVBoxLayout(section); // the section's own controls go here
        layout->addWidget(section);
    }
    layout->addStretch();
    setWidget(m_content);

    loadControlTexts(m_content);
    m_tcpLabel->hide();
    m_tcp->hide();
    m_multicom->hide();

    showGeneralForm(m_options.form());
    for (QLineEdit* edit : {m_tavi, m_yellow, m_udp, m_port, m_tcp, m_mc})
        connect(edit, &QLineEdit::textChanged, this, [this] { m_save->setEnabled(true); });
    for (QCheckBox* box : {m_sounds[0], m_sounds[1], m_sounds[2], m_sounds[3], m_sounds[4], m_anonym, m_logAll}) {
        const int control = controlNumber(box->objectName());
        connect(box, &QCheckBox::clicked, this, [this, control](bool checked) {
            m_options.checkBoxClicked(control, checked);
            m_save->setEnabled(true);
        });
    }
    connect(m_multicom, &QCheckBox::clicked, this, &ConfigPage::applyMulticomSwitch);
    connect(m_save, &QPushButton::clicked, this, &ConfigPage::saveGeneral);

    // The listener itself is the receiver's to open at start, window or not: the page only shows the switch.
    showMulticomPort(m_multicom->isChecked());
}

QGroupBox* ConfigPage::buildGeneralSection() {
    QGroupBox* general = makeGroup(700, m_content);
    auto* grid = new QGridLayout(general);

    QGroupBox* callback = makeGroup(701, general);
    auto* callbackGrid = new QGridLayout(callback);
    m_tavi = makeEdit(GeneralControl::Tavi, false, callback);
    m_port = makeEdit(GeneralControl::Port, true, callback);
    callbackGrid->addWidget(new QLabel(QStringLiteral("IP:"), callback), 0, 0);
    callbackGrid->addWidget(m_tavi, 0, 1);
    callbackGrid->addWidget(makeLabel(702, callback), 1, 0);
    callbackGrid->addWidget(m_port, 1, 1);

    QGroupBox* keepAlive = makeGroup(703, general);
    auto* keepAliveRow = new QHBoxLayout(keepAlive);
    m_yellow = makeEdit(GeneralControl::Yellow, false, keepAlive);
    keepAliveRow->addWidget(makeLabel(704, keepAlive));
    keepAliveRow->addWidget(m_yellow);
    keepAliveRow->addWidget(makeLabel(705, keepAlive));

    QGroupBox* sounds = makeGroup(706, general);
    auto* soundColumn = new QVBoxLayout(sounds);
    const int soundControls[] = {GeneralControl::SoundNewEvent, GeneralControl::SoundNewRegister,
                                 GeneralControl::SoundOffline, GeneralControl::SoundAckFail,
                                 GeneralControl::UseSpeaker};
    for (int i = 0; i < 5; ++i) {
        m_sounds[i] = makeCheck(soundControls[i], sounds);
        soundColumn->addWidget(m_sounds[i]);
    }
    m_sounds[4]->hide();
    m_sounds[4]->setEnabled(false);

    QGroupBox* ports = makeGroup(712, general);
    auto* portGrid = new QGridLayout(ports);
    m_udp = makeEdit(GeneralControl::Udp, true, ports);
    m_tcp = makeEdit(GeneralControl::Tcp, true, ports);
    m_mc = makeEdit(GeneralControl::Mc, true, ports);
    m_tcpLabel = makeLabel(714, ports);
    m_mcLabel = makeLabel(715, ports);
    portGrid->addWidget(makeLabel(713, ports), 0, 0);
    portGrid->addWidget(m_udp, 0, 1);
    portGrid->addWidget(m_tcpLabel, 1, 0);
    portGrid->addWidget(m_tcp, 1, 1);
    portGrid->addWidget(m_mcLabel, 2, 0);
    portGrid->addWidget(m_mc, 2, 1);

    m_anonym = makeCheck(GeneralControl::AnonymEntry, general);
    m_multicom = makeCheck(GeneralControl::EnableMulticom, general);
    m_logAll = makeCheck(GeneralControl::LogAll, general);
    m_save = new QPushButton(general);
    m_save->setObjectName(controlName("button", GeneralControl::Save));
    m_save->setEnabled(false);

    auto* switches = new QVBoxLayout;
    switches->addWidget(m_anonym);
    switches->addWidget(m_multicom);
    switches->addWidget(m_logAll);
    switches->addStretch();
    switches->addWidget(m_save);

    grid->addWidget(callback, 0, 0);
    grid->addWidget(keepAlive, 1, 0);
    grid->addWidget(sounds, 0, 1, 2, 1);
    grid->addWidget(ports, 0, 2, 2, 1);
    grid->addLayout(switches, 0, 3, 2, 1);
    return general;
}

void ConfigPage::loadControlTexts(QWidget* root) {
    const QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const int control = controlNumber(widget->objectName());
        if (control < kFirstTextControl || control > kLastTextControl || !StringTable::contains(control))
            continue;
        const QString text = StringTable::text(control);
        if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
    }
}

GeneralOptionsForm ConfigPage::generalForm() const {
    GeneralOptionsForm f;
    f.tavi = m_tavi->text();
    f.yellow = m_yellow->text();
    f.udp = m_udp->text();
    f.port = m_port->text();
    f.tcp = m_tcp->text();
    f.mc = m_mc->text();
    f.soundNewEvent = m_sounds[0]->isChecked();
    f.soundNewRegister = m_sounds[1]->isChecked();
    f.soundOffline = m_sounds[2]->isChecked();
    f.soundAckFail = m_sounds[3]->isChecked();
    f.useSpeaker = m_sounds[4]->isChecked();
    f.anonymEntry = m_anonym->isChecked();
    f.enableMulticom = m_multicom->isChecked();
    f.logAll = m_logAll->isChecked();
    return f;
}

void ConfigPage::showGeneralForm(const GeneralOptionsForm& f) {
    m_tavi->setText(f.tavi);
    m_yellow->setText(f.yellow);
    m_udp->setText(f.udp);
    m_port->setText(f.port);
    m_tcp->setText(f.tcp);
    m_mc->setText(f.mc);
    m_sounds[0]->setChecked(f.soundNewEvent);
    m_sounds[1]->setChecked(f.soundNewRegister);
    m_sounds[2]->setChecked(f.soundOffline);
    m_sounds[3]->setChecked(f.soundAckFail);
    m_sounds[4]->setChecked(f.useSpeaker);
    m_anonym->setChecked(f.anonymEntry);
    m_multicom->setChecked(f.enableMulticom);
    m_logAll->setChecked(f.logAll);
}

void ConfigPage::applyMulticomSwitch(bool checked) {
    showMulticomPort(checked);
    const auto result = m_options.multicomClicked(checked, m_mc->text());
    if (result == GeneralOptions::MulticomSwitch::Switched)
        m_save->setEnabled(true);
}

void ConfigPage::showMulticomPort(bool shown) {
    m_mc->setVisible(shown);
    m_mcLabel->setVisible(shown);
}

int ConfigPage::exchangeValues() {
    const int refused = m_options.exchangeValues(generalForm());
    focusControl(refused);
    return refused;
}

void ConfigPage::saveGeneral() {
    const GeneralOptions::SaveOutcome outcome = m_options.SaveServerConfig(generalForm());
    focusControl(outcome.refusedControl);
    if (!outcome.written) {
        m_yellow->setText(QString::number(outcome.correctedYellow));
        return; // Save stays enabled
    }
    // A field that was refused is not saved yet: Save stays enabled for it.
    m_save->setEnabled(outcome.refusedControl != 0);
}

void ConfigPage::focusControl(int control) {
    if (control == 0)
        return;
    if (auto* edit = m_content->findChild<QWidget*>(controlName("edit", control)))
        edit->setFocus();
}

void ConfigPage::disableGeneralSave() {
    m_save->setEnabled(false);
}

void ConfigPage::activate() {
    if (m_mayShow && !m_mayShow()) {
        m_ui.showMessage(StringTable::text(kMsgAccessDenied), UserInterface::Icon::Exclamation);
        m_content->hide();
        return;
    }
    m_content->show();
    if (m_onActivated)
        m_onActivated();
    m_content->setFocus();
}

void ConfigPage::resizeEvent(QResizeEvent* event) {
    verticalScrollBar()->setValue(0); // a resized page starts again at its top
    QScrollArea::resizeEvent(event);
}
