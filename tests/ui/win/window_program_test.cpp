// VeskRecorder.exe itself under Wine, driven from outside as a person would
// through its windows: it comes up with the whole window, records from the
// private PulseAudio daemon's microphone, saves through the save dialog,
// opens the result through the open dialog and ends cleanly on close. Screenshots of the screen go to build/win64/screens/.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/text.h"
#include "support/test_support.h"
#include "ui/control_ids.h"
#include "ui/win/window_harness.h"

namespace vesk::ui::win {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A window's text through WM_GETTEXT, which the system carries across processes.
std::string TextOf(HWND h) {
  wchar_t text[1024] = {};
  SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return WideToUtf8(text);
}

// The program's visible top-level window of class `cls` ("#32770": a dialog).
HWND WindowOfProcess(DWORD pid, const wchar_t* cls) {
  struct Find {
    DWORD pid;
    const wchar_t* cls;
    HWND found = nullptr;
  } find{pid, cls};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<Find*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == f->pid && IsWindowVisible(h) && ClassOf(h) == f->cls) {
          f->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&find));
  return find.found;
}

class ProgramWindow {
 public:
  // `file`: a file named on the command line ("Open with").
  explicit ProgramWindow(const std::filesystem::path& exe, const std::filesystem::path& file = {}) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring line = L"\"" + exe.wstring() + L"\"";
    if (!file.empty()) line += L" \"" + file.wstring() + L"\"";
    started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, exe.parent_path().c_str(),
                              &si, &pi_);
    if (started_) WaitFor([&] { return (main_ = WindowOfProcess(pi_.dwProcessId, kMainClass)) != nullptr; }, 20000);
  }
  ~ProgramWindow() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }

  HWND Main() const { return main_; }
  HWND Item(int id) const { return GetDlgItem(main_, id); }
  std::string Status() const {
    // The status line is the one text below the waveform.
    RECT wave{};
    GetWindowRect(Wave(), &wave);
    for (HWND c = GetWindow(main_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      RECT r{};
      GetWindowRect(c, &r);
      if (r.top >= wave.bottom && ClassOf(c) == L"Static") return TextOf(c);
    }
    return {};
  }
  HWND Wave() const { return FindWindowExW(main_, nullptr, kWaveClass, nullptr); }
  void Click(int id) { PostMessageW(Item(id), BM_CLICK, 0, 0); }
  bool WaitStatus(const std::string& prefix, int ms = 5000) {
    return WaitFor([&] { return Status().rfind(prefix, 0) == 0; }, ms);
  }
  // Fills in and accepts the file dialog the program shows next.
  bool AnswerFileDialog(const std::filesystem::path& file) {
    HWND dialog = nullptr;
    std::vector<HWND> edits;
    // The dialog fills itself in after it appears: wait until its name field
    // shows and its OK button takes clicks.
    const bool ready = WaitFor(
        [&] {
          dialog = WindowOfProcess(pi_.dwProcessId, L"#32770");
          if (dialog == nullptr) return false;
          const HWND ok = GetDlgItem(dialog, IDOK);
          if (ok == nullptr || !IsWindowEnabled(ok)) return false;
          edits.clear();
          EnumChildWindows(
              dialog,
              [](HWND h, LPARAM lp) -> BOOL {
                if (ClassOf(h) == L"Edit" && IsWindowVisible(h))
                  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
                return TRUE;
              },
              reinterpret_cast<LPARAM>(&edits));
          return !edits.empty();
        },
        10000);
    if (!ready) return false;
    const std::wstring path = file.wstring();
    for (HWND e : edits)
      SendMessageTimeoutW(e, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return WaitFor([&] { return !IsWindow(dialog); }, 10000);
  }
  bool Shot(const std::string& name) const {
    RECT r{};
    GetWindowRect(main_, &r);
    return test::SavePng(test::CaptureScreen(r), test::ScreenshotPath(name));
  }
  // Exit code, or -1 when the program did not end within `ms`.
  int WaitExit(int ms) {
    if (WaitForSingleObject(pi_.hProcess, DWORD(ms)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return int(code);
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION pi_{};
  HWND main_ = nullptr;
};

TEST(WindowProgram, ShowsRecordsSavesOpensAndClosesCleanly) {
  ASSERT_NE(getenv("PULSE_SERVER"), nullptr)
      << "no sound server: run the Windows tests under scripts/wine-audio-check.sh (scripts/run-tests.sh does)";
  test::ScratchDir dir;
  ProgramWindow app(vesk::test::BuiltProgramDir() / vesk::test::ProgramFileName("VeskRecorder"));
  ASSERT_NE(app.Main(), nullptr) << "VeskRecorder.exe showed no main window";
  EXPECT_EQ(TextOf(app.Main()), AppController::WindowTitle());
  ASSERT_TRUE(app.WaitStatus("就绪。"));
  EXPECT_EQ(TextOf(app.Item(kIdRecord)), "●  开始录音");
  // Let the first paint settle before the screen is read.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(app.Shot("program-start"));

  // Wine has no MP3 encoder: WAV from the format list, as a person picks it.
  SendMessageW(app.Item(kIdFormat), CB_SETCURSEL, 1, 0);
  PostMessageW(app.Main(), WM_COMMAND, MAKEWPARAM(kIdFormat, CBN_SELCHANGE), reinterpret_cast<LPARAM>(app.Item(kIdFormat)));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(app.Item(kIdBitDepth)); }, 3000)) << "WAV enables the bit depth";
  app.Click(kIdRecord);
  ASSERT_TRUE(WaitFor([&] { return TextOf(app.Item(kIdRecord)) == "■  停止录音"; }, 5000)) << app.Status();
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  EXPECT_TRUE(app.Shot("program-recording"));
  app.Click(kIdRecord);
  ASSERT_TRUE(app.WaitStatus("已保存并载入剪辑区：")) << app.Status();

  // Selecting, cutting and playing in this window over the same sound
  // server: window_sound_server_test.cpp. Here the program's own take goes
  // out through its save dialog and comes back through its open dialog.
  const auto saved = dir.path() / PathFromUtf8("程序剪辑.wav");
  app.Click(kIdSaveWav);
  ASSERT_TRUE(app.AnswerFileDialog(saved)) << "the save dialog did not come and go";
  ASSERT_TRUE(app.WaitStatus("已导出：")) << app.Status();
  EXPECT_TRUE(std::filesystem::exists(saved));
  app.Click(kIdOpenMedia);
  ASSERT_TRUE(app.AnswerFileDialog(saved)) << "the open dialog did not come and go";
  EXPECT_TRUE(app.WaitStatus("已载入：程序剪辑.wav")) << app.Status();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(app.Shot("program-opened"));

  // Nothing is left unexported: the window closes without a question.
  PostMessageW(app.Main(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitExit(10000), 0);

  // A file named on the command line opens once the window is up.
  ProgramWindow second(vesk::test::BuiltProgramDir() / vesk::test::ProgramFileName("VeskRecorder"), saved);
  ASSERT_NE(second.Main(), nullptr);
  EXPECT_TRUE(second.WaitStatus("已载入：程序剪辑.wav")) << second.Status();
  PostMessageW(second.Main(), WM_CLOSE, 0, 0);
  EXPECT_EQ(second.WaitExit(10000), 0);
}

}  // namespace
}  // namespace vesk::ui::win
