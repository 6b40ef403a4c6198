#pragma once

#include "reporting/ReportTypes.h"

#include <functional>

// The report sender as its callers see it. Forwarding is asynchronous: done is
// called on the main thread once the result is known, and results are
// delivered in the order the events were raised. Nothing here may wait in a
// nested event loop, and a device's acknowledgement never waits for it.
class Reporter {
public:
    using Done = std::function<void(ReportResult)>;

    virtual ~Reporter() = default;
    virtual void ReportEvent(const ReportRequest& request, Done done) = 0;
};

// Forwarding switched off: every request gives NotSent at once.
class NotSentReporter final : public Reporter {
public:
    void ReportEvent(const ReportRequest&, Done done) override {
        if (done)
            done(ReportResult::NotSent);
    }
};
