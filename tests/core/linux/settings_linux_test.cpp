#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <functional>

#include "core/settings.h"
#include "core/log_fixture.h"
#include "core/settings_store.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {
namespace fs = std::filesystem;

// "音频文件夹" in GB18030, the superset of the Chinese ANSI code page.
const std::string kFolderGb18030 = "\xD2\xF4\xC6\xB5\xCE\xC4\xBC\xFE\xBC\xD0";

TEST(SettingsAnsiCodePage, ChineseFolderNamesLoadAndAreWrittenBackAsUtf8) {
  test::ScratchDir scratch;
  fs::create_directories(scratch / "音频文件夹");
  const fs::path file = scratch / "VeskRecorder.ini";
  const std::string base = PathToUtf8(scratch.path()) + "/";
  const std::string bytes = "[VeskRecorder]\r\nOpenDir=" + base + kFolderGb18030 + "\r\nFormat=1\r\n";
  test::WriteBytes(file, {bytes.begin(), bytes.end()});

  IniStore store(file);
  store.Load();
  EXPECT_EQ(store.GetString("OpenDir"), base + "音频文件夹");
  SettingsState state;
  LoadSettings(store, {scratch / "docs", scratch / "program"}, state);
  EXPECT_EQ(state.openDir, scratch / "音频文件夹");  // the folder exists under its decoded name

  SaveSettings(store, state, std::nullopt, std::nullopt);
  const std::string written = test::ReadText(file);
  EXPECT_EQ(written.rfind("\xEF\xBB\xBF[VeskRecorder]\r\nOpenDir=" + base + "音频文件夹\r\nFormat=1\r\n", 0), 0u);
}

TEST(SettingsAnsiCodePage, BytesInvalidThereBecomeReplacementCharacters) {
  EXPECT_EQ(DecodeSettingsBytes("A=\x80" "b\xD2"), "A=\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

// A full disk in the middle of writing (here: the file-size limit) must leave
// the previous settings file complete and no temporary file behind.
TEST(SettingsAtomicReplace, WriteFailingMidwayKeepsTheOldFile) {
  test::ScratchDir scratch;
  const fs::path file = scratch / "VeskRecorder.ini";
  IniStore store(file);
  store.SetString("Format", "1");
  const std::string before = test::ReadText(file);
  ASSERT_FALSE(before.empty());

  store.BeginBatch();  // keep the change in memory until the limit is in place
  store.SetString("LastFile", std::string(4000, 'x'));
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = store.Save();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(test::ReadText(file), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 1);
  store.EndBatch();
  EXPECT_NE(test::ReadText(file).find(std::string(4000, 'x')), std::string::npos);
}

TEST(SettingsAtomicReplace, ReplacesALinkInsteadOfWritingThroughIt) {
  test::ScratchDir scratch;
  test::WriteBytes(scratch / "victim.txt", {'v'});
  fs::create_symlink(scratch / "victim.txt", scratch / "VeskRecorder.ini");
  IniStore store(scratch / "VeskRecorder.ini");
  store.SetString("Format", "1");
  EXPECT_EQ(test::ReadText(scratch / "victim.txt"), "v");
  EXPECT_FALSE(fs::is_symlink(scratch / "VeskRecorder.ini"));
}

// A settings file that is there but cannot be read must survive the run:
// saving defaults over it would lose every key. A missing or empty file is
// written as usual.
class SettingsUnreadable : public test::LogFolderTest {};

TEST_F(SettingsUnreadable, FileThatFailedToLoadIsNeverSavedOver) {
  AppLogInit();
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    bool saved;
  };
  const Case cases[] = {
      {"over the limit", [](const fs::path& f) {
         const std::string big = "\xEF\xBB\xBF[VeskRecorder]\r\nFormat=1\r\n" + std::string(kSettingsMaxBytes, ';');
         test::WriteBytes(f, {big.begin(), big.end()});
       }, false},
      {"a FIFO", [](const fs::path& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0); }, false},
      {"missing", [](const fs::path&) {}, true},
      {"empty", [](const fs::path& f) { test::WriteBytes(f, {}); }, true},
  };
  for (const Case& c : cases) {
    test::ScratchDir scratch;
    const fs::path file = scratch / "VeskRecorder.ini";
    c.make(file);
    const auto typeBefore = fs::symlink_status(file).type();
    const uintmax_t sizeBefore = fs::is_regular_file(file) ? fs::file_size(file) : 0;
    IniStore store(file);
    store.Load();
    store.SetString("LastFile", "x");
    EXPECT_EQ(store.GetString("LastFile"), "x") << c.name;  // kept in memory either way
    if (c.saved) {
      EXPECT_TRUE(store.LoadFailure().empty()) << c.name;
      EXPECT_EQ(test::ReadText(file), "\xEF\xBB\xBF[VeskRecorder]\r\nLastFile=x\r\n") << c.name;
    } else {
      EXPECT_FALSE(store.LoadFailure().empty()) << c.name;
      EXPECT_EQ(fs::symlink_status(file).type(), typeBefore) << c.name;
      if (fs::is_regular_file(file)) {
        EXPECT_EQ(fs::file_size(file), sizeBefore) << c.name;
      }
      EXPECT_NE(CurrentLogText().find("[ini] 设置文件 " + PathToUtf8(file)), std::string::npos) << c.name;
    }
  }
}

}  // namespace
}  // namespace vesk
