#include "tests/support/RecordingUserInterface.h"

void RecordingUserInterface::showMessage(const QString& text, Icon icon) {
    messages.append({text, icon});
}

bool RecordingUserInterface::askYesNo(const QString& text, Icon, bool) {
    questions.append(text);
    return m_answers.isEmpty() ? true : m_answers.takeFirst();
}

void RecordingUserInterface::setStatusField(int field, const QString& text) {
    statusFields[field] = text;
    statusHistory.append({field, text});
}

void RecordingUserInterface::playSound(const QString& path) {
    sounds.append(path);
}
