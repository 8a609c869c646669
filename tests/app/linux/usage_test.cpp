// Without a headless option and without a display the Linux program prints
// its usage and exits 0 (with a display it opens the window).
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

TEST(LinuxEntry, WithoutHeadlessOptionOrDisplayPrintsUsageAndSucceeds) {
  NoDisplay hidden;
  test::ScratchDir dir;
  const std::filesystem::path program = test::CopyBuiltProgram("VeskRecorder", dir.path());
  const test::RunResult r = test::RunProgram(program, {"--dev", "3"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find("--probe-audio"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace vesk
