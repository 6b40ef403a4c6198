#pragma once

#include "common/UserInterface.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// Records what the logic shows to the operator and answers its questions from
// a queue of prepared answers (Yes when the queue is empty).
class RecordingUserInterface : public UserInterface {
public:
    struct Message {
        QString text;
        Icon icon;
    };

    void showMessage(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon, bool defaultYes) override;
    void setStatusField(int field, const QString& text) override;
    void playSound(const QString& path) override;

    void queueAnswer(bool yes) { m_answers.append(yes); }

    QList<Message> messages;
    QStringList questions;
    QStringList sounds;
    QMap<int, QString> statusFields;
    QList<QPair<int, QString>> statusHistory;

private:
    QList<bool> m_answers;
};
