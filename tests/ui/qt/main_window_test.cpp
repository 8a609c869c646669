// The Qt main window over the real controller.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/playback_stream.h"
#include "support/qt/qt_rig.h"
#include "support/test_support.h"
#include "ui/qt/main_window.h"

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

}  // namespace
}  // namespace vesk::ui::qt
