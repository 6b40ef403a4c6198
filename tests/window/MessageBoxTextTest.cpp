#include "shell/ui/GuiUserInterface.h"
#include "tests/support/WindowDriver.h"

#include <QLabel>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <functional>

// The receiver's message boxes show a text's line breaks as line breaks, and
// its characters as they are, whatever they look like.

using namespace WindowDriver;

namespace {

struct BoxCase {
    const char* name;
    QString text;
    std::function<void(GuiUserInterface&, const QString&)> show;
};

} // namespace

TEST(MessageBoxTextTest, ShowsEveryLineOfTheTextAsPlainText) {
    const BoxCase cases[] = {
        {"question of two lines", QStringLiteral("Portas não definidas.\nContinuar?"),
         [](GuiUserInterface& ui, const QString& text) { ui.askYesNo(text, UserInterface::Icon::Question, true); }},
        {"message with what looks like markup",
         QStringLiteral("<b>Events.log</b> não pôde ser gravado\n<i>disco cheio?</i>"),
         [](GuiUserInterface& ui, const QString& text) { ui.showMessage(text, UserInterface::Icon::Error); }},
    };
    for (const BoxCase& c : cases) {
        GuiUserInterface ui;
        QString shownText;
        const auto ran = whenShown(QStringLiteral("messageBox"), [&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr);
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << c.name;
            shownText = label->text();
            box->done(QMessageBox::Yes);
        });
        c.show(ui, c.text);
        EXPECT_TRUE(*ran) << c.name;
        EXPECT_EQ(shownText, c.text) << c.name;
    }
}
