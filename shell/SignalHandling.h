#pragma once

#include <functional>

class QObject;

// Turns SIGTERM and SIGINT into a call of onTerminate on the main thread, so
// the program ends through its orderly shutdown (forwardings finish, sockets
// close, "Clients.lst" is written) as on a normal close. Every signal calls
// onTerminate again. Call once, after the Qt application object exists (a later
// call takes the signals over).
void installTerminationHandler(QObject* parent, std::function<void()> onTerminate);
