#pragma once

#include "common/EventRequests.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

// Records event requests in the order they were made (from any thread).
class RecordingEventRequests final : public EventRequests {
public:
    struct Request {
        quint64 clientSerial;
        int position;
        bool restore;
        bool operator==(const Request&) const = default;
    };

    void requestClientEvent(quint64 clientSerial, int position, bool restore) override {
        QMutexLocker locker(&m_mutex);
        requests.append({clientSerial, position, restore});
    }
    void requestServerEvent(int position, bool restore) override { requestClientEvent(0, position, restore); }

    QList<Request> requests;

private:
    QMutex m_mutex;
};
