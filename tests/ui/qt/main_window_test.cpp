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

}  // namespace
}  // namespace vesk::ui::qt
