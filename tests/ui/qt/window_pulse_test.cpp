// The whole window against the private PulseAudio daemon: record the
// microphone and the computer's sound with the record button (both tones
// end up in the take), cut a second out of it with the mouse and the Delete
// key, and save the rest as WAV through the dialog.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <thread>

#include "audio/linux/pulse_fixture.h"
#include "support/signal.h"
#include "doc/audio_doc.h"
#include "media/audio_loader.h"
#include "support/qt/qt_rig.h"
#include "ui/control_ids.h"
#include "ui/qt/main_window_qt.h"
#include "ui/qt/wave_widget_qt.h"

namespace vesk::ui::qt {
namespace {

using Clock = std::chrono::steady_clock;

class QtWindowPulse : public test::PulseTest {};

TEST_F(QtWindowPulse, RecordsThreeSecondsCutsOneAndSavesTheRestAsWav) {
  test::TonePlayer player(daemon_->Dir(), "Speakers", 1000, 30);
  ASSERT_TRUE(player.Ok());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  test::ScratchDir dir;
  MainWindow window;
  const auto controller =
      test::AttachController(window, CreateSystemAppParts(), test::WindowOptions(dir, {"Format=1", "BitDepth=16", "RecSource=2"}));
  window.Start();
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto status = [&] { return qobject_cast<QLabel*>(window.ViewByKey("status"))->text().toStdString(); };
  auto* record = qobject_cast<QPushButton*>(window.ControlById(kIdRecord));

  const auto beforeStart = Clock::now();
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(window.Controller().IsRecording()) << status();
  const auto started = Clock::now();
  auto since = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
  EXPECT_EQ(record->text().toStdString(), "■  停止录音");
  EXPECT_EQ(qobject_cast<QLabel*>(window.ViewByKey("meterInfo"))->text().toStdString(),
            "录音设备 48000 Hz ＋ 播放设备 48000 Hz → 混音 48000 Hz · 立体声 · WAV · 16 bit");
  test::WaitFor([&] { return since() > 1.5; }, 3000);
  test::SaveScreen(window, "main-recording");
  test::WaitFor([&] { return since() > 3.0; }, 3000);
  const double wall = since();
  QTest::mouseClick(record, Qt::LeftButton);
  const double around = std::chrono::duration<double>(Clock::now() - beforeStart).count();
  ASSERT_FALSE(window.Controller().IsRecording());
  EXPECT_EQ(status().rfind("已保存并载入剪辑区：", 0), 0u) << status();

  const AudioDoc& doc = window.Controller().Document();
  const double rate = doc.Format().sampleRate;
  const uint64_t recorded = doc.Frames();
  // At least the time between the clicks, at most the time around them.
  EXPECT_GE(double(recorded) / rate, wall - 0.15);
  EXPECT_LE(double(recorded) / rate, around + 0.15) << "between the clicks " << wall << " s";
  const size_t skip = size_t(rate / 2);
  const double floor = test::TonePower(doc.CopySamples(), 2, 0, rate, 2500, skip) + 1e-9;
  EXPECT_GT(test::TonePower(doc.CopySamples(), 2, 0, rate, 440, skip), 100 * floor);   // microphone
  EXPECT_GT(test::TonePower(doc.CopySamples(), 2, 0, rate, 1000, skip), 100 * floor);  // computer sound

  // One second from a third of the way in, dragged on the waveform.
  WaveWidget* wave = window.Wave();
  const int x1 = wave->width() / 3;
  const int x2 = x1 + int(std::lround(wave->width() * rate / double(recorded)));
  QTest::mousePress(wave, Qt::LeftButton, {}, QPoint(x1, wave->height() / 2));
  QTest::mouseMove(wave, QPoint((x1 + x2) / 2, wave->height() / 2));
  QTest::mouseMove(wave, QPoint(x2, wave->height() / 2));
  QTest::mouseRelease(wave, Qt::LeftButton, {}, QPoint(x2, wave->height() / 2));
  const uint64_t selected = doc.SelectionEnd() - doc.SelectionStart();
  EXPECT_NEAR(double(selected) / rate, 1.0, 0.01);
  QTest::keyClick(wave, Qt::Key_Delete);
  ASSERT_EQ(doc.Frames(), recorded - selected) << status();

  test::DialogScript script;
  const auto saved = dir / "剪辑后.wav";
  script.Then(test::DialogScript::AcceptFile(saved));
  QTest::mouseClick(window.ControlById(kIdSaveWav), Qt::LeftButton);
  ASSERT_TRUE(script.Done());
  ASSERT_TRUE(std::filesystem::exists(saved)) << status();
  test::SaveScreen(window, "main-after-save");

  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  ASSERT_TRUE(LoadAudioFile(saved, format, samples, error)) << error;
  const double seconds = double(samples.size() / format.channels) / format.sampleRate;
  EXPECT_NEAR(seconds, double(recorded) / rate - 1.0, 0.02);
}

}  // namespace
}  // namespace vesk::ui::qt
