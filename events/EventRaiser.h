#pragma once

#include "reporting/ReportTypes.h"

#include <QString>

#include <optional>

class ClientRecord;

// What an internal event shows of the client it concerns, copied when the
// event is raised: a client removed before the event is listed still shows.
struct ClientEventSubject {
    quint16 account = 0;
    QString name;
    QString panel;

    static ClientEventSubject of(const ClientRecord& client);
};

// Protocol values of an event: how it arrived.
namespace EventProtocol {
constexpr int Internal = 0;
constexpr int TaviCom = 1;
constexpr int Dc09 = 2;
constexpr int Multicom = 3;
} // namespace EventProtocol

// The operations through which the rest of the system raises events. Raising
// forwards the event first, then shows it as the top row of the events list,
// logs it and plays its sound.
class EventRaiser {
public:
    virtual ~EventRaiser() = default;

    // An event that a client's device sent. Nothing happens for none or for a
    // blocked or new client.
    virtual void RaiseClientEvent(ClientRecord* client, quint16 code, quint8 partition, quint16 zone, int protocol) = 0;
    // An internal event about a client, already forwarded by the caller.
    virtual void RaiseClientInternalEvent(ReportResult result, quint16 internalCode,
                                          const ClientEventSubject& subject) = 0;
    // An internal event about the operator or the system, already forwarded by the caller.
    virtual void RaiseInternalEvent(ReportResult result, quint16 internalCode, const QString& name) = 0;
    // Shows one event as the new top row and appends its log line.
    virtual void AddEventLine(ReportResult result, const QString& name, quint16 account, quint16 code, quint8 partition,
                              quint16 zone, int protocol, const std::optional<QString>& panel) = 0;
};
