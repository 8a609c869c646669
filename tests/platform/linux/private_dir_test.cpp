// The private temp folder: owner-only, and never a folder or link someone
// else planted at its name in the shared temp folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/folders.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(PrivateTempDir, IsOwnerOnlyAndNeverWhatSomeoneElsePlantedAtItsName) {
  test::ScratchDir work;
  fs::create_directories(work / "tmp");
  fs::create_directories(work / "elsewhere");
  ::chmod((work / "elsewhere").c_str(), 0777);
  const test::EnvOverride temp("TMPDIR", (work / "tmp").string());
  const test::EnvOverride data("XDG_DATA_HOME", (work / "data").string());
  const fs::path shared = work / "tmp" / ("VeskRecorder-" + std::to_string(::geteuid()));
  const fs::path fallback = work / "data" / "VeskRecorder" / "tmp";

  ASSERT_EQ(PrivateTempDir(), shared);
  EXPECT_EQ(ModeOf(shared), 0700u);
  ::chmod(shared.c_str(), 0777);  // left with wide rights: narrowed again
  ASSERT_EQ(PrivateTempDir(), shared);
  EXPECT_EQ(ModeOf(shared), 0700u);

  fs::remove(shared);
  fs::create_directory_symlink(work / "elsewhere", shared);
  EXPECT_EQ(PrivateTempDir(), fallback) << "a planted link is never used";
  EXPECT_EQ(ModeOf(fallback), 0700u);
  EXPECT_EQ(ModeOf(work / "elsewhere"), 0777u) << "nor changed through";

  fs::remove(shared);
  fs::create_directory(shared);
  if (::chown(shared.c_str(), 65534, 65534) == 0) {
    EXPECT_EQ(PrivateTempDir(), fallback) << "another user's folder is never used";
  }
}

}  // namespace
}  // namespace vesk
