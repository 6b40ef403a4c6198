#include "tests/support/RecordingEventRaiser.h"

void RecordingEventRaiser::RaiseClientEvent(ClientRecord* client, quint16 code, quint8 partition, quint16 zone,
                                            int protocol) {
    if (onRaise)
        onRaise();
    clientEvents.append({client, code, partition, zone, protocol});
}

void RecordingEventRaiser::RaiseClientInternalEvent(ReportResult result, quint16 internalCode,
                                                    const ClientEventSubject& subject) {
    internalEvents.append({result, internalCode, subject.account, subject.name});
}

void RecordingEventRaiser::RaiseInternalEvent(ReportResult result, quint16 internalCode, const QString& name) {
    internalEvents.append({result, internalCode, 0, name});
}

void RecordingEventRaiser::AddEventLine(ReportResult result, const QString& name, quint16 account, quint16 code,
                                        quint8 partition, quint16 zone, int protocol,
                                        const std::optional<QString>& panel) {
    lines.append({result, name, account, code, partition, zone, protocol, panel});
}

void RecordingEventRaiser::clear() {
    clientEvents.clear();
    internalEvents.clear();
    lines.clear();
}
