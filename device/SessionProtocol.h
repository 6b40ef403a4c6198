#pragma once

class SessionSocket;

// The Multicom session protocol as the sessions see it: every read of 1 to 63
// bytes is one frame, left in the session's buffer and handed here on the
// main thread. The protocol reads and writes the session's protocol fields and
// sends its replies through the session.
class SessionProtocol {
public:
    virtual ~SessionProtocol() = default;
    virtual void HandleSessionFrame(SessionSocket& session, int count) = 0;
};

// A protocol that answers nothing: the sessions are accepted, kept alive by
// their traffic and timed out, but no frame is acted upon.
class NoSessionProtocol : public SessionProtocol {
public:
    void HandleSessionFrame(SessionSocket&, int) override {}
};
