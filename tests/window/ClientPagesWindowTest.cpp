#include "clients/ClientForms.h"
#include "clients/ui/ClientFormDialog.h"
#include "clients/ui/ClientPageWidget.h"
#include "clients/ui/SetupDependent.h"
#include "common/StringTable.h"
#include "device/DeviceCommandCodec.h"
#include "device/DeviceCommands.h"
#include "device/DeviceDetailsForm.h"
#include "tests/window/WindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

// Every command of the client pages and their dialogs, pressed in the real
// window: each is checked by what it does outside the window (a request at the
// device, "Clients.lst", a row on another page), since a button that is shown
// but reaches nothing looks the same as a working one on screen.

using namespace WindowDriver;
namespace Control = ClientPageControl;

namespace {

QString name(const char* kind, int control) {
    return QLatin1String(kind) + QString::number(control);
}

void type(QWidget* dialog, int field, const QString& text) {
    auto* edit = find<QLineEdit>(dialog, name("edit", field));
    ASSERT_NE(edit, nullptr) << field;
    edit->clear();
    QTest::keyClicks(edit, text);
}

void pressIn(QWidget* dialog, int button) {
    auto* push = find<QAbstractButton>(dialog, name("button", button));
    ASSERT_NE(push, nullptr) << button;
    click(push);
}

} // namespace

TEST_F(WindowFixture, DetailsPgmLineSwitchAndCallbackReachTheDevice) {
    start();
    bringDeviceOnline();
    page(ClientStatus::Online);
    clickRow(list(ClientStatus::Online), 0);
    EXPECT_EQ(in<QLineEdit>(ClientStatus::Online, name("edit", Control::NameBox))->text(),
              QStringLiteral("Padaria Central"));

    QString model;
    const auto shown = whenShown(QStringLiteral("dialogDetails"), [&](QWidget* dialog) {
        model = find<QLineEdit>(dialog, name("edit", DetailsControl::Model))->text();
        pressIn(dialog, DetailsControl::FirstPgmButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return device->pgm(0); }, kWaitMs)) << "the PGM toggle reached the device";
        auto* firstPgm = find<QCheckBox>(dialog, name("check", DetailsControl::FirstPgmState));
        EXPECT_TRUE(QTest::qWaitFor([&] { return firstPgm->isChecked(); }, kWaitMs))
            << "the dialog shows the new state";
        pressIn(dialog, DetailsControl::LineSwitch);
        EXPECT_TRUE(QTest::qWaitFor([&] { return requestCodes().contains(DeviceCommand::kCodeLineSwitch); }, kWaitMs));
        QTest::qWait(50);
        pressIn(dialog, 1); // OK
    });
    press(ClientStatus::Online, name("button", Control::Details));
    ASSERT_TRUE(QTest::qWaitFor([&] { return *shown && !shownWindow(QStringLiteral("dialogDetails")); }, kWaitMs))
        << *shown << " " << requestCodes().size() << " " << messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(model, QStringLiteral("Tavi-UG Rev. 1.2")) << "filled from the device's answer";
    EXPECT_EQ(requestCodes().mid(0, 3),
              (QList<quint8>{DeviceCommand::kCodeDetails, DeviceCommand::kCodePgm, DeviceCommand::kCodeLineSwitch}));
    EXPECT_TRUE(messageTexts().contains(QStringLiteral("Executado com sucesso!")))
        << messageTexts().join('|').toStdString();

    // "Enviar": the callback to the typed address, announced as an internal event.
    auto* address = in<QLineEdit>(ClientStatus::Online, name("edit", Control::Address));
    auto* port = in<QLineEdit>(ClientStatus::Online, name("edit", Control::Port));
    address->clear();
    QTest::keyClicks(address, QStringLiteral("10.1.2.3"));
    port->clear();
    QTest::keyClicks(port, QStringLiteral("5050"));
    const int eventsBefore = eventRows();
    press(ClientStatus::Online, name("button", Control::Send));
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestCodes().contains(DeviceCommand::kCodeCallback); }, kWaitMs));
    EXPECT_EQ(device->requests().last().payload.toHex(), QByteArray("0a010203ba13"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return messageTexts().contains(QStringLiteral("Callback enviado")); }, kWaitMs));
    EXPECT_EQ(eventRows(), eventsBefore + 1) << "the internal event";

    // "*" puts the server's own callback address back.
    press(ClientStatus::Online, name("button", Control::Defaults));
    EXPECT_EQ(address->text(), receiver->core.serverSettings().Tavi);
    EXPECT_EQ(port->text(), QString::number(receiver->core.serverSettings().Port));
}

TEST_F(WindowFixture, EditBlockUnblockAndRemoveFollowTheRecord) {
    start();
    bringDeviceOnline();
    page(ClientStatus::Online);
    clickRow(list(ClientStatus::Online), 0);

    // "Salvar": the record, its row, the panel and the file take the new name.
    auto saved = whenShown(QStringLiteral("clientData"), [](QWidget* dialog) {
        type(dialog, ClientField::Name, QStringLiteral("Padaria Nova"));
        pressIn(dialog, ClientFormDialog::kSaveButton);
    });
    press(ClientStatus::Online, name("button", Control::Edit));
    ASSERT_TRUE(*saved);
    EXPECT_EQ(in<QLineEdit>(ClientStatus::Online, name("edit", Control::NameBox))->text(),
              QStringLiteral("Padaria Nova"));
    EXPECT_EQ(rowTexts(ClientStatus::Online, 1), QStringList{QStringLiteral("Padaria Nova")});
    EXPECT_TRUE(dir.read("Clients.lst").contains("\tPadaria Nova\t"));

    // "Editar" again opens the dialog on the same client; "Cancela" changes nothing.
    QString shownName;
    auto cancelled = whenShown(QStringLiteral("clientData"), [&](QWidget* dialog) {
        shownName = find<QLineEdit>(dialog, name("edit", ClientField::Name))->text();
        pressIn(dialog, ClientFormDialog::kCancelButton);
    });
    press(ClientStatus::Online, name("button", Control::Edit));
    ASSERT_TRUE(*cancelled);
    EXPECT_EQ(shownName, QStringLiteral("Padaria Nova"));

    // "Bloquear" moves it to the Blocked page; "Desbloquear" brings it back.
    auto blocked = whenShown(QStringLiteral("clientData"), [](QWidget* dialog) { pressIn(dialog, 3); });
    press(ClientStatus::Online, name("button", Control::Edit));
    ASSERT_TRUE(*blocked);
    EXPECT_EQ(list(ClientStatus::Online)->model()->rowCount(), 0);
    ASSERT_EQ(rowTexts(ClientStatus::Blocked, 1), QStringList{QStringLiteral("Padaria Nova")});
    page(ClientStatus::Blocked);
    clickRow(list(ClientStatus::Blocked), 0);
    press(ClientStatus::Blocked, name("button", Control::Unblock));
    EXPECT_EQ(list(ClientStatus::Blocked)->model()->rowCount(), 0);
    EXPECT_EQ(list(ClientStatus::Online)->model()->rowCount() + list(ClientStatus::Offline)->model()->rowCount(), 1);

    // Blocked again, "Remover" in its dialog takes it out of the register and the file.
    const int back =
        list(ClientStatus::Online)->model()->rowCount() == 1 ? ClientStatus::Online : ClientStatus::Offline;
    page(back);
    clickRow(list(back), 0);
    blocked = whenShown(QStringLiteral("clientData"), [](QWidget* dialog) { pressIn(dialog, 3); });
    press(back, name("button", Control::Edit));
    ASSERT_TRUE(*blocked);
    page(ClientStatus::Blocked);
    clickRow(list(ClientStatus::Blocked), 0);
    auto removed = whenShown(QStringLiteral("clientData"), [](QWidget* dialog) { pressIn(dialog, 3); });
    press(ClientStatus::Blocked, name("button", Control::Edit));
    ASSERT_TRUE(*removed);
    EXPECT_EQ(list(ClientStatus::Blocked)->model()->rowCount(), 0);
    EXPECT_FALSE(dir.read("Clients.lst").contains("Padaria")) << dir.read("Clients.lst").constData();
}

TEST_F(WindowFixture, NewPageCreatesEditsAndRemovesClientsAndDependents) {
    start();
    page(ClientStatus::New);
    auto created = whenShown(QStringLiteral("clientSetup"), [](QWidget* dialog) {
        type(dialog, ClientField::SetupAccount, QStringLiteral("2002"));
        type(dialog, ClientField::Name, QStringLiteral("Loja Nova"));
        pressIn(dialog, ClientFormDialog::kSaveButton);
    });
    press(ClientStatus::New, name("button", Control::NewClient));
    ASSERT_TRUE(*created);
    const int row = rowTexts(ClientStatus::New, 1).indexOf(QStringLiteral("Loja Nova"));
    ASSERT_GE(row, 0) << rowTexts(ClientStatus::New, 1).join('|').toStdString();
    EXPECT_TRUE(dir.read("Clients.lst").contains("2002\tLoja Nova"));
    clickRow(list(ClientStatus::New), row);

    auto dependent = whenShown(QStringLiteral("setupDependent"), [](QWidget* dialog) {
        // The primary is the picked client; confirmed here when the dialog still asks for it.
        auto* confirm = find<QWidget>(dialog, name("button", SetupDependent::kConfirmButton));
        if (confirm && confirm->isVisible())
            pressIn(dialog, SetupDependent::kConfirmButton);
        type(dialog, ClientField::SetupAccount, QStringLiteral("2003"));
        type(dialog, ClientField::Name, QStringLiteral("Loja Nova Fundos"));
        pressIn(dialog, ClientFormDialog::kSaveButton);
    });
    press(ClientStatus::New, name("button", Control::NewDependent));
    ASSERT_TRUE(*dependent);
    auto* dependents = in<QComboBox>(ClientStatus::New, name("combo", Control::DependentsBox));
    ASSERT_EQ(dependents->count(), 1);
    EXPECT_EQ(dependents->itemText(0), QStringLiteral("2003"));
    EXPECT_TRUE(dir.read("Clients.lst").contains("2003\tLoja Nova Fundos"));

    auto renamed = whenShown(QStringLiteral("setupDependent"), [](QWidget* dialog) {
        type(dialog, ClientField::Name, QStringLiteral("Fundos"));
        pressIn(dialog, ClientFormDialog::kSaveButton);
    });
    press(ClientStatus::New, name("button", Control::EditDependent));
    ASSERT_TRUE(*renamed);
    EXPECT_TRUE(dir.read("Clients.lst").contains("2003\tFundos"));

    press(ClientStatus::New, name("button", Control::RemoveDependent));
    EXPECT_FALSE(dir.read("Clients.lst").contains("2003\t"));

    auto edited = whenShown(QStringLiteral("clientSetup"), [](QWidget* dialog) {
        type(dialog, ClientField::Name, QStringLiteral("Loja Centro"));
        pressIn(dialog, ClientFormDialog::kSaveButton);
    });
    press(ClientStatus::New, name("button", Control::Edit));
    ASSERT_TRUE(*edited);
    EXPECT_TRUE(rowTexts(ClientStatus::New, 1).contains(QStringLiteral("Loja Centro")));
    EXPECT_TRUE(dir.read("Clients.lst").contains("2002\tLoja Centro"));

    press(ClientStatus::New, name("button", Control::RemoveClient));
    EXPECT_FALSE(rowTexts(ClientStatus::New, 1).contains(QStringLiteral("Loja Centro")));
    EXPECT_FALSE(dir.read("Clients.lst").contains("2002\t"));
}

TEST_F(WindowFixture, DependentsAndOfflineClientsFromTheirPages) {
    dir.write("Clients.lst", "1001\tPadaria Central\tKorvo 16IP\t\t\t1\t3\t1\t60\t00001001\r\n"
                             "{\r\n1002\tPadaria Central Deposito\t1\r\n}\r\n"
                             "2001\tLoja Fechada\tKorvo 12IP\t\t\t2\t3\t1\t60\t00002001\r\n");
    start();

    // "Editar Dependente" edits the chosen dependent; its primary stays picked.
    page(ClientStatus::Online);
    clickRow(list(ClientStatus::Online), rowTexts(ClientStatus::Online, 1).indexOf(QStringLiteral("Padaria Central")));
    auto* dependents = in<QComboBox>(ClientStatus::Online, name("combo", Control::DependentsBox));
    ASSERT_TRUE(dependents->isVisible());
    ASSERT_EQ(dependents->currentText(), QStringLiteral("1002"));
    QString account;
    auto edited = whenShown(QStringLiteral("clientData"), [&](QWidget* dialog) {
        account = find<QLineEdit>(dialog, name("edit", ClientField::Account))->text();
        type(dialog, ClientField::Name, QStringLiteral("Deposito"));
        pressIn(dialog, ClientFormDialog::kSaveButton);
    });
    press(ClientStatus::Online, name("button", Control::EditDependent));
    ASSERT_TRUE(*edited);
    EXPECT_EQ(account, QStringLiteral("1002"));
    EXPECT_TRUE(dir.read("Clients.lst").contains("1002\tDeposito\t"));
    EXPECT_EQ(in<QLineEdit>(ClientStatus::Online, name("edit", Control::NameBox))->text(),
              QStringLiteral("Padaria Central"));

    // An offline client's details are refused with a message; its data still opens.
    page(ClientStatus::Offline);
    ASSERT_EQ(rowTexts(ClientStatus::Offline, 1), QStringList{QStringLiteral("Loja Fechada")});
    clickRow(list(ClientStatus::Offline), 0);
    press(ClientStatus::Offline, name("button", Control::Details));
    ASSERT_FALSE(ui.messages.isEmpty());
    EXPECT_EQ(ui.messages.last().text, StringTable::text(DeviceCommands::kMsgOffline));
    EXPECT_EQ(ui.messages.last().icon, UserInterface::Icon::Exclamation);
    auto opened = whenShown(QStringLiteral("clientData"),
                            [](QWidget* dialog) { pressIn(dialog, ClientFormDialog::kCancelButton); });
    press(ClientStatus::Offline, name("button", Control::Edit));
    EXPECT_TRUE(*opened);
}
