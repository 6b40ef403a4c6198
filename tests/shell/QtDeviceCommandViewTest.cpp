#include "device/ui/QtDeviceCommandView.h"
#include "clients/ClientRecord.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

TEST(QtDeviceCommandViewTest, PageComesBackWhenItsLastRequestEndsAndEveryWaitCursorIsRestored) {
    QWidget online;
    QWidget offline;
    QtDeviceCommandView view(nullptr, [&](int kind) -> QWidget* {
        return kind == ClientStatus::Online ? &online : kind == ClientStatus::Offline ? &offline : nullptr;
    });

    // An operator's query and a device's own callback request overlap on the Online page.
    view.setPageBusy(ClientStatus::Online, true);
    view.setPageBusy(ClientStatus::Online, true);
    EXPECT_FALSE(online.isEnabled());
    EXPECT_TRUE(offline.isEnabled());
    view.setPageBusy(ClientStatus::Online, false);
    EXPECT_FALSE(online.isEnabled()) << "one request still runs";
    view.setPageBusy(ClientStatus::Online, false);
    EXPECT_TRUE(online.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // An end without a start takes no cursor of anyone else's.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    view.setPageBusy(ClientStatus::New, false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    QApplication::restoreOverrideCursor();

    // A view that goes while requests run leaves no wait cursor behind.
    {
        QtDeviceCommandView leaving(nullptr, [&](int) { return &offline; });
        leaving.setPageBusy(ClientStatus::Offline, true);
        leaving.setPageBusy(ClientStatus::Blocked, true);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
