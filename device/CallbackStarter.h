#pragma once

#include <QString>
#include <QtGlobal>

class PrimaryClient;

// Starts a callback: asks the client's device to call the given address and
// port. The device commands implement it; the datagram protocol calls it for
// a callback request datagram (with the client's remoteCallback already set).
class CallbackStarter {
public:
    virtual ~CallbackStarter() = default;
    virtual void StartCallback(PrimaryClient* client, const QString& address, quint16 port) = 0;
};

// Used until device commands are available: starts nothing.
class NoCallbackStarter final : public CallbackStarter {
public:
    void StartCallback(PrimaryClient*, const QString&, quint16) override {}
};
