#pragma once

#include "device/SessionProtocol.h"

#include <random>

class ClientRegistry;
class ClientTransitions;
class DeviceReportIntake;
class MulticomClient;

// `HandleSessionFrame`: the Multicom session protocol as a pure step. A frame
// of the session (the bytes read, in its 64-byte buffer) and the session's
// fields go in; the reply and the session's next state come out. It never
// sees a socket.
//
// State 0 waits for "RM" and answers the challenge (two 7-bit indexes drawn
// from a seeded generator; the session key is entry A XOR entry B of the key
// table). State 1 takes events ("XI", 28 scrambled characters) and heartbeats
// ("XH", 8) with a valid sum field and acknowledges each, or announces a
// command waiting for the identified client (a callback: state 2, a line
// switch: state 4). "W" fetches the command (states 2 and 4), "C" confirms it
// and gets the end frame (states 3 and 5, then 6), and "K" returns to state 1.
// "RM" restarts the handshake in any state. Whatever the state does not
// expect gets the negative frame and leaves the state as it was.
//
// Identified clients and their events go through the intake with protocol 3:
// the client found by MAC key (its Ethernet address and port updated), else
// the record of the event's Multicom account (its primary's unset MAC key set
// from the frame), else an unregistered device ("Transparente", "LogAll").
//
// Threads: the main thread, like the registry and the sessions.
class MulticomProtocol final : public SessionProtocol {
public:
    MulticomProtocol(ClientRegistry& registry, ClientTransitions& transitions, DeviceReportIntake& intake,
                     quint32 seed = std::random_device{}());

    QByteArray HandleSessionFrame(MulticomSession& session, std::array<char, MulticomSession::kBufferSize>& buffer,
                                  int count) override;

private:
    QByteArray handshake(MulticomSession& session);
    QByteArray message(MulticomSession& session, std::array<char, MulticomSession::kBufferSize>& buffer, int count);
    MulticomClient* takeEvent(MulticomSession& session, std::array<char, MulticomSession::kBufferSize>& buffer);
    MulticomClient* takeHeartbeat(MulticomSession& session, std::array<char, MulticomSession::kBufferSize>& buffer);
    QByteArray fetchCommand(MulticomSession& session);
    MulticomClient* sessionClient(const MulticomSession& session) const;

    ClientRegistry& m_registry;
    ClientTransitions& m_transitions;
    DeviceReportIntake& m_intake;
    std::minstd_rand m_random;
};
