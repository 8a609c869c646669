// The real Win32 window driven only by window messages, as the system
// delivers a person's clicks: buttons, drop-down lists, the split buttons'
// menus, the context menu, the close confirmations and the saved placement.
// Read back through control texts, enabled states and the status line.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "doc/audio_doc.h"
#include "media/wav_sink.h"
#include "platform/text.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "ui/win/window_harness.h"

namespace vesk::ui::win {
namespace {

// Two seconds of a 440 Hz tone at 0.5.
std::filesystem::path WriteTone(const std::filesystem::path& path) {
  std::vector<float> samples(48000 * 2 * 2);
  for (size_t f = 0; f < samples.size() / 2; ++f)
    samples[2 * f] = samples[2 * f + 1] = float(0.5 * std::sin(2 * M_PI * 440.0 * double(f) / 48000.0));
  std::string error;
  EXPECT_TRUE(WriteWavFile(path, AudioFormat{48000, 2, 16}, samples, error, 16)) << error;
  return path;
}

std::string Text(HWND h) { return WideToUtf8(WindowTextOf(h)); }

class WindowMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(RegisterWindowClasses(GetModuleHandleW(nullptr))); }
  void TearDown() override {
    window_.reset();
    test::Pump();
  }
  void Open(const test::ScratchDir& dir, const std::vector<std::string>& ini) {
    window_ = test::MakeWindow(true, test::WindowOptions(dir, ini));
    ASSERT_NE(window_, nullptr);
    test::Pump(*window_);
  }
  HWND Main() const { return window_->Handle(); }
  HWND Item(int id) const { return GetDlgItem(Main(), id); }
  // A click as the button reports it to its parent.
  void Click(int id) {
    SendMessageW(Item(id), BM_CLICK, 0, 0);
    test::Pump(*window_, 40);
  }
  // A menu item as the menu loop reports it (no control behind it).
  void Command(int id) {
    SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    test::Pump(*window_, 40);
  }
  void Choose(int id, int index) {
    SendMessageW(Item(id), CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
    test::Pump(*window_, 40);
  }
  void DropDown(int id) {
    NMBCDROPDOWN n{};
    n.hdr = {Item(id), UINT_PTR(id), UINT(BCN_DROPDOWN)};
    GetClientRect(Item(id), &n.rcButton);
    SendMessageW(Main(), WM_NOTIFY, WPARAM(id), reinterpret_cast<LPARAM>(&n));
    test::Pump(*window_, 40);
  }
  std::string Status() const { return test::StatusText(*window_); }
  AudioDoc& Doc() { return window_->Controller().Document(); }

  test::TestWindow window_;
};

struct Expect {
  int id;
  const char* text;  // nullptr: not checked (for a drop-down list: its selected item)
  int enabled;       // -1: not checked
};

TEST_F(WindowMessagesTest, ButtonsDropDownsAndMenuCommandsReachTheControllerAndItsAnswerIsShown) {
  test::ScratchDir dir;
  Open(dir, {"Format=1", "BitDepth=16", "RecSource=0"});
  uint64_t full = 0;
  std::string box;
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* status;  // the status line starts so; nullptr: not checked
    std::vector<Expect> expect;
  } steps[] = {
      {"idle", [] {}, "就绪。选好声音来源，点「开始录音」。",
       {{kIdRecord, "●  开始录音", 1}, {kIdPause, "⏸  暂停", 0}, {kIdFormat, "WAV(无损)", 1}, {kIdBitDepth, "16bit", 1},
        {kIdBitrate, nullptr, 0}, {kIdPlay, nullptr, 0}, {kIdUndo, nullptr, 0}}},
      {"record", [&] { Click(kIdRecord); }, nullptr,
       {{kIdRecord, "■  停止录音", 1}, {kIdPause, "⏸  暂停", 1}, {kIdCaptureDevice, nullptr, 0}, {kIdFormat, nullptr, 0},
        {kIdChangeDir, nullptr, 0}, {kIdOpenMedia, nullptr, 0}, {kIdPlay, nullptr, 0}}},
      {"pause", [&] { Click(kIdPause); }, nullptr, {{kIdPause, "▶  继续", 1}}},
      {"resume", [&] { Click(kIdPause); test::Pump(*window_, 700); }, nullptr, {{kIdPause, "⏸  暂停", 1}}},
      {"stop", [&] { Click(kIdRecord); full = Doc().Frames(); }, "已保存并载入剪辑区：",
       {{kIdRecord, "●  开始录音", 1}, {kIdPause, "⏸  暂停", 0}, {kIdCaptureDevice, nullptr, 1}, {kIdFormat, nullptr, 1},
        {kIdPlay, "▶ 播放 (Space)", 1}, {kIdSaveWav, nullptr, 1}, {kIdUndo, nullptr, 0}}},
      {"select all", [&] { Click(kIdSelectAll); }, nullptr, {{kIdDelete, nullptr, 1}, {kIdTrim, nullptr, 1}}},
      {"delete", [&] { Click(kIdDelete); }, nullptr, {{kIdUndo, nullptr, 1}, {kIdRedo, nullptr, 0}}},
      {"undo", [&] { Click(kIdUndo); }, nullptr, {{kIdUndo, nullptr, 0}, {kIdRedo, nullptr, 1}}},
      // A disabled control's report is not acted on.
      {"click on a disabled undo",
       [&] {
         SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(kIdUndo, BN_CLICKED), reinterpret_cast<LPARAM>(Item(kIdUndo)));
       },
       nullptr, {{kIdRedo, nullptr, 1}}},
      {"play", [&] { Click(kIdPlay); }, nullptr, {{kIdPlay, "■ 停止 (Space)", 1}}},
      {"stop playing", [&] { Click(kIdPlay); }, nullptr, {{kIdPlay, "▶ 播放 (Space)", 1}}},
      {"MP3 in the format list", [&] { Choose(kIdFormat, 0); }, nullptr,
       {{kIdFormat, "MP3", 1}, {kIdBitrate, nullptr, 1}, {kIdBitDepth, nullptr, 0}}},
      {"WAV again: 24 bit", [&] { Choose(kIdFormat, 1); }, nullptr,
       {{kIdBitDepth, "24bit", 1}, {kIdBitrate, nullptr, 0}}},
      {"WAV menu: 32 bit", [&] { Command(kMenuWavBits32); }, "导出位深已更新。当前：WAV 位深 32bit", {}},
      {"MP3 menu: 128 kbps", [&] { Command(kMenuMp3Kbps128); }, "导出码率已更新。当前：MP3 码率 128kbps",
       {{kIdBitrate, "128kbps", 0}}},
      // The test program keeps no session log: the export reports why it failed.
      {"context menu item: export the diagnostics",
       [&] {
         test::AnswerNextBox(true, &box);
         Command(kMenuExportDiagnostics);
       },
       "导出诊断日志失败：日志模块还没初始化", {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    if (s.status) {
      EXPECT_EQ(Status().rfind(s.status, 0), 0u) << Status();
    }
    for (const Expect& e : s.expect) {
      SCOPED_TRACE("control " + std::to_string(e.id));
      if (e.text) {
        EXPECT_EQ(Text(Item(e.id)), e.text);
      }
      if (e.enabled >= 0) {
        EXPECT_EQ(bool(IsWindowEnabled(Item(e.id))), e.enabled == 1);
      }
    }
  }
  EXPECT_GT(full, 48000u / 2) << "the fake microphone's take was loaded";
  EXPECT_EQ(Doc().Frames(), full) << "delete, undo and the ignored click leave the take whole";
  EXPECT_EQ(box, "导出诊断日志失败：\n日志模块还没初始化");
}

// The split buttons' drop-down menus list the choices with the current one
// checked, and the picked item reaches the controller; the menu key opens
// the window's own menu with its two log items.
TEST_F(WindowMessagesTest, SplitButtonAndContextMenusShowTheChoicesAndSendThePickedItem) {
  test::ScratchDir dir;
  Open(dir, {"Format=1", "BitDepth=16"});
  // The save buttons, and so their menus, are live with a clip in the edit area.
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(WriteTone(dir / "tone.wav")));
  std::vector<test::MenuEntry> seen;
  auto texts = [&] {
    std::vector<std::string> t;
    for (const auto& e : seen) t.push_back(e.text + (e.checked ? " [x]" : ""));
    return t;
  };
  struct Case {
    const char* what;
    std::function<void()> open;
    std::string pick;
    std::vector<std::string> items;  // as shown, before the pick
    const char* status;
    bool box = false;  // the pick brings up a message box
  } cases[] = {
      {"WAV", [&] { DropDown(kIdSaveWav); }, "位深 16bit",
       {"位深：跟源文件", "位深 16bit", "位深 24bit [x]", "位深 32bit 浮点", "-", "采样率：跟源文件", "采样率 44100Hz",
        "采样率 48000Hz [x]", "采样率 96000Hz"},
       "导出位深已更新。当前：WAV 位深 16bit"},
      {"WAV again", [&] { DropDown(kIdSaveWav); }, "",
       {"位深：跟源文件", "位深 16bit [x]", "位深 24bit", "位深 32bit 浮点", "-", "采样率：跟源文件", "采样率 44100Hz",
        "采样率 48000Hz [x]", "采样率 96000Hz"},
       nullptr},
      {"MP3", [&] { DropDown(kIdSaveMp3); }, "码率 192kbps",
       {"码率 128kbps", "码率 192kbps", "码率 256kbps", "码率 320kbps [x]", "-", "采样率：跟源文件", "采样率 44100Hz",
        "采样率 48000Hz [x]"},
       "导出码率已更新。当前：MP3 码率 192kbps"},
      // A right click on the waveform that does not pan opens the window's
      // menu (the controller's rule, as in the Qt window).
      {"right click", [&] {
         PostMessageW(window_->WaveHandle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
         PostMessageW(window_->WaveHandle(), WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
         test::Pump(*window_, 100);
       },
       "", {"打开日志文件夹", "导出诊断日志到桌面…"}, nullptr},
      // The test program keeps no session log: the export reports why it failed.
      {"menu key", [&] {
         PostMessageW(window_->WaveHandle(), WM_KEYDOWN, VK_APPS, 1);
         PostMessageW(window_->WaveHandle(), WM_KEYUP, VK_APPS, 1 | (1u << 30) | (1u << 31));
         test::Pump(*window_, 100);
       },
       "导出诊断日志到桌面…", {"打开日志文件夹", "导出诊断日志到桌面…"}, "导出诊断日志失败：日志模块还没初始化", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    std::string box;
    test::ChooseInNextMenu(c.pick, &seen, [&] {
      if (c.box) test::AnswerNextBox(true, &box);
    });
    c.open();
    test::Pump(*window_, 60);
    EXPECT_EQ(texts(), c.items);
    if (c.status) {
      EXPECT_EQ(Status().rfind(c.status, 0), 0u) << Status();
    }
    EXPECT_EQ(box.empty(), !c.box) << box;
  }
  // The choices were stored and shown.
  IniStore ini(dir / "VeskRecorder.ini");
  ini.Load();
  EXPECT_EQ(ini.GetString("ExportBitDepth"), "16");
  EXPECT_EQ(Text(Item(kIdBitrate)), "192kbps");
}

// WM_CLOSE reaches the controller's close question (what it asks about is
// the controller's test): No keeps the window and its edits, Yes closes it
// and the placement is in the settings file, where the next window finds it.
TEST_F(WindowMessagesTest, CloseAsksWhatWouldBeLostAndSavesThePlacement) {
  enum class Setup { Edited, Clean };
  struct Case {
    const char* what;
    Setup setup;
    bool maximize;
    std::vector<bool> answers;
    const char* firstBox;  // the first box's text starts so; nullptr: no box
    bool closed;
  } cases[] = {
      {"edited, No", Setup::Edited, false, {false}, "剪辑区有未导出的编辑结果，退出后会丢失。", false},
      {"edited, Yes", Setup::Edited, false, {true}, "剪辑区有未导出的编辑结果，退出后会丢失。", true},
      {"clean, maximised", Setup::Clean, true, {}, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScratchDir dir;
    Open(dir, {"Format=1", "BitDepth=16"});
    SetWindowPos(Main(), nullptr, 40, 30, 900, 700, SWP_NOZORDER | SWP_NOACTIVATE);
    test::Pump(*window_);
    if (c.setup == Setup::Edited) {
      ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(WriteTone(dir / "tone.wav")));
      Click(kIdSelectAll);
      Click(kIdSilence);
      ASSERT_TRUE(Doc().IsModified());
    }
    if (c.maximize) {
      ShowWindow(Main(), SW_MAXIMIZE);
      test::Pump(*window_);
    }
    std::string box;
    for (bool yes : c.answers) test::AnswerNextBox(yes, &box);
    SendMessageW(Main(), WM_CLOSE, 0, 0);
    test::Pump();
    if (c.firstBox) {
      EXPECT_EQ(box.rfind(c.firstBox, 0), 0u) << box;
    }
    EXPECT_EQ(window_->Handle() == nullptr, c.closed);
    if (!c.closed) {
      EXPECT_TRUE(Doc().IsModified());
      continue;
    }
    IniStore ini(dir / "VeskRecorder.ini");
    ini.Load();
    EXPECT_EQ(ini.GetString("MainRect"), "40,30,940,730");
    EXPECT_EQ(ini.GetString("MainMaxed"), c.maximize ? "1" : "0");
    // The next window comes up where this one was.
    window_.reset();
    Open(dir, {});
    RECT r{};
    GetWindowRect(Main(), &r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, 900);
    EXPECT_EQ(r.bottom - r.top, 700);
    EXPECT_EQ(window_->Controller().Settings().mainMaxed, c.maximize);
  }
}

}  // namespace
}  // namespace vesk::ui::win

namespace vesk::ui::win {
namespace {

// No plug-in installed: the switch renders with the built-in engine, its
// menu offers the engine and the noise sample, selection denoise and a WAV
// save go through it.
TEST_F(WindowMessagesTest, BuiltInDenoiseWithoutAPluginFromSwitchToSavedFile) {
  test::ScratchDir dir, noPlugins;
  _putenv_s("VESK_VST3_PATH", PathToUtf8(noPlugins.path()).c_str());
  Open(dir, {"Format=1"});
  // Two seconds of hiss, then tone bursts over it.
  std::vector<float> samples(48000 * 5);
  uint32_t seed = 7;
  for (size_t i = 0; i < samples.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    samples[i] = 0.01f * (float(seed >> 8) / float(1u << 23) - 1.0f);
    if (i >= 96000 && (i / 12000) % 2 == 1) samples[i] += 0.3f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000));
  }
  std::string error;
  ASSERT_TRUE(WriteWavFile(dir / "noisy.wav", AudioFormat{48000, 1, 16}, samples, error, 16)) << error;
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(dir / "noisy.wav"));

  Click(kIdDenoise);
  EXPECT_EQ(Text(Item(kIdDenoise)), "降噪 开");
  ASSERT_TRUE(test::PumpUntil(*window_, [&] { return Status().rfind("降噪已就绪", 0) == 0; }, 30000)) << Status();
  std::vector<test::MenuEntry> seen;
  test::ChooseInNextMenu("", &seen);
  DropDown(kIdDenoise);
  std::vector<std::string> items;
  for (const auto& e : seen) items.push_back(e.text);
  EXPECT_EQ(items, (std::vector<std::string>{"激进（降噪更深）", "均衡（默认力度）", "轻柔（降噪更浅）", "-", "引擎：内置降噪", "-",
                                             "把选区设为噪声样本"}));

  // The switch stays on, so every change starts a new background render
  // (whose status may follow at once): the samples tell what happened.
  const std::vector<float> before = Doc().CopySamples();
  Doc().SetSelection(120000, 168000);
  Click(kIdDenoiseSelection);
  ASSERT_EQ(Doc().CopySamples().size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 120000, Doc().CopySamples().begin()));
  EXPECT_FALSE(Doc().CopySamples() == before) << Status();
  Click(kIdUndo);
  EXPECT_TRUE(Doc().CopySamples() == before);
  ASSERT_TRUE(test::PumpUntil(*window_, [&] { return Status().rfind("降噪已就绪", 0) == 0; }, 30000)) << Status();

  const auto saved = dir.path() / PathFromUtf8("降噪后.wav");
  test::AcceptNextFileDialog(saved);
  SendMessageW(Item(kIdSaveWav), BM_CLICK, 0, 0);
  test::PumpUntil(*window_, [&] { return std::filesystem::exists(saved); }, 20000);
  test::Pump(*window_, 100);
  EXPECT_NE(Status().find("已降噪（内置降噪·均衡）"), std::string::npos) << Status();
  EXPECT_TRUE(test::SaveScreenshot(Main(), test::ScreenshotPath("main-window-builtin-denoise")));
  // The status line may end in "…"; its tooltip holds the whole text.
  HWND tip = nullptr;
  while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr && GetWindow(tip, GW_OWNER) != Main()) {
  }
  ASSERT_NE(tip, nullptr);
  wchar_t whole[2048] = {};
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = Main();
  ti.uId = reinterpret_cast<UINT_PTR>(test::KeyedView(*window_, "status"));
  ti.lpszText = whole;
  SendMessageW(tip, TTM_GETTEXTW, 2048, reinterpret_cast<LPARAM>(&ti));
  EXPECT_EQ(WideToUtf8(whole), Status());
  AudioDoc written;
  ASSERT_TRUE(written.Load(saved, error)) << error;
  const std::vector<float> back = written.CopySamples();
  ASSERT_EQ(back.size(), before.size());
  double in = 0, out = 0;
  for (size_t i = 24000; i < 72000; ++i) {
    in += double(before[i]) * before[i];
    out += double(back[i]) * back[i];
  }
  EXPECT_LT(out, 0.1 * in) << "the hiss before the bursts";
  _putenv_s("VESK_VST3_PATH", "");
}

}  // namespace
}  // namespace vesk::ui::win
