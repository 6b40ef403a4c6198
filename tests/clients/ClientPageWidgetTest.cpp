#include "clients/ui/ClientPageWidget.h"
#include "clients/ClientForms.h"
#include "clients/ClientPagePanel.h"
#include "clients/ui/ClientData.h"
#include "clients/ui/ClientPageView.h"
#include "common/ui/RowIcons.h"
#include "config/Operators.h"
#include "tests/support/ClientWorld.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

// The client page widgets and dialogs only show the logic's state and forward
// the operator's actions: these tests check the wiring, the rules are the
// logic's own tests'.

namespace {

struct PageWidgetFixture : ::testing::Test {
    PageWidgetFixture() { op.rights = OperatorRight::All; }

    ClientPagePanel::Services services() {
        return {world.registry, world.pages, world.transitions, op, world.settings, world.ui};
    }
    template <typename T> static T* find(const QWidget& parent, const QString& name) {
        return parent.findChild<T*>(name);
    }
    QStringList messageTexts() const {
        QStringList texts;
        for (const RecordingUserInterface::Message& message : world.ui.messages)
            texts << message.text;
        return texts;
    }

    ClientWorld world;
    ClientBuilder make{world};
    CurrentOperator op;
    RowIcons icons;
};

} // namespace

TEST_F(PageWidgetFixture, ClickOnARowShowsItsNameAndItsDependents) {
    make.primary(0x1001, ClientStatus::Online);
    PrimaryClient* primary = make.primary(0x2001, ClientStatus::Online);
    make.dependent(primary, 0x2002, ClientStatus::Online);
    make.dependent(primary, 0x2003, ClientStatus::Online);
    ClientPagePanel panel(ClientStatus::Online, services());
    ClientPageWidget page(panel, icons);
    page.resize(800, 400);
    page.show();
    QApplication::processEvents();
    auto* dependents = find<QComboBox>(page, QStringLiteral("combo1211"));
    EXPECT_FALSE(dependents->isVisible());

    ClientPageView* list = page.list();
    const int row = panel.model().FindRow(primary);
    const QRect cell = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());

    EXPECT_EQ(find<QLineEdit>(page, QStringLiteral("edit1010"))->text(), primary->name);
    EXPECT_TRUE(dependents->isVisible());
    ASSERT_EQ(dependents->count(), 2);
    EXPECT_EQ(dependents->itemText(0), QStringLiteral("2002"));
    EXPECT_EQ(dependents->itemText(1), QStringLiteral("2003"));
    EXPECT_TRUE(find<QPushButton>(page, QStringLiteral("button1202"))->isVisible());
}

TEST_F(PageWidgetFixture, ClientDataSwitchesToDependentAndStaysOpenOnAnEmptyName) {
    PrimaryClient* client = make.primary(0x1001, ClientStatus::Online);
    ClientDataForm form(*client, ClientStatus::Online, true, world.registry, world.transitions, world.ui);
    ClientData dialog(form);
    dialog.show();
    auto* panelBox = find<QComboBox>(dialog, QStringLiteral("combo1030"));
    auto* primaryAccount = find<QLineEdit>(dialog, QStringLiteral("edit1237"));
    EXPECT_TRUE(panelBox->isVisible());
    EXPECT_FALSE(primaryAccount->isVisible());

    auto* dependent = find<QCheckBox>(dialog, QStringLiteral("check1236"));
    QTest::keyClick(dependent, Qt::Key_Space);
    EXPECT_TRUE(primaryAccount->isVisible());
    EXPECT_FALSE(panelBox->isVisible());

    auto* name = find<QLineEdit>(dialog, QStringLiteral("edit1192"));
    name->clear();
    QTest::mouseClick(find<QPushButton>(dialog, QStringLiteral("button1")), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Digite o nome...")});
    EXPECT_EQ(dialog.focusWidget(), name);
    EXPECT_TRUE(client->isPrimary());
    EXPECT_EQ(client->name, QStringLiteral("Cliente 1001"));
}

TEST_F(PageWidgetFixture, RemoveOnTheNewPageWithoutRightCIsRefused) {
    PrimaryClient* client = make.primary(0x3001, ClientStatus::New);
    op.rights = OperatorRight::All & ~OperatorRight::Edit;
    ClientPagePanel panel(ClientStatus::New, services());
    ClientPageWidget page(panel, icons);
    page.show();
    panel.pickRow(0);

    QTest::mouseClick(find<QPushButton>(page, QStringLiteral("button125")), Qt::LeftButton);

    EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Acesso não permitido!")});
    EXPECT_EQ(panel.model().FindRow(client), 0);
}
