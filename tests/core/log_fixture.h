#pragma once
// Points the session log at a private folder (through the variables the
// folder lookup reads) and closes the log after each test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_log.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk::test {

class LogFolderTest : public ::testing::Test {
 protected:
  LogFolderTest()
      : xdg_("XDG_DATA_HOME", PathToUtf8(scratch_.path())),
        local_("LOCALAPPDATA", PathToUtf8(scratch_.path())),
        logs_(scratch_.path() / "VeskRecorder" / "logs") {}
  ~LogFolderTest() override { AppLogShutdown(); }

  void MakeLogFolder() { std::filesystem::create_directories(logs_); }
  void WriteLog(const std::string& name, const std::string& content) {
    MakeLogFolder();
    WriteBytes(logs_ / name, std::vector<uint8_t>(content.begin(), content.end()));
  }
  std::string CurrentLogText() const { return ReadText(AppLogCurrentStatus().path); }

  ScratchDir scratch_;
  EnvOverride xdg_;
  EnvOverride local_;
  std::filesystem::path logs_;
};

// The lines of a log, split at CR LF (the byte-order mark stays on line 0).
inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// The message part of a log line: what follows "[tid=N] ".
inline std::string MessageOf(const std::string& line) {
  const size_t pos = line.find("] ");
  return pos == std::string::npos ? std::string() : line.substr(pos + 2);
}

}  // namespace vesk::test
