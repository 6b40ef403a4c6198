#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <future>

// The central station of the load runs: station-sim answering ACK in a child
// process, its output read (and its frames and answers counted) on a thread
// of its own, so that it never blocks on a full pipe and the thread that runs
// the receiver does none of that work.
class StationProcess : public QThread {
public:
    // Starts station-sim on a free UDP port; the port, or 0 when it did not start.
    quint16 start(const QString& path) {
        m_path = path;
        QThread::start();
        return m_port.get_future().get();
    }
    void stop() {
        quit();
        wait();
    }
    std::atomic<quint64> frames{0};
    std::atomic<quint64> acks{0};
    std::atomic<quint64> naks{0};

protected:
    void run() override {
        QProcess sim;
        QByteArray pending;
        bool portKnown = false;
        QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
            pending += sim.readAllStandardOutput();
            qsizetype start = 0;
            for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1) {
                const QByteArrayView line = QByteArrayView(pending).sliced(start, end - start);
                if (line.startsWith("totals: ")) {
                    // "totals: frames F, ACK A, NAK N"
                    const QList<QByteArray> parts = line.sliced(8).toByteArray().split(',');
                    if (parts.size() == 3) {
                        frames = parts[0].trimmed().sliced(7).toULongLong();
                        acks = parts[1].trimmed().sliced(4).toULongLong();
                        naks = parts[2].trimmed().sliced(4).toULongLong();
                    }
                } else if (!portKnown && line.startsWith("listening on UDP port ")) {
                    portKnown = true;
                    m_port.set_value(quint16(line.sliced(22).toByteArray().toUInt()));
                }
            }
            pending.remove(0, start);
        });
        QObject::connect(&sim, &QProcess::finished, [&] {
            if (!portKnown) {
                portKnown = true;
                m_port.set_value(0);
            }
        });
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Quiet: a line per frame would take a good part of the machine the receiver runs on.
        sim.start(m_path, {QStringLiteral("--udp"), QStringLiteral("0"), QStringLiteral("--answer"),
                           QStringLiteral("ack"), QStringLiteral("--quiet")});
        if (!sim.waitForStarted()) {
            m_port.set_value(0);
            return;
        }
        exec();
        sim.kill();
        sim.waitForFinished();
    }

private:
    QString m_path;
    std::promise<quint16> m_port;
};
