#pragma once

#include <sys/resource.h>

#include <vector>

// Leaves the process without a free file descriptor while it lives, so that
// the next socket, open or accept fails with EMFILE: the soft limit is lowered
// to a little above the highest descriptor open now and every free number
// below it is taken by a copy of one descriptor. releaseAll() hands them back
// (the destructor too, and it restores the limit).
//
// The process is left with nothing to spare: whatever the test needs to open
// (its client sockets) it opens before.
class DescriptorExhaustion {
public:
    DescriptorExhaustion();
    ~DescriptorExhaustion();
    DescriptorExhaustion(const DescriptorExhaustion&) = delete;
    DescriptorExhaustion& operator=(const DescriptorExhaustion&) = delete;

    // True when a new descriptor is refused for want of room.
    bool exhausted() const;
    void releaseAll();

private:
    rlimit m_saved{};
    bool m_lowered = false;
    std::vector<int> m_held;
};
