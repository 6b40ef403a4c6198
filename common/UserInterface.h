#pragma once

#include <QString>

// The one way the receiver's logic talks to the operator: message boxes,
// Yes/No questions, the status bar fields and sounds. The desktop window
// implements it with Qt; tests implement it with a recorder.
class UserInterface {
public:
    enum class Icon { None, Information, Exclamation, Error, Question };

    virtual ~UserInterface() = default;

    virtual void showMessage(const QString& text, Icon icon) = 0;
    // Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text, Icon icon, bool defaultYes) = 0;
    // OK/Cancel question; true for OK. Where no such box exists, a Yes/No one stands for it.
    virtual bool askOkCancel(const QString& text, Icon icon) { return askYesNo(text, icon, true); }
    virtual void setStatusField(int field, const QString& text) = 0;
    // Plays a WAV file asynchronously; a new sound replaces the one playing.
    virtual void playSound(const QString& path) = 0;
};

// Value fields of the status bar.
namespace StatusField {
constexpr int Internet = 1035;
constexpr int ReportMode = 1036;
constexpr int ReportStatus = 1037;
constexpr int Operator = 1039;
// Notices of the receiver about itself (a recovered UDP reception), without a caption.
constexpr int Notice = 1040;
} // namespace StatusField
