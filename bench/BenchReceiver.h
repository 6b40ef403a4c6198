#pragma once

#include "clients/ClientContact.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "common/EventRequests.h"
#include "config/ServerSettings.h"
#include "device/CallbackStarter.h"
#include "device/DatagramServer.h"
#include "device/DeviceReportIntake.h"
#include "device/TaviComCodec.h"
#include "events/ClientStatusRaiser.h"
#include "events/EventRaiser.h"
#include "events/InternalEventForwarder.h"
#include "events/InternalEventTable.h"
#include "reporting/ReportSettings.h"
#include "reporting/Reporter.h"

#include "bench/BenchSupport.h"

#include <algorithm>
#include <vector>

// The receiver's datagram side for the benchmarks: the registry with every
// client online, the pages, the contact recorder and the datagram server,
// wired as the application wires them, with reporting off and nothing shown.
namespace BenchSupport {

using namespace TaviCom;

constexpr quint16 kPeriodSeconds = 60;

class NoEventRequests final : public EventRequests {
public:
    void requestClientEvent(quint64, int, bool) override {}
    void requestServerEvent(int, bool) override {}
};

class SilentEventRaiser : public EventRaiser {
public:
    void RaiseClientEvent(ClientRecord*, quint16, quint8, quint16, int) override {}
    void RaiseClientInternalEvent(ReportResult, quint16, const ClientEventSubject&) override {}
    void RaiseInternalEvent(ReportResult, quint16, const QString&) override {}
    void AddEventLine(ReportResult, const QString&, quint16, quint16, quint8, quint16, int,
                      const std::optional<QString>&) override {}
};

inline std::vector<quint8> keepAlive(quint16 account, quint16 sequence) {
    std::vector<quint8> bytes(kMaxDatagramLength, 0);
    bytes[kOffMarker] = kMarker;
    bytes[kOffVersion] = kVersion;
    bytes[kOffType] = kTypeKeepAlive;
    writeU32(bytes, kOffDeviceId, account);
    writeU16(bytes, kOffSequence, sequence);
    bytes[kOffChannel] = kChannelEthernet;
    bytes[kOffAnswerKind] = kKindAnswer;
    bytes[kOffKind] = kKindReport;
    writeU16(bytes, kOffPayloadLength, kReportPayloadLength);
    writeDeviceReport(bytes, {account, 0, 0, 0, kPeriodSeconds});
    bytes.resize(size_t(finishDatagram(bytes, kReportPayloadLength, kReportPayloadLength)));
    return bytes;
}

inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    const auto index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + long(index), values.end());
    return values[index];
}

struct BenchReceiver {
    BenchReceiver(int clientCount, bool fillOnlinePage) {
        for (int account = 0; account < clientCount; ++account) {
            auto* client = new PrimaryClient;
            client->account = quint16(account);
            client->deviceId = quint32(account);
            client->status = ClientStatus::Online;
            client->linkState = LinkState::Ok;
            registry.Register(client);
        }
        if (fillOnlinePage)
            pages.refillAll(registry);
    }
    ~BenchReceiver() {
        server.stopServer();
        registry.Shutdown();
    }

    ServerSettings serverSettings; // UDP 0: a free port
    ReportSettings reportSettings;
    ClientRegistry registry;
    ClientPages pages;
    SilentEventRaiser events;
    InternalEventTable internalEvents;
    QuietUserInterface ui;
    NoEventRequests requests;
    NotSentReporter reporter;
    InternalEventForwarder internalRaiser{internalEvents, reporter, events};
    ClientStatusRaiser returns{events, internalRaiser, internalEvents};
    ClientTransitions transitions{
        registry, pages, returns, requests, ui, serverSettings, DataDirectory(QStringLiteral("/tmp"))};
    ContactRecorder contacts{registry, transitions};
    NoCallbackStarter callbacks;
    DeviceReportIntake intake{serverSettings, reportSettings, contacts, events, reporter};
    DatagramServer server{serverSettings, registry, intake, callbacks, ui};
};

} // namespace BenchSupport
