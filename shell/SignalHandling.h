#pragma once

class QObject;

// Turns SIGTERM and SIGINT into an orderly quit of the event loop, so the
// shutdown steps (closing sockets, writing "Clients.lst") run as on a normal
// close. Call once, after the QApplication exists.
void installQuitOnTermination(QObject* parent);
