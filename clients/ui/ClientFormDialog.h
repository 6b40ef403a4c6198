#pragma once

#include <QDialog>
#include <QHash>

#include <functional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
struct FormOutcome;

// What the client dialogs (ClientData, ClientSetup, SetupDependent) share: a
// column of labelled fields named by control number, a row of buttons, and
// the way they close. "Salvar" hands the fields to the dialog's form, whose
// outcome either closes the dialog with its result or keeps it open with the
// focus on a field; "Cancela", Esc and the close box end it as cancelled.
class ClientFormDialog : public QDialog {
    Q_OBJECT
public:
    // Buttons by control number: "Salvar" and "Cancela" in every dialog.
    static constexpr int kSaveButton = 1;
    static constexpr int kCancelButton = 2;

    void reject() override;

protected:
    ClientFormDialog(int titleString, QWidget* parent);

    // A field row: the label with the text of labelString and a line edit of at most maxLength characters.
    QLineEdit* addEdit(int control, int labelString, int maxLength = 0);
    // The panel field 1030 ("Painel"): the panel models to choose from, or any text.
    QComboBox* addPanelBox(const QString& panel);
    // A check box on a row of its own.
    QCheckBox* addCheck(int control, int textString);
    // A row of any widget under a label; the widget's fields are named with addField.
    void addRow(int labelString, QWidget* widget);
    // Makes a field known by its control number (for the focus after a refused "Salvar").
    void addField(int control, QWidget* field);
    void setRowVisible(QWidget* field, bool visible);
    // A button at the end of the button row.
    QPushButton* addButton(int control, int textString);
    // "Salvar": hands the fields to the form (save) and concludes with its outcome.
    QPushButton* addSaveButton(std::function<FormOutcome()> save);
    // "Cancela".
    QPushButton* addCancelButton();

    // Ends the dialog with the outcome's result, or keeps it open on its field.
    void conclude(const FormOutcome& outcome);

    static QLabel* label(int textString, QWidget* parent);
    // The width of a field of a few characters (an account, a MAC).
    static int shortFieldWidth(const QWidget* field, int characters);

private:
    QFormLayout* m_fields;
    QHBoxLayout* m_buttons;
    QHash<int, QWidget*> m_byControl;
};
