// The built program with its Qt window: the layout dump from the real
// widgets, and one running window per user session.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "core/app_log.h"
#include "platform/process.h"
#include "platform/single_instance.h"
#include "support/signal.h"
#include "support/test_support.h"
#include "support/wav_builder.h"
#include "ui/main_layout.h"

namespace vesk {
namespace {

struct DumpItem {
  std::string key, cls, text, opts;
  int id = 0;
  double x = 0, y = 0, w = 0, h = 0;
};

std::vector<DumpItem> ParseItems(const std::string& json) {
  static const std::regex item(
      R"re(\{"key": "([^"]*)", "cls": "([^"]*)", "id": (\d+), "text": "([^"]*)", "x": ([\d.]+), "y": ([\d.]+), "w": ([\d.]+), "h": ([\d.]+)(?:, "sel": -?\d+, "opts": \[([^\]]*)\])?\})re");
  std::vector<DumpItem> out;
  std::istringstream lines(json);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, item)) continue;
    out.push_back({m[1], m[2], m[4], m[9], std::stoi(m[3]), std::stod(m[5]), std::stod(m[6]), std::stod(m[7]),
                   std::stod(m[8])});
  }
  return out;
}

std::string Joined(const std::vector<std::string>& options) {
  std::string s;
  for (const std::string& o : options) s += (s.empty() ? "\"" : ", \"") + o + "\"";
  return s;
}

TEST(QtLayoutDump, ListsTheSameIdsLabelsOptionsAndPlacesAsMainLayout) {
  test::ScratchDir dir;
  const auto path = dir / "layout.json";
  const test::RunResult r = test::RunProgram(test::BuiltProgramDir() / "VeskRecorder", {"--dump-layout", path.string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string json = test::ReadText(path);
  ASSERT_EQ(json.rfind("\xEF\xBB\xBF{\n  \"app\": \"VeskRecorder 0.9.124\",\n  \"dpi\": 96,\n", 0), 0u) << json;
  EXPECT_NE(json.find("\"client\": {\"w\": 800, \"h\": 600}"), std::string::npos);

  const std::vector<DumpItem> items = ParseItems(json);
  const std::vector<ui::LayoutControl> layout = ui::MainLayout(800, 600);
  ASSERT_EQ(items.size(), layout.size()) << json;
  for (size_t i = 0; i < layout.size(); ++i) {
    const ui::LayoutControl& c = layout[i];
    const DumpItem& it = items[i];
    const std::string key = !c.key.empty() ? c.key : c.id > 0 ? "id:" + std::to_string(c.id) : "text:" + c.label;
    SCOPED_TRACE(key);
    EXPECT_EQ(it.key, key);
    EXPECT_EQ(it.id, c.id);
    // Device lists are filled from the system; the fixed lists show their first entry.
    if (c.kind == ui::ControlKind::DropDown) {
      if (!c.options.empty()) {
        EXPECT_EQ(it.opts, Joined(c.options));
      }
    } else if (c.kind != ui::ControlKind::TextView && c.kind != ui::ControlKind::ReadOnlyEdit) {
      // The controller may add a state to a label at start ("降噪 关").
      EXPECT_EQ(it.text.rfind(c.label, 0), 0u) << it.text;
    }
    EXPECT_EQ(it.x, c.rect.x);
    EXPECT_EQ(it.y, c.rect.y);
    EXPECT_EQ(it.w, c.rect.w);
    EXPECT_EQ(it.h, c.rect.h);
  }
  EXPECT_EQ(items[layout.size() - 1].key, "id:1030");
}

// A second start hands over to the running window and exits 0; the first
// one keeps running, comes to the front and opens the second's file (named
// relative to the second's folder, as a file manager may). The program runs
// from a copy in a scratch home, so its data folder, settings and logs stay
// there.
TEST(QtWindowProgram, SecondStartHandsItsFileToTheRunningWindowAndExitsZero) {
  test::ScratchDir home;
  const auto program = home / "VeskRecorder";
  std::filesystem::copy_file(test::BuiltProgramDir() / "VeskRecorder", program);
  const std::string h = home.path().string();
  const std::vector<std::string> env = {"HOME=" + h, "XDG_RUNTIME_DIR=" + h, "XDG_DATA_HOME=" + h + "/data",
                                        "XDG_CONFIG_HOME=" + h + "/config", "DISPLAY=:vesk-test",
                                        "QT_QPA_PLATFORM=offscreen", "PULSE_SERVER=unix:" + h + "/no-server"};
  auto start = [&](ChildProcess& p, const char* log) {
    std::vector<std::string> args = env;
    args.push_back(program.string());
    return p.Start("/usr/bin/env", args, home / log);
  };
  auto waitFor = [](const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done();
  };

  ChildProcess first;
  ASSERT_TRUE(start(first, "first.out"));
  const auto socket = home / (std::string(kSingleInstanceName) + ".sock");
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(socket); })) << test::ReadText(home / "first.out");

  test::WriteBytes(home / "take.wav", test::MakeWav({1, 1, 8000, 16}, test::Pcm16(test::Sine(8000, 1, 440, 8000)), 16000));
  ChildProcess second;
  std::vector<std::string> args = {"-c", "cd \"$0\" && exec /usr/bin/env \"$@\"", h};
  args.insert(args.end(), env.begin(), env.end());
  args.insert(args.end(), {program.string(), "take.wav"});
  ASSERT_TRUE(second.Start("/bin/sh", args, home / "second.out"));
  ASSERT_TRUE(second.Wait(30000));
  EXPECT_EQ(second.ExitCode(), 0) << test::ReadText(home / "second.out");
  EXPECT_FALSE(first.Wait(0)) << "the first window keeps running";

  auto inLog = [&](const std::string& text) {
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(home / "data" / "VeskRecorder" / "logs", ec))
      if (test::ReadText(f.path()).find(text) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(waitFor([&] { return inLog("再次启动"); }));
  EXPECT_TRUE(waitFor([&] { return inLog("[open] " + (home / "take.wav").string() + "：8000 Hz 1 声道"); }));
  first.Kill();
  first.Wait(5000);

  // A file named on the command line of a first start opens once the window is up.
  std::filesystem::copy_file(home / "take.wav", home / "named.wav");
  ChildProcess named;
  std::vector<std::string> namedArgs = env;
  namedArgs.insert(namedArgs.end(), {program.string(), (home / "named.wav").string()});
  ASSERT_TRUE(named.Start("/usr/bin/env", namedArgs, home / "named.out"));
  EXPECT_TRUE(waitFor([&] { return inLog("[open] " + (home / "named.wav").string() + "：8000 Hz 1 声道"); }))
      << test::ReadText(home / "named.out");
  named.Kill();
  named.Wait(5000);
}

// Log-out and shut-down send SIGTERM: the window ends as on a close, so
// the log gets its end marker and the settings are saved.
TEST(QtWindowProgram, TerminationSignalEndsLikeAClose) {
  test::ScratchDir home;
  const auto program = home / "VeskRecorder";
  std::filesystem::copy_file(test::BuiltProgramDir() / "VeskRecorder", program);
  const std::string h = home.path().string();
  ChildProcess window;
  ASSERT_TRUE(window.Start("/usr/bin/env",
                           {"HOME=" + h, "XDG_RUNTIME_DIR=" + h, "XDG_DATA_HOME=" + h + "/data",
                            "XDG_CONFIG_HOME=" + h + "/config", "DISPLAY=:vesk-test", "QT_QPA_PLATFORM=offscreen",
                            "PULSE_SERVER=unix:" + h + "/no-server", program.string()},
                           home / "window.out"));
  std::filesystem::path log;
  long pid = 0;
  for (int i = 0; i < 300 && pid == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(home / "data" / "VeskRecorder" / "logs", ec)) {
      const std::string text = test::ReadText(f.path());
      const size_t at = text.find("启动：pid=");
      // Started once the socket of the single instance is there too.
      if (at != std::string::npos && std::filesystem::exists(home / (std::string(kSingleInstanceName) + ".sock"))) {
        log = f.path();
        pid = std::atol(text.c_str() + at + std::strlen("启动：pid="));
      }
    }
  }
  ASSERT_GT(pid, 0) << test::ReadText(home / "window.out");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the window is up
  ASSERT_EQ(kill(pid_t(pid), SIGTERM), 0);
  ASSERT_TRUE(window.Wait(30000));
  EXPECT_EQ(window.ExitCode(), 0);
  const std::string text = test::ReadText(log);
  EXPECT_NE(text.find(kLogEndMarker), std::string::npos) << text;
  EXPECT_TRUE(std::filesystem::exists(home / "VeskRecorder.ini"));
}

}  // namespace
}  // namespace vesk
