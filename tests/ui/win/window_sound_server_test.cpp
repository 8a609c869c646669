// The whole window over the system's sound engines, against the private
// PulseAudio daemon that scripts/wine-audio-check.sh starts (its microphone
// is a 440 Hz sine): record three seconds with the record button, cut a
// second with the mouse and the Delete key, play, save through the save
// dialog and open the result again through the open dialog.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <thread>

#include "audio/audio_backend.h"
#include "doc/audio_doc.h"
#include "platform/text.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "ui/win/wave_view_win.h"
#include "ui/win/window_harness.h"

namespace vesk::ui::win {
namespace {

using Clock = std::chrono::steady_clock;

void RecordCutPlaySaveAndOpen() {
  bool microphone = false;
  for (const DeviceEntry& e : CreateAudioDeviceBackend()->Enumerate())
    microphone = microphone || (!e.loopback && e.isDefault && e.state == kDeviceActive);
  ASSERT_TRUE(microphone) << "the sound server at " << getenv("PULSE_SERVER") << " offers no default microphone";

  ASSERT_TRUE(RegisterWindowClasses(GetModuleHandleW(nullptr)));
  test::ScratchDir dir;
  auto window = test::MakeWindow(true, test::WindowOptions(dir, {"Format=1", "BitDepth=16", "RecSource=0"}),
                                 CreateSystemAppParts());
  ASSERT_NE(window, nullptr);
  MainWindow& w = *window;
  test::Pump(w);
  HWND record = GetDlgItem(w.Handle(), kIdRecord);
  AppController& controller = w.Controller();
  const AudioDoc& doc = controller.Document();

  const auto beforeStart = Clock::now();
  SendMessageW(record, BM_CLICK, 0, 0);
  ASSERT_TRUE(controller.IsRecording()) << test::StatusText(w);
  const auto started = Clock::now();
  auto since = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
  EXPECT_EQ(WideToUtf8(WindowTextOf(record)), "■  停止录音");
  test::PumpUntil(w, [&] { return since() > 1.5; }, 3000);
  EXPECT_TRUE(test::SaveScreenshot(w.Handle(), test::ScreenshotPath("main-window-recording")));
  EXPECT_NE(WideToUtf8(WindowTextOf(test::KeyedView(w, "clock"))), "00:00:00.0");
  test::PumpUntil(w, [&] { return since() > 3.0; }, 3000);
  const double wall = since();
  SendMessageW(record, BM_CLICK, 0, 0);
  const double around = std::chrono::duration<double>(Clock::now() - beforeStart).count();
  ASSERT_FALSE(controller.IsRecording());
  EXPECT_EQ(test::StatusText(w).rfind("已保存并载入剪辑区：", 0), 0u) << test::StatusText(w);
  const double rate = doc.Format().sampleRate;
  const uint64_t recorded = doc.Frames();
  ASSERT_GT(rate, 0);
  std::printf("recorded %.3f s at %.0f Hz in %.3f s between the clicks\n", double(recorded) / rate, rate, wall);
  // About the time between the clicks: at least that, at most the time
  // around them plus what the sound server had buffered when capture began.
  EXPECT_GE(double(recorded) / rate, wall - 0.1);
  EXPECT_LE(double(recorded) / rate, around + 0.25) << "between the clicks " << wall << " s";
  test::Pump(w);

  // The take is loud everywhere: the envelope stands across the lane.
  RECT wr{};
  GetClientRect(w.WaveHandle(), &wr);
  const int width = wr.right;
  WaveScene scene = controller.Edit().Scene(wr.right, wr.bottom);
  ASSERT_FALSE(scene.lanes.empty());
  const EnvelopeLane lane = scene.lanes.front();
  const int yAbove = lane.top + lane.height * 3 / 10;  // 0.4 above the centre line (the tone is at 0.5)
  test::Capture shot = test::CaptureClient(w.WaveHandle());
  for (int x : {width / 5, width / 2, width * 4 / 5})
    EXPECT_EQ(shot.At(x, yAbove), wave_colors::kEnvelope) << "x " << x;

  // One second from a third of the way in, dragged with the mouse, then Delete.
  const int x1 = width / 3;
  const int x2 = x1 + int(std::lround(width * rate / double(recorded)));
  const int y = lane.top + lane.height / 2;
  auto mouse = [&](UINT msg, int x, WPARAM keys) {
    SendMessageW(w.WaveHandle(), msg, keys, MAKELPARAM(x, y));
    test::Pump(w, 20);
  };
  mouse(WM_LBUTTONDOWN, x1, MK_LBUTTON);
  mouse(WM_MOUSEMOVE, (x1 + x2) / 2, MK_LBUTTON);
  mouse(WM_MOUSEMOVE, x2, MK_LBUTTON);
  mouse(WM_LBUTTONUP, x2, 0);
  const uint64_t selected = doc.SelectionEnd() - doc.SelectionStart();
  EXPECT_NEAR(double(selected) / rate, 1.0, 0.02);
  auto key = [&](WPARAM vk) {
    PostMessageW(w.WaveHandle(), WM_KEYDOWN, vk, 1);
    PostMessageW(w.WaveHandle(), WM_KEYUP, vk, 1 | (1u << 30) | (1u << 31));
    test::Pump(w, 40);
  };
key(VK_DELETE);
  ASSERT_EQ(doc.Frames(), recorded - selected) << test::StatusText(w);

  // Space plays from the start through the server's speakers, and stops.
  HWND play = GetDlgItem(w.Handle(), kIdPlay);
  key(VK_HOME);
  key(VK_SPACE);
  EXPECT_EQ(WideToUtf8(WindowTextOf(play)), "■ 停止 (Space)");
  test::Pump(w, 700);
  const uint64_t head = controller.Edit().PlayHead();
  key(VK_SPACE);
  EXPECT_EQ(WideToUtf8(WindowTextOf(play)), "▶ 播放 (Space)");
  EXPECT_GT(double(head) / rate, 0.3) << "the play head moved while playing";
  EXPECT_LT(double(head) / rate, 1.5);

  // Saved through the save dialog, opened again through the open dialog.
  const auto saved = dir.path() / PathFromUtf8("剪辑后.wav");
test::AcceptNextFileDialog(saved);
SendMessageW(GetDlgItem(w.Handle(), kIdSaveWav), BM_CLICK, 0, 0);
  test::PumpUntil(w, [&] { return std::filesystem::exists(saved); }, 5000);
  ASSERT_TRUE(std::filesystem::exists(saved)) << test::StatusText(w);
  EXPECT_EQ(test::StatusText(w).rfind("已导出：", 0), 0u) << test::StatusText(w);
const uint64_t kept = doc.Frames();
test::AcceptNextFileDialog(saved);
SendMessageW(GetDlgItem(w.Handle(), kIdOpenMedia), BM_CLICK, 0, 0);
  test::Pump(w, 100);
  EXPECT_EQ(test::StatusText(w).rfind("已载入：剪辑后.wav", 0), 0u) << test::StatusText(w);
  EXPECT_TRUE(doc.SourcePath() == saved) << doc.SourcePath().string();
  EXPECT_NEAR(double(doc.Frames()), double(kept), rate * 0.001);
  EXPECT_TRUE(test::SaveScreenshot(w.Handle(), test::ScreenshotPath("main-window-after-open")));
}

TEST(WindowSoundServer, RecordsThreeSecondsCutsOnePlaysSavesAndOpensTheResult) {
  // A run without the daemon must not pass unnoticed: the whole suite runs
  // under scripts/wine-audio-check.sh.
  ASSERT_NE(getenv("PULSE_SERVER"), nullptr)
      << "no sound server: run the Windows tests under scripts/wine-audio-check.sh (scripts/run-tests.sh does)";
  // On a thread of its own in a single-threaded apartment, as the program's
  // window thread: the file dialogs need one, whatever earlier tests did to
  // this thread's COM.
  std::thread session([] {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    EXPECT_TRUE(SUCCEEDED(com));
    RecordCutPlaySaveAndOpen();
    if (SUCCEEDED(com)) CoUninitialize();
  });
  session.join();
}

}  // namespace
}  // namespace vesk::ui::win
