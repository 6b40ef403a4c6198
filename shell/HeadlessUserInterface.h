#pragma once

#include "common/UserInterface.h"

#include <QHash>

#include <cstdio>
#include <functional>

// The receiver's side of UserInterface when nobody sits at a window (a
// service under systemd): every message goes to standard error with its
// time and string number, where the journal keeps it (the further lines of a
// text of several lines indented); every question takes
// the answer that keeps the receiver running with its files unchanged (the
// question's default) and says so; changes of the status fields are written
// too. Nothing ever waits for a person.
class HeadlessUserInterface : public UserInterface {
public:
    explicit HeadlessUserInterface(std::FILE* out = stderr) : m_out(out) {}

    void showMessage(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon, bool defaultYes) override;
    bool askOkCancel(const QString& text, Icon icon) override;
    void setStatusField(int field, const QString& text) override;
    void playSound(const QString&) override {}

private:
    void write(const char* kind, const QString& text, const QString& suffix = {});

    std::FILE* m_out;
    QHash<int, QString> m_fields;
};
