#pragma once
#include <filesystem>
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

// The file a second start hands to the running window: the command line's
// file made absolute (the running one has its own working folder); empty
// when none was given.
std::filesystem::path HandedOverPath(const CommandLine& cmd);

}  // namespace vesk
