#pragma once

#include "tests/support/FakeReporter.h"

#include "clients/ClientRecord.h"
#include "events/EventRaiser.h"
#include "reporting/Reporter.h"

#include <QList>
#include <QString>

namespace internal_event_test {

// An events list that copies what would be shown (the client may be gone afterwards).
class CopyingEventRaiser final : public EventRaiser {
public:
    struct Line {
        ReportResult result;
        quint16 code;
        QString name;
        quint16 account = 0;
        QString panel;
        bool aboutClient = false;
    };

    void RaiseClientEvent(ClientRecord* client, quint16 code, quint8, quint16, int) override {
        clientEvents.append(Line{ReportResult::NotSent,
                                 code,
                                 client ? client->name : QString(),
                                 client ? client->account : quint16(0),
                                 {},
                                 true});
    }
    void RaiseClientInternalEvent(ReportResult result, quint16 code, const ClientEventSubject& subject) override {
        lines.append(Line{result, code, subject.name, subject.account, subject.panel, true});
    }
    void RaiseInternalEvent(ReportResult result, quint16 code, const QString& name) override {
        lines.append(Line{result, code, name, 0, {}, false});
    }
    void AddEventLine(ReportResult, const QString&, quint16, quint16, quint8, quint16, int,
                      const std::optional<QString>&) override {}

    QList<Line> lines;
    QList<Line> clientEvents;
};

} // namespace internal_event_test
