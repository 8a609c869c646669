#pragma once
// The window's context menu: the log folder, the diagnostics package on the
// desktop and the note about an unclean previous run.
//
// Threads: the user-interface thread.
#include <filesystem>
#include <string>
#include <vector>

#include "ui/window_port.h"

namespace vesk::ui {

struct DiagnosticsPlaces {
  std::filesystem::path logFile;     // the current session log (empty: the log module's)
  std::filesystem::path logFolder;   // (empty: the log module's)
  std::filesystem::path desktopDir;  // where the package goes; empty: the system's desktop
  bool previousRunUnclean = false;
};

class DiagnosticsFlow {
 public:
  DiagnosticsFlow(DiagnosticsPlaces places, WindowPort& port) : places_(std::move(places)), port_(port) {}

  std::vector<MenuItem> ContextMenu() const;
  void OpenLogFolder();
  // Writes the package with `snapshot` (the environment as text) and shows it.
  void Export(const std::string& snapshot);

 private:
  DiagnosticsPlaces places_;
  WindowPort& port_;
};

}  // namespace vesk::ui
