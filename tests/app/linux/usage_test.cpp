// The exit code tells a refused command line from a run: an unknown option
// is 2, a window start without a display is 1; both print the usage.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/test_support.h"

namespace vesk {
namespace {

// Hides the display from the programs a test starts.
class NoDisplay {
 public:
  NoDisplay() {
    for (int i = 0; i < 2; ++i) {
      if (const char* v = getenv(kNames[i])) saved_[i] = v, had_[i] = true;
      unsetenv(kNames[i]);
    }
  }
  ~NoDisplay() {
    for (int i = 0; i < 2; ++i)
      if (had_[i]) setenv(kNames[i], saved_[i].c_str(), 1);
  }

 private:
  static constexpr const char* kNames[2] = {"DISPLAY", "WAYLAND_DISPLAY"};
  std::string saved_[2];
  bool had_[2] = {false, false};
};

TEST(LinuxEntry, RefusedStartsPrintTheUsageAndFail) {
  NoDisplay hidden;
  test::ScratchDir dir;
  const std::filesystem::path program = test::CopyBuiltProgram("VeskRecorder", dir.path());
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* first;  // the line after the version
  } cases[] = {
      {{"--dev", "3"}, 1, "没有图形显示"},
      {{"clip.wav"}, 1, "没有图形显示"},
      {{"--no-such-option"}, 2, "未知选项：--no-such-option"},
      // Refused before any mode runs, so no report is written either.
      {{"--probe-audio", "a.wav", "-q"}, 2, "未知选项：-q"},
  };
  for (const Case& c : cases) {
    const test::RunResult r = test::RunProgram(program, c.args);
    SCOPED_TRACE(c.args.front());
    EXPECT_EQ(r.exitCode, c.code);
    const size_t line = r.output.find('\n');
    EXPECT_EQ(r.output.find(c.first), line + 1) << r.output;
    EXPECT_NE(r.output.find("--probe-audio <文件>"), std::string::npos) << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "probe-audio-report.txt"));

  // A display that is set but cannot be reached fails the same way.
  const test::RunResult r = test::RunProgram(
      "/usr/bin/env", {"DISPLAY=:vesk-none", "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + dir.path().string(),
                       program.string()});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("图形显示连接不上"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace vesk
