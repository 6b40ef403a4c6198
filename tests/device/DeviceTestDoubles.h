#pragma once

#include "clients/ClientRecord.h"
#include "device/CallbackStarter.h"
#include "tests/support/FakeReporter.h"
#include "tests/support/RecordingEventRaiser.h"
#include "tests/support/RecordingEventRequests.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <optional>

class RecordingCallbackStarter : public CallbackStarter {
public:
    struct Call {
        PrimaryClient* client;
        QString address;
        quint16 port;
        bool remoteCallback;
    };
    void StartCallback(PrimaryClient* client, const QString& address, quint16 port) override {
        if (onStart)
            onStart();
        calls.append({client, address, port, client && client->remoteCallback});
    }
    QList<Call> calls;
    std::function<void()> onStart;
};
