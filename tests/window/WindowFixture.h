#pragma once

#include "clients/ClientRecord.h"
#include "config/Operators.h"
#include "config/UsersFile.h"
#include "events/EventList.h"
#include "events/EventListModel.h"
#include "shell/ui/MainFrame.h"
#include "tests/shell/ReceiverFixture.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/WindowDriver.h"
#include "tools/tavi-sim/CommandDevice.h"

#include <QAbstractItemView>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <optional>

// The real main window over a real receiver (offscreen), on the shell's data
// files, with an operator who holds every right and the client 1001
// "Padaria Central", whose device answers commands on loopback.
struct WindowFixture : ::testing::Test {
    static constexpr quint32 kDeviceId = 0x00001001;
    static constexpr int kWaitMs = 5000;

    WindowFixture() {
        ReceiverFixture::writeDataFiles(dir, true);
        dir.write("Users.lst", QByteArray::number(UsersFile::passwordCode(QStringLiteral("8264"))) + " " +
                                   QByteArray::number(OperatorRight::All) + "\r\n");
        CommandDeviceOptions options;
        options.deviceId = kDeviceId;
        device.emplace(options);
    }
    ~WindowFixture() override {
        if (receiver)
            receiver->window.mainFrame()->hide();
    }

    void start() {
        receiver.emplace(dir.path(), ui);
        ASSERT_TRUE(receiver->start());
        frame()->show();
    }
    // The device reports once, so its client is online at the device's address and port.
    void bringDeviceOnline() {
        ASSERT_TRUE(device->bind());
        device->announce(QHostAddress::LocalHost, receiver->core.datagramServer().boundPort());
        PrimaryClient* client = receiver->core.registry().FindPrimary(kDeviceId & 0xFFFF);
        ASSERT_NE(client, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return client->port == device->port(); }, kWaitMs));
        ASSERT_EQ(list(ClientStatus::Online)->model()->rowCount(), 1);
    }

    CMainFrame* frame() const { return receiver->window.mainFrame(); }
    // Shows a tab as the operator's click would, and returns its page.
    QWidget* page(int tab) const {
        frame()->tabs()->setCurrentIndex(tab);
        return frame()->tabs()->widget(tab);
    }
    QAbstractItemView* list(int tab) const { return frame()->tabs()->widget(tab)->findChild<QAbstractItemView*>(); }
    template <typename T> T* in(int tab, const QString& name) const {
        return WindowDriver::find<T>(frame()->tabs()->widget(tab), name);
    }
    void press(int tab, const QString& buttonName) const {
        QAbstractButton* button = in<QAbstractButton>(tab, buttonName);
        ASSERT_NE(button, nullptr) << qPrintable(buttonName);
        page(tab);
        WindowDriver::click(button);
    }
    // The rows of a tab's list; the events list first shows the rows waiting for their batch.
    QStringList rowTexts(int tab, int column) {
        if (tab == CMainFrame::kEventsTab)
            receiver->core.eventList().model().showWaitingRows();
        QStringList texts;
        const QAbstractItemModel* model = list(tab)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, column).data().toString();
        return texts;
    }
    QStringList messageTexts() const {
        QStringList texts;
        for (const RecordingUserInterface::Message& message : ui.messages)
            texts << message.text;
        return texts;
    }
    QStringList eventTexts() { return rowTexts(CMainFrame::kEventsTab, EventListModel::TextColumn); }
    qsizetype eventRows() { return eventTexts().size(); }
    QList<quint8> requestCodes() const {
        QList<quint8> codes;
        for (const CommandDevice::Request& request : device->requests())
            codes << request.code;
        return codes;
    }

    TempDataDir dir;
    RecordingUserInterface ui;
    std::optional<CommandDevice> device;
    std::optional<ReceiverFixture::Receiver> receiver;
};
