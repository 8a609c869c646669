// The Qt preview window over the real controller and decoder: a video made
// by the ffmpeg program is opened, button 1068 is clicked, and what the
// window paints is compared with the frames ffmpeg extracts.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <cmath>

#include "audio/memory_device_backend.h"
#include "audio/memory_streams.h"
#include "core/settings_store.h"
#include "support/qt/qt_rig.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "ui/qt/main_window_qt.h"
#include "ui/qt/preview_window_qt.h"
#include "ui/qt/wave_widget_qt.h"
#include "video/linux/video_media.h"

namespace vesk::ui::qt {
namespace {

class QtPreviewWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("ffmpeg missing");
    video_ = dir_ / "clip.mp4";
    test::Make("-f lavfi -i testsrc2=size=320x240:rate=30:duration=3 -f lavfi -i sine=d=3 -c:v libx264 -g 30 "
               "-pix_fmt yuv420p -c:a aac -shortest " + test::Q(video_));
    auto* backend = new MemoryDeviceBackend({{"mic1", "USB 麦克风", false, true, kDeviceActive},
                                             {"spk1", "扬声器", true, true, kDeviceActive}});
    AppParts parts;
    parts.devices.reset(backend);
    parts.microphone = std::make_unique<MemoryCaptureStream>(backend, 1);
    parts.loopback = std::make_unique<MemoryCaptureStream>(backend, 2);
    parts.playback = std::make_unique<MemoryPlaybackStream>(backend);
    window_ = std::make_unique<MainWindow>();
    controller_ = test::AttachController(*window_, std::move(parts), test::WindowOptions(dir_, {"Format=0", "PreviewRect=300,300,780,570"}));
    window_->Start();
    window_->setGeometry(0, 40, 800, 600);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  // The frame ffmpeg extracts at `seconds` (a frame start), RGB24 scaled to w × h.
  QImage Reference(double seconds, int w, int h) {
    const auto raw = dir_ / "ref.rgb";
    test::Make(vesk::Format("-ss %.6f -i %s -frames:v 1 -vf scale=%d:%d -f rawvideo -pix_fmt rgb24 %s",
                      std::max(0.0, seconds - 0.25 / 30), test::Q(video_).c_str(), w, h, test::Q(raw).c_str()));
    std::string bytes;
    ReadWholeFile(raw, bytes);
    if (bytes.size() != size_t(w) * h * 3) return {};
    return QImage(reinterpret_cast<const uchar*>(bytes.data()), w, h, w * 3, QImage::Format_RGB888).copy();
  }

  // Mean absolute difference of what the window shows against ffmpeg's
  // frame at the time of the picture shown.
  double ShownAgainstFfmpeg(PreviewWindow& preview) {
    const QRect area = preview.PictureRect();
    const QImage shown = preview.grab().toImage().convertToFormat(QImage::Format_RGB888).copy(area);
    const QImage expected = Reference(preview.Current()->frameTime, area.width(), area.height());
    if (shown.size() != expected.size() || shown.isNull()) return 255;
    double sum = 0;
    for (int y = 0; y < shown.height(); ++y) {
      const uchar* a = shown.constScanLine(y);
      const uchar* b = expected.constScanLine(y);
      for (int x = 0; x < shown.width() * 3; ++x) sum += std::abs(int(a[x]) - int(b[x]));
    }
    return sum / (double(shown.width()) * shown.height() * 3);
  }

  test::ScratchDir dir_;
  std::filesystem::path video_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<AppController> controller_;
};

TEST_F(QtPreviewWindow, ShowsTheFrameAtThePlayHeadAndSavesItsPlace) {
  auto* button = qobject_cast<QPushButton*>(window_->ControlById(kIdPreview));
  ASSERT_NE(button, nullptr);
  EXPECT_FALSE(button->isEnabled());
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(video_));
  ASSERT_TRUE(button->isEnabled());

  QTest::mouseClick(button, Qt::LeftButton);
  PreviewWindow* preview = window_->PreviewWidget();
  ASSERT_TRUE(preview->isVisible());
  EXPECT_EQ(button->text().toStdString(), "关闭预览");
  EXPECT_EQ(preview->geometry(), QRect(300, 300, 480, 270));
  ASSERT_TRUE(test::WaitFor([&] { return preview->Current() != nullptr; }, 5000));
  EXPECT_EQ(preview->Current()->frameTime, 0.0);
  // The picture fills the window's height with the video's shape.
  EXPECT_EQ(preview->PictureRect(), QRect(60, 0, 360, 270));
  EXPECT_LT(ShownAgainstFfmpeg(*preview), 3.0);

  // A click in the waveform moves the play head; the picture follows.
  WaveWidget* wave = window_->Wave();
  const QPoint middle(wave->width() * 3 / 5, wave->height() / 2);
  QTest::mouseClick(wave, Qt::LeftButton, {}, middle);
  const double seconds = window_->Controller().Edit().PictureSeconds();
  ASSERT_GT(seconds, 1.0);
  ASSERT_TRUE(test::WaitFor([&] { return std::abs(preview->Current()->frameTime - seconds) < 1.0 / 30; }, 5000));
  EXPECT_LT(ShownAgainstFfmpeg(*preview), 3.0);
  test::SaveScreen(*preview, "preview-window");
  test::SaveScreen(*window_, "main-preview-open");

  // Keys pressed while the preview is the active window reach the edit area.
  preview->activateWindow();
  QTest::keyClick(preview, Qt::Key_Space);
  EXPECT_TRUE(window_->Controller().Edit().Playing());
  QTest::keyClick(preview, Qt::Key_Space);
  EXPECT_FALSE(window_->Controller().Edit().Playing());

  // Its own close box: the button reads "预览视频" again and the place is saved.
  preview->setGeometry(320, 310, 480, 270);
  preview->close();
  EXPECT_FALSE(preview->isVisible());
  EXPECT_EQ(button->text().toStdString(), "预览视频");
  IniStore ini(dir_ / "VeskRecorder.ini");
  ini.Load();
  EXPECT_EQ(ini.GetString("PreviewRect"), "320,310,800,580");
}

}  // namespace
}  // namespace vesk::ui::qt
