#pragma once

#include "shell/CommandLine.h"

#include <memory>
#include <optional>

class MetricsServer;
class ServerCore;

// What both receiver executables do before and around the receiver itself:
// the command line, its answers that end the run, the health figures, and the
// receiver as a service (atalaiad, and "atalaia --headless").
namespace ReceiverStart {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 1;

// The process's command line; without --data-dir, the executable's directory.
CommandLine commandLine(int argc, char** argv);
// --help and --version answered on standard output (exit code 0), a wrong
// option on standard error (exit code 2); nothing when the receiver is to run.
std::optional<int> answered(const CommandLine& options, const char* program, bool headlessOnly);
// The health figures on localhost when asked for; false when the port cannot be had.
bool serveMetrics(const CommandLine& options, ServerCore& core, std::unique_ptr<MetricsServer>& server);
// The receiver as a service: the same core without a window. Anonymous entry
// is implied; messages and questions go to standard error, and a line per
// event unless --quiet-events; SIGTERM and SIGINT end it through the orderly
// shutdown. The process's exit code.
int runHeadless(int argc, char** argv, const CommandLine& options);

} // namespace ReceiverStart
