#pragma once

#include "device/MulticomFrames.h"

#include <QHostAddress>
#include <QTextStream>

// A Multicom device on a TCP connection: registers, answers the challenge
// with the shared key table, sends events or heartbeats, and fetches and
// confirms a command that the server announces. Every frame is printed.
struct MulticomDeviceOptions {
    QHostAddress host;
    quint16 port = 0;
    QByteArray macKey; // six characters
    Multicom::EventToSend event;
    bool heartbeat = false; // heartbeats instead of events
    quint8 intervalMinutes = 1;
    int count = 1;
    int intervalMs = 1000;
    int timeoutMs = 2000;
};

// Runs the exchange; 0 when every message was acknowledged (or announced a
// command that was fetched and confirmed), 1 otherwise.
int runMulticomDevice(const MulticomDeviceOptions& options, QTextStream& out);
