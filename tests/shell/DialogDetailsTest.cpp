#include "device/ui/DialogDetails.h"
#include "clients/ClientRecord.h"
#include "device/DeviceDetailsForm.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/RecordingUserInterface.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace ReceiverFixture;

namespace {

template <typename Widget> Widget* child(const QDialog& dialog, const char* name) {
    auto* widget = dialog.findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

} // namespace

TEST(DialogDetailsTest, SectionsFollowTheFormAndAMulticomClientShowsItsKeyAsMac) {
    TempDataDir dir;
    writeDataFiles(dir);
    RecordingUserInterface ui;
    Receiver receiver(dir.path(), ui);
    DeviceCommands& commands = receiver.core.deviceCommands();

    PrimaryClient tavi;
    tavi.account = 0x1001;
    DeviceCommand::Details details;
    details.pgmSection = false;
    details.lineSwitch = true;
    details.cellular = false;
    DeviceDetailsForm taviForm(commands, tavi, QStringLiteral("Padaria Central"), details, 9000, false);
    DialogDetails taviDialog(taviForm);
    auto* pgm1 = child<QPushButton>(taviDialog, "button843");
    auto* minutes = child<QComboBox>(taviDialog, "combo809");
    auto* note = child<QLabel>(taviDialog, "label830");
    auto* model = child<QLineEdit>(taviDialog, "edit804");
    ASSERT_TRUE(pgm1 && minutes && note && model);
    EXPECT_FALSE(pgm1->isVisibleTo(&taviDialog));
    EXPECT_TRUE(minutes->isVisibleTo(&taviDialog));
    EXPECT_EQ(minutes->currentText(), QStringLiteral("2 min"));
    EXPECT_FALSE(note->isVisibleTo(&taviDialog));
    EXPECT_TRUE(model->isVisibleTo(&taviDialog));

    // While a command runs the controls wait under the wait cursor.
    taviForm.setBusy(true);
    EXPECT_FALSE(minutes->isEnabled());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    taviForm.setBusy(false);
    EXPECT_TRUE(minutes->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    MulticomClient multicom;
    for (int i = 0; i < 6; ++i)
        multicom.setMacChar(i, "A1B2C3"[i]);
    DeviceDetailsForm multicomForm(commands, multicom, QStringLiteral("Farmácia"), std::nullopt, 0, false);
    DialogDetails multicomDialog(multicomForm);
    auto* mac = child<QLineEdit>(multicomDialog, "edit806");
    auto* multicomModel = child<QLineEdit>(multicomDialog, "edit804");
    auto* modelLabel = child<QLabel>(multicomDialog, "label804");
    ASSERT_TRUE(mac && multicomModel && modelLabel);
    EXPECT_EQ(mac->text(), QStringLiteral("A1:B2:C3"));
    EXPECT_FALSE(multicomModel->isVisibleTo(&multicomDialog));
    EXPECT_FALSE(modelLabel->isVisibleTo(&multicomDialog));
}
