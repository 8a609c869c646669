// The Qt main window over the real controller.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QTest>
#include <QThread>
#include <thread>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/playback_stream.h"
#include "support/qt/qt_rig.h"
#include "support/test_support.h"
#include "media/wav_sink.h"
#include "ui/edit_area.h"
#include "ui/qt/main_window.h"
#include "ui/qt/wave_widget.h"

namespace vesk::ui::qt {
namespace {

class QtMainWindow : public ::testing::Test {
 protected:
  void Open() {
    window_ = std::make_unique<MainWindow>(CreateSystemAppParts(), AppOptions{});
    window_->Start();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  std::unique_ptr<MainWindow> window_;
};

TEST_F(QtMainWindow, Empty) {
  Open();
  test::SaveScreen(*window_, "main-empty");
}

// The dialogs behind the controller's questions, pickers and long work.
TEST_F(QtMainWindow, AnswersQuestionsPicksFilesAndKeepsTheWindowAliveUnderProgress) {
  Open();
  MainWindow& w = *window_;
  test::DialogScript script;

  // A question starts on its default button; Escape never answers Yes.
  script.Then(test::DialogScript::PressKey(Qt::Key_Return));
  EXPECT_EQ(w.ShowBox(BoxKind::Question, "t", "q1", BoxButtons::YesNo, BoxAnswer::No), BoxAnswer::No);
  script.Then(test::DialogScript::PressKey(Qt::Key_Return));
  EXPECT_EQ(w.ShowBox(BoxKind::Question, "t", "q2", BoxButtons::YesNo, BoxAnswer::Yes), BoxAnswer::Yes);
  script.Then(test::DialogScript::PressKey(Qt::Key_Escape));
  EXPECT_EQ(w.ShowBox(BoxKind::Question, "t", "q3", BoxButtons::YesNo, BoxAnswer::Yes), BoxAnswer::No);

  // A save name typed without an extension gets the filter's; cancel picks nothing.
  test::ScratchDir dir;
  FileDialogRequest save{true, "另存为", dir.path(), "录音.wav", {{"WAV 文件", {"wav"}}}};
  std::filesystem::path chosen;
  script.Then(test::DialogScript::AcceptFile(dir / "剪辑"));
  ASSERT_TRUE(w.PickFile(save, chosen));
  EXPECT_EQ(chosen, dir / "剪辑.wav");
  script.Then(test::DialogScript::CancelDialog());
  EXPECT_FALSE(w.PickFile(save, chosen));
  ASSERT_TRUE(script.Done());

  // Under the progress window the main window refuses to close and takes
  // no input; cancel is seen by the next step.
  w.ProgressBegin("正在保存", true);
  EXPECT_TRUE(w.ProgressStep(10, "写入…"));
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  auto* progress = w.findChild<QProgressDialog*>("progress");
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(QApplication::activeModalWidget(), progress);
  QTest::keyClick(progress, Qt::Key_Escape);
  EXPECT_FALSE(w.ProgressStep(20, "写入…"));
  w.ProgressEnd();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // Work finished on another thread runs on the window's thread.
  QThread* ran = nullptr;
  std::thread worker([&] { w.PostToUi([&] { ran = QThread::currentThread(); }); });
  worker.join();
  EXPECT_TRUE(test::WaitFor([&] { return ran != nullptr; }, 2000));
  EXPECT_EQ(ran, QApplication::instance()->thread());
}

// A stereo WAV: `quiet` seconds of near silence, then `loud` seconds of a
// 440 Hz tone at 0.8.
std::filesystem::path WriteClip(const test::ScratchDir& dir, double quiet, double loud) {
  const AudioFormat format{48000, 2, 16};
  const size_t quietFrames = size_t(quiet * 48000), frames = quietFrames + size_t(loud * 48000);
  std::vector<float> samples(frames * 2);
  for (size_t i = quietFrames; i < frames; ++i)
    samples[2 * i] = samples[2 * i + 1] = 0.8f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
  const auto path = dir / "clip.wav";
  std::string error;
  EXPECT_TRUE(WriteWavFile(path, format, samples, error, 16)) << error;
  return path;
}

QRgb Rgb(unsigned c) { return qRgb((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

// The waveform of a real clip: envelope only where it is loud, the selection
// a drag made between the right x, the play head, and the scroll strip once
// the wheel zoomed in.
TEST_F(QtMainWindow, PaintsTheEnvelopeSelectionPlayHeadAndScrollStripOfAnOpenedClip) {
  Open();
  test::ScratchDir dir;
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(WriteClip(dir, 2.0, 2.0)));
  WaveWidget& wave = *window_->Wave();
  const int w = wave.width(), h = wave.height();

  QTest::mousePress(&wave, Qt::LeftButton, {}, QPoint(80, h / 2));
  QTest::mouseMove(&wave, QPoint(200, h / 2));
  QTest::mouseRelease(&wave, Qt::LeftButton, {}, QPoint(200, h / 2));
  WaveScene scene = window_->Controller().Edit().Scene(w, h);
  ASSERT_TRUE(scene.hasSelection);
  EXPECT_NEAR(scene.selectionLeft, 80, 1);
  EXPECT_NEAR(scene.selectionRight, 200, 1);
  ASSERT_FALSE(scene.lanes.empty());
  test::SaveScreen(*window_, "main-clip-selection");

  QImage image = wave.grab().toImage();
  const EnvelopeLane& lane = scene.lanes[0];
  const int nearTop = lane.top + lane.height / 5;
  const QRgb background = Rgb(wave_colors::kBackground);
  EXPECT_EQ(image.pixel(w * 3 / 4, nearTop), Rgb(wave_colors::kEnvelope)) << "loud half";
  EXPECT_EQ(image.pixel(w * 3 / 8, nearTop), background) << "quiet half outside the selection";
  EXPECT_GT(qGray(image.pixel(140, nearTop)), qGray(background) + 20) << "inside the selection";
  EXPECT_EQ(image.pixel(204, nearTop), background) << "right of the selection";
  ASSERT_TRUE(scene.hasPlayHead);
  EXPECT_EQ(image.pixel(scene.playHeadX, lane.top + 2), Rgb(wave_colors::kPlayHead));
  EXPECT_FALSE(scene.hasScrollStrip);

  QWheelEvent zoomIn(QPointF(w / 2, h / 2), wave.mapToGlobal(QPointF(w / 2, h / 2)), {}, QPoint(0, 3 * 120),
                     Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&wave, &zoomIn);
  scene = window_->Controller().Edit().Scene(w, h);
  ASSERT_TRUE(scene.hasScrollStrip);
  image = wave.grab().toImage();
  const LayoutRect& thumb = scene.scrollThumb;
  EXPECT_EQ(image.pixel(thumb.x + thumb.w / 2, thumb.y + thumb.h / 2), Rgb(wave_colors::kScrollThumb));
  const int beside = thumb.x > 20 ? thumb.x - 8 : thumb.x + thumb.w + 8;
  EXPECT_EQ(image.pixel(beside, thumb.y + thumb.h / 2), Rgb(wave_colors::kScrollTrack));
  test::SaveScreen(*window_, "main-clip-zoomed");
}

}  // namespace
}  // namespace vesk::ui::qt
