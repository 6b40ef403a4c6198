#pragma once

#include <QScrollArea>

#include <functional>

class GeneralOptions;
class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class UserInterface;
struct GeneralOptionsForm;

// The configuration page, sixth tab of the main window: a vertically
// scrolling page with five sections, each with its own Save. This widget
// lays the page out and builds the general-options section; the "Reportar",
// "DC-09", "Operadores" and "Eventos Internos" sections put their controls
// into the frames that it exposes. Widgets carry object names made of their kind and
// control number ("edit502", "check717", "button719").
class ConfigPage : public QScrollArea {
    Q_OBJECT
public:
    // Creation applies "Habilitar Multicom" as a click with the stored
    // EnableMulticom, so the Multicom listener opens here when it is set.
    ConfigPage(GeneralOptions& options, UserInterface& ui, QWidget* parent = nullptr);

    QGroupBox* reportSection() const { return m_reportSection; }
    QGroupBox* dc09Section() const { return m_dc09Section; }
    QGroupBox* operatorsSection() const { return m_operatorsSection; }
    QGroupBox* internalEventsSection() const { return m_internalEventsSection; }

    // Gives every label, group title, check box and button below root whose
    // control number (the digits that end its object name) is 700 to 770 the
    // string-table text of that number.
    static void loadControlTexts(QWidget* root);

    // The right check made when the page is activated; without one the page
    // always shows.
    void setAccessCheck(std::function<bool()> mayShow) { m_mayShow = std::move(mayShow); }
    // Refreshes of the other sections made at every activation.
    void setActivationHook(std::function<void()> hook) { m_onActivated = std::move(hook); }
    // The tab was selected, or the operator changed while it is selected.
    void activate();

    // The exchange of values of the whole page (every section's Save starts
    // with it). Moves the focus to the field refused first and returns its
    // control number, 0 when every field was taken.
    int exchangeValues();

    // Called by the main control once the server has started.
    void disableGeneralSave();

    GeneralOptionsForm generalForm() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QGroupBox* buildGeneralSection();
    void showGeneralForm(const GeneralOptionsForm& form);
    void applyMulticomSwitch(bool checked);
    void showMulticomPort(bool shown);
    void saveGeneral();
    void focusControl(int control);

    GeneralOptions& m_options;
    UserInterface& m_ui;
    std::function<bool()> m_mayShow;
    std::function<void()> m_onActivated;

    QWidget* m_content = nullptr;
    QGroupBox* m_reportSection = nullptr;
    QGroupBox* m_dc09Section = nullptr;
    QGroupBox* m_operatorsSection = nullptr;
    QGroupBox* m_internalEventsSection = nullptr;

    QLineEdit* m_tavi = nullptr;
    QLineEdit* m_yellow = nullptr;
    QLineEdit* m_udp = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_tcp = nullptr;
    QLineEdit* m_mc = nullptr;
    QLabel* m_tcpLabel = nullptr;
    QLabel* m_mcLabel = nullptr;
    QCheckBox* m_sounds[5] = {};
    QCheckBox* m_anonym = nullptr;
    QCheckBox* m_multicom = nullptr;
    QCheckBox* m_logAll = nullptr;
    QPushButton* m_save = nullptr;
};
