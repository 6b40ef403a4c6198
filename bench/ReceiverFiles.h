#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <cstdio>
#include <utility>

// The data directory of a load run: a receiver in anonymous mode that reports
// in mode 2 (DC-09 over UDP, no heartbeats) to a station on loopback, with
// clientCount registered clients "Cliente N" on accounts firstAccount.., each
// with a keep-alive period of periodS seconds. No sound files: nothing is
// played. (Events of account 0 are forwarded as heartbeats, and not at all
// in mode 2 unless heartbeats are reported.)
namespace ReceiverFiles {

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

// udpPort 0: the receiver takes a free port.
inline void writeDataFiles(const QString& dir, int clientCount, int periodS, quint16 stationPort, quint16 udpPort = 0,
                           int firstAccount = 0) {
    writeFile(dir + QStringLiteral("/Server.cfg"),
              "[Ports]\r\nUDP " + QByteArray::number(udpPort) + "\r\n[Run]\r\nLogAll\t\t\t0\r\nAnonymEntry\t1\r\n");
    writeFile(dir + QStringLiteral("/Alarms.lst"), "[Roubo]\n130 = Disparo de alarme de roubo\nRestauracao de roubo\n");
    writeFile(dir + QStringLiteral("/LocalEvents.lst"), "FFFF FFFF 000 00\n");
    writeFile(dir + QStringLiteral("/Report.cfg"),
              "2\n0\n0\n0\n0\n60\n0\n\n1\n1\n7\n0\n1\n0\n127.0.0.1\n" + QByteArray::number(stationPort) + "\n");
    writeFile(dir + QStringLiteral("/Events.log"), "");
    QByteArray clients;
    clients.reserve(clientCount * 64);
    char line[128];
    for (int account = firstAccount; account < firstAccount + clientCount && account <= 0xFFFF; ++account) {
        const int length = std::snprintf(line, sizeof line, "%04X\tCliente %d\tKorvo 16IP\t\t\t1\t3\t1\t%d\t%08X\r\n",
                                         account, account, periodS, account);
        clients.append(line, length);
    }
    writeFile(dir + QStringLiteral("/Clients.lst"), clients);
}

// An "Events.log" of rows earlier events (all sent), so that the list starts with that many rows.
inline void writeEarlierEvents(const QString& dir, int rows) {
    QByteArray log;
    log.reserve(qsizetype(rows) * 100);
    char line[160];
    for (int i = 0; i < rows; ++i) {
        const int length = std::snprintf(line, sizeof line,
                                         "0\t01/01/2026 %02d:%02d:%02d\tCliente %d\t%04X\tDisparo de alarme de "
                                         "roubo\tE\t130\t01\t%03d\tTaviCom\tKorvo 16IP\n",
                                         (i / 3600) % 24, (i / 60) % 60, i % 60, 1 + i % 64, 1 + i % 64, 1 + i % 999);
        log.append(line, length);
    }
    writeFile(dir + QStringLiteral("/Events.log"), log);
}

// What "Events.log" holds: lines, and the device events (protocol "TaviCom") by their result field.
struct LogCounts {
    quint64 lines = 0;
    quint64 device = 0;
    quint64 deviceSent = 0;        // result 0
    quint64 deviceFailed = 0;      // result 2
    quint64 notSent = 0;           // result 3, of any origin
    QByteArrayList notSentSamples; // the first few such lines, to say what they were
};

inline LogCounts countLog(const QString& path) {
    LogCounts counts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return counts;
    QByteArray buffer;
    QByteArray rest;
    while (!(buffer = file.read(1 << 20)).isEmpty()) {
        rest += buffer;
        qsizetype start = 0;
        for (qsizetype end; (end = rest.indexOf('\n', start)) >= 0; start = end + 1) {
            ++counts.lines;
            const QByteArrayView line = QByteArrayView(rest).sliced(start, end - start);
            if (line.startsWith("3\t") && ++counts.notSent <= 5)
                counts.notSentSamples.append(line.toByteArray());
            if (!line.contains("\tTaviCom\t"))
                continue;
            ++counts.device;
            if (line.startsWith("0\t"))
                ++counts.deviceSent;
            else if (line.startsWith("2\t"))
                ++counts.deviceFailed;
        }
        rest.remove(0, start);
    }
    return counts;
}

} // namespace ReceiverFiles
