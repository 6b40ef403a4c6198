#pragma once

#include "events/EventRaiser.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class ClientRecord;

// Records every event raised through EventRaiser, in order, without listing,
// logging or forwarding anything.
class RecordingEventRaiser : public EventRaiser {
public:
    struct ClientEvent {
        ClientRecord* client;
        quint16 code;
        quint8 partition;
        quint16 zone;
        int protocol;
    };
    struct InternalCall {
        ReportResult result;
        quint16 internalCode;
        quint16 account; // the client's; 0 for RaiseInternalEvent
        QString name;    // the client's, or the operator's
    };
    struct EventLine {
        ReportResult result;
        QString name;
        quint16 account;
        quint16 code;
        quint8 partition;
        quint16 zone;
        int protocol;
        std::optional<QString> panel;
    };

    void RaiseClientEvent(ClientRecord* client, quint16 code, quint8 partition, quint16 zone, int protocol) override;
    void RaiseClientInternalEvent(ReportResult result, quint16 internalCode,
                                  const ClientEventSubject& subject) override;
    void RaiseInternalEvent(ReportResult result, quint16 internalCode, const QString& name) override;
    void AddEventLine(ReportResult result, const QString& name, quint16 account, quint16 code, quint8 partition,
                      quint16 zone, int protocol, const std::optional<QString>& panel) override;

    void clear();

    // Called as a client event is raised, before it is recorded: a test looks
    // at the world at that moment.
    std::function<void()> onRaise;

    QList<ClientEvent> clientEvents;
    QList<InternalCall> internalEvents;
    QList<EventLine> lines;
};
