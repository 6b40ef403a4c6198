#pragma once

#include <QIcon>

#include <array>

// The 16 x 16 row icons shared by the lists of the main window, drawn once at
// start: the four link states of a client (0 green, 1 yellow, 2 red, 3 white)
// and the three forwarding results of an event (0 sent, 2 failed, 3 not sent).
// One instance lives in the application object and is passed to the pages.
class RowIcons {
public:
    static constexpr int kSize = 16;

    RowIcons();

    // A null icon for a value outside the table.
    QIcon linkState(int state) const;
    QIcon reportResult(int result) const;

private:
    std::array<QIcon, 4> m_linkStates;
    std::array<QIcon, 4> m_results; // index 1 unused
};
