#pragma once

#include <QString>

#include <QtGlobal>
#include <array>

#include <memory>

class ClientRecord;
class ContactRecorder;
class EventRaiser;
class PrimaryClient;
class Reporter;
struct ReportSettings;
struct ServerSettings;

// A device report as every device protocol hands it on once it has been
// acknowledged: what the device said, where it came from, and the client
// that the protocol's registry lookup found (none for an unregistered device).
struct DeviceReportIn {
    enum class Type { Event, KeepAlive, Other };
    // How the account of an event picks the client it is raised for.
    enum class Target {
        // Nothing while the client is new; else the record with that account, or the client itself.
        AccountOrClient,
        // With dependents: only a record with that account; without: the client, whatever the digits.
        AccountIfAccounts,
        // The record the protocol found itself (givenTarget); none raises nothing.
        Given,
    };

    Type type = Type::Event;
    Target target = Target::AccountOrClient;
    int protocol = 0; // EventProtocol
    quint16 account = 0;
    quint16 code = 0;
    quint8 partition = 0;
    quint16 zone = 0;
    int channel = 0;
    quint16 period = 0;
    QString address;
    quint16 port = 0;
    // The account under which the station gets a forwarded event or heartbeat
    // of this device (the TaviCom device identifier's low half).
    quint16 reportAccount = 0;
    PrimaryClient* client = nullptr;
    ClientRecord* givenTarget = nullptr; // with Target::Given
    // The TaviCom order records the contact before the event is raised; the
    // Multicom order raises first.
    bool contactFirst = true;
};

// Everything that follows a device's acknowledgement, whatever the protocol:
// the contact is recorded, an event is raised for its target (the raiser
// refuses a blocked or new one), an unregistered device's event is forwarded with
// "Transparente" and listed with "LogAll" as "address:port", and a keep-alive
// becomes a heartbeat for the station with "Reportar Heartbeat".
//
// Threads: the main thread.
class DeviceReportIntake {
public:
    DeviceReportIntake(const ServerSettings& serverSettings, const ReportSettings& reportSettings,
                       ContactRecorder& contacts, EventRaiser& events, Reporter& reporter);

    void takeReport(const DeviceReportIn& report);
    // Reports taken, by protocol (EventProtocol: 1 TaviCom, 2 DC-09, 3 Multicom).
    quint64 reportsTaken(int protocol) const {
        return protocol >= 0 && protocol < int(m_reportsTaken.size()) ? m_reportsTaken[size_t(protocol)] : 0;
    }

    // The record an event of this report is raised for; none when it raises nothing.
    static ClientRecord* eventTarget(const DeviceReportIn& report);

private:
    std::array<quint64, 4> m_reportsTaken{};
    void takeUnregisteredEvent(const DeviceReportIn& report);
    void recordContact(const DeviceReportIn& report);

    const ServerSettings& m_serverSettings;
    const ReportSettings& m_reportSettings;
    ContactRecorder& m_contacts;
    EventRaiser& m_events;
    Reporter& m_reporter;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
