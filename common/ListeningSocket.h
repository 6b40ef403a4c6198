#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;

// A listening TCP socket on IPv4 whose accepts are done here, so that a
// failing accept is always seen. Every connection taken is handed to the
// owner as a plain descriptor (non-blocking, closed on exec), which the owner
// then keeps or refuses.
//
// An accept that fails for want of resources (no descriptor left in the
// process or the system, no kernel memory) would fail again at once: the
// socket then stops reading for a while (kFirstBackOff, doubled after each
// failure that follows until kLongestBackOff) and tries again, so it never
// spins and it accepts again by itself once descriptors are free. The problem
// handler hears the first failure of such a stretch and the first connection
// taken after it, and nothing in between.
//
// At most kAcceptsPerRound connections are taken per turn of the event loop;
// the socket is level-triggered, so the rest are taken at the next turn and a
// flood of connections never keeps the loop from the sockets already open.
//
// Threads: the thread that created it (the main thread).
class ListeningSocket : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kFirstBackOff{100};
    static constexpr std::chrono::milliseconds kLongestBackOff{1000};
    static constexpr int kAcceptsPerRound = 64;

    enum class Interface { AnyIPv4, Loopback };

    // Takes the accepted descriptor; the owner closes it.
    using Accepted = std::function<void(int descriptor)>;
    // failing: accepts have begun to fail (text: the system's reason); false
    // once a connection is taken again (text empty).
    using ProblemHandler = std::function<void(bool failing, const QString& text)>;

    explicit ListeningSocket(Accepted accepted, QObject* parent = nullptr);
    ~ListeningSocket() override;
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // Binds (with address reuse) and listens; false with errorString() set.
    // Listening again first closes the socket in use.
    bool listen(Interface interface, quint16 port, int backlog);
    void close();
    bool isListening() const { return m_descriptor >= 0; }
    quint16 port() const { return m_port; } // 0 when not listening
    QString errorString() const { return m_error; }

    void setProblemHandler(ProblemHandler handler) { m_problem = std::move(handler); }

    // Accepts that failed and made the socket stop reading for a while.
    quint64 backOffs() const { return m_backOffs; }

    // Closes an accepted connection at once with a reset: the peer learns it
    // was refused, and nothing of it stays behind in TIME_WAIT.
    static void refuse(int descriptor);

private:
    void acceptPending();
    void backOff(int error);
    void resume();

    Accepted m_accepted;
    ProblemHandler m_problem;
    int m_descriptor = -1;
    quint16 m_port = 0;
    QString m_error;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_backOff;
    std::chrono::milliseconds m_nextBackOff = kFirstBackOff;
    bool m_failing = false;
    quint64 m_backOffs = 0;
};
