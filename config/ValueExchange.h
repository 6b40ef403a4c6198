#pragma once

#include <QString>
#include <QtGlobal>

class UserInterface;

// One exchange of values from the configuration page's controls into the
// program's data. Fields are taken in a fixed order; the first field that is
// refused shows its message and stops the exchange, so every field after it
// keeps its previous value. The control that failed is remembered so that the
// page can move the focus to it.
class ValueExchange {
public:
    explicit ValueExchange(UserInterface& ui) : m_ui(ui) {}

    bool failed() const { return m_failedControl != 0; }
    // Number of the control that was refused, 0 while none was.
    int failedControl() const { return m_failedControl; }

    // An unsigned number with no bounds ("Enter a positive integer.").
    void takeUnsigned(int control, const QString& text, quint32& field);
    // An unsigned number from low to high ("Enter an integer between %1 and %2.").
    void takeUnsigned(int control, const QString& text, quint32 low, quint32 high, quint32& field);
    void takeText(const QString& text, QString& field);
    void takeFlag(bool checked, bool& field);
    // A check box over an integer flag: unticked gives 0, ticked keeps a stored
    // non-zero value (a sound flag of 7 stays 7) and otherwise gives 1.
    void takeCheck(bool checked, int& field);

    // Reads an unsigned decimal number: optional blanks around digits only.
    // False for an empty text, a sign, any other character or more than 32 bits.
    static bool parseUnsigned(const QString& text, quint32& value);
    // A section that takes its own fields reports its first refused control
    // (it has shown the message itself): the fields after it keep their values.
    void markFailed(int control) {
        if (!failed())
            m_failedControl = control;
    }

private:
    void fail(int control, const QString& message);

    UserInterface& m_ui;
    int m_failedControl = 0;
};
