#pragma once

#include "clients/ClientRecord.h"
#include "device/CallbackStarter.h"
#include "events/EventRequest.h"
#include "reporting/Reporter.h"
#include "tests/support/RecordingEventRaiser.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <optional>

// Records raised events and lets a test look at the world at the moment of raising.
class HookedEventRaiser : public RecordingEventRaiser {
public:
    void RaiseClientEvent(ClientRecord* client, quint16 code, quint8 partition, quint16 zone, int protocol) override {
        if (onRaise)
            onRaise();
        RecordingEventRaiser::RaiseClientEvent(client, code, partition, zone, protocol);
    }
    std::function<void()> onRaise;
};

// Keeps every forwarding request with its completion, which a test gives
// later (or at once, with the result set in immediateResult).
class RecordingReporter : public Reporter {
public:
    void ReportEvent(const ReportRequest& request, Done done) override {
        requests.append(request);
        if (immediateResult)
            done(*immediateResult);
        else
            pending.append(std::move(done));
    }

    std::optional<ReportResult> immediateResult;
    QList<ReportRequest> requests;
    QList<Done> pending;
};

class RecordingEventRequestSink : public EventRequestSink {
public:
    void postEventRequest(quint64 clientSerial, quint32 value) override { posted.append({clientSerial, value}); }
    QList<QPair<quint64, quint32>> posted;
};

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
