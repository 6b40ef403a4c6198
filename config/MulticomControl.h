#pragma once

#include <QtGlobal>

// What the configuration page needs from the Multicom listener: the switch
// "Habilitar Multicom" opens it on the "MC" port and closes it again. The
// device link implements it; the configuration does not depend on sockets.
class MulticomControl {
public:
    virtual ~MulticomControl() = default;

    // Opens the listening socket; reports its own failure to the operator.
    // Returns true when the listener is listening.
    virtual bool OpenMulticomListener(quint16 port) = 0;
    // Closes the listening socket and every open session.
    virtual void CloseMulticomListener() = 0;
};
