#pragma once

#include "reporting/Reporter.h"

#include <QList>

#include <optional>
#include <utility>

// A report sender that keeps every request. With immediateResult set it
// answers at once; otherwise the test answers later, oldest first.
class FakeReporter final : public Reporter {
public:
    void ReportEvent(const ReportRequest& request, Done done) override {
        requests.append(request);
        if (immediateResult)
            done(*immediateResult);
        else
            pending.append(std::move(done));
    }
    // Completes the oldest pending request.
    void complete(ReportResult result) {
        Done done = pending.takeFirst();
        done(result);
    }

    std::optional<ReportResult> immediateResult;
    QList<ReportRequest> requests;
    QList<Done> pending;
};
