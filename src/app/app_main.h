#pragma once
#include <string>
#include <vector>

#include "app/command_line.h"

namespace vesk {

// The whole program: scan, initialise, run one mode, clean up. Returns the
// exit code.
int RunVeskRecorder(const std::vector<std::string>& args);

// The window application (or, with a layout path, its hidden layout dump).
// Provided by the platform backend.
int RunWindowApplication(const CommandLine& cmd);

}  // namespace vesk
