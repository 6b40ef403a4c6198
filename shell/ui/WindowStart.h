#pragma once

#include "shell/CommandLine.h"

// The receiver with its main window (the atalaia executable without --headless).
namespace WindowStart {

// Runs the receiver with its window until the shutdown has finished; the process's exit code. Without a display
// (the offscreen platform) messages and questions go to standard error and questions take their default answers.
int run(int argc, char** argv, const CommandLine& options);

} // namespace WindowStart
