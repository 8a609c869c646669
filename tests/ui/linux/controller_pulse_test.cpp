// The controller records from both sources of the private PulseAudio
// daemon through the real capture streams, mixer and sink, and the edit
// area ends up holding the recording.
#include <chrono>
#include <thread>

#include "support/signal.h"
#include "audio/linux/pulse_fixture.h"
#include "doc/audio_doc.h"
#include "platform/text.h"
#include "record/recording_session.h"
#include "ui/app_controller.h"
#include "ui/app_parts.h"
#include "ui/control_ids.h"
#include "support/scripted_view.h"

namespace vesk {
namespace {

using Clock = std::chrono::steady_clock;
using test::PulseTest;

TEST_F(PulseTest, ControllerRecordsThreeSecondsFromBothSources) {
  test::TonePlayer player(daemon_->Dir(), "Speakers", 1000, 30);
  ASSERT_TRUE(player.Ok());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  test::ScratchDir dir;
  const std::string ini = "[VeskRecorder]\r\nRecSource=2\r\nFormat=1\r\nBitDepth=16\r\n";
  test::WriteBytes(dir.path() / "VeskRecorder.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
  test::ScriptedView view;
  ui::AppOptions options;
  options.settingsFile = dir.path() / "VeskRecorder.ini";
  options.settingsEnvironment = {dir.path(), dir.path()};
  options.scanPlugins = false;
  ui::AppController controller(ui::CreateSystemAppParts(), view, view, options);
  controller.Start();
  EXPECT_EQ(view.Status(), "就绪。选好声音来源，点「开始录音」。");
  EXPECT_EQ(view.combos[ui::kIdCaptureDevice].items.at(0), "系统默认-Microphone");

  const auto beforeStart = Clock::now();
  controller.OnCommand(ui::kIdRecord);
  ASSERT_TRUE(controller.IsRecording()) << view.Status();
  const auto started = Clock::now();
  EXPECT_EQ(view.texts[ui::TextView::MeterInfo], "录音设备 48000 Hz ＋ 播放设备 48000 Hz → 混音 48000 Hz · 立体声 · WAV · 16 bit");
  while (Clock::now() - started < std::chrono::seconds(3)) {
    controller.OnTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(33));
  }
  const double wall = std::chrono::duration<double>(Clock::now() - started).count();
  controller.OnCommand(ui::kIdRecord);
  const double around = std::chrono::duration<double>(Clock::now() - beforeStart).count();
  ASSERT_FALSE(controller.IsRecording());
  EXPECT_EQ(view.Status().rfind("已保存并载入剪辑区：" + PathToUtf8(controller.LastRecording()), 0), 0u)
      << view.Status();
  EXPECT_TRUE(view.boxes.empty());

  const AudioDoc& doc = controller.Document();
  ASSERT_EQ(doc.Format().channels, 2);
  const double seconds = double(doc.Frames()) / doc.Format().sampleRate;
  // At least the time between the calls, at most the time around them.
  EXPECT_GE(seconds, wall - 0.1);
  EXPECT_LE(seconds, around + 0.1) << "between the calls " << wall << " s";
  const double rate = doc.Format().sampleRate;
  const size_t skip = size_t(rate / 2);
  const double floor = test::TonePower(doc.Samples(), 2, 0, rate, 2500, skip) + 1e-9;
  EXPECT_GT(test::TonePower(doc.Samples(), 2, 0, rate, 440, skip), 100 * floor);   // microphone
  EXPECT_GT(test::TonePower(doc.Samples(), 2, 0, rate, 1000, skip), 100 * floor);  // loopback
}

}  // namespace
}  // namespace vesk
