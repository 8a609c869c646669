// The video preview through the application controller, over a real video
// made by the ffmpeg program and the real decoder: the button follows the
// opened file, the window is placed from and saved to PreviewRect, and the
// pictures asked for follow the play head while playing, scrubbing and after
// cuts.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "doc/audio_doc.h"
#include "ui/controller_rig.h"
#include "ui/edit_area.h"
#include "ui/preview_controller.h"
#include "video/linux/video_media.h"

namespace vesk::test {
namespace {

using ui::kIdDelete;
using ui::kIdPlay;
using ui::kIdPreview;

class PreviewControllerTest : public VideoTest {
 protected:
  // 3 s of 320×240 at 30 fps with a tone, and a sound-only file.
  void SetUp() override {
    VideoTest::SetUp();
    if (IsSkipped()) return;
    video = dir.path() / "clip.mp4";
    Make("-f lavfi -i testsrc2=size=320x240:rate=30:duration=3 -f lavfi -i sine=d=3 -c:v libx264 -g 30 "
         "-pix_fmt yuv420p -c:a aac -shortest " + Q(video));
    sound = dir.path() / "tone.m4a";
    Make("-f lavfi -i sine=d=2 -c:a aac " + Q(sound));
  }

  // Lets the follower's pictures reach the window until `done` holds.
  static bool Deliver(ControllerRig& rig, const std::function<bool()>& done, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      rig.RunPosted();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Whether the window shows the frame on screen at `seconds` (30 fps from 0).
  static bool ShowsFrameAt(const ScriptedPreview& window, double seconds) {
    const double start = std::floor(seconds * 30 + 1e-6) / 30;
    return !window.pictures.empty() && std::abs(window.pictures.back()->frameTime - start) < 0.002;
  }
  static bool Enabled(ControllerRig& rig) { return rig.view.IsEnabled(kIdPreview); }
  static const std::string& Label(ControllerRig& rig) { return rig.view.controlTexts[kIdPreview]; }

  std::filesystem::path video, sound;
};

TEST_F(PreviewControllerTest, ButtonWindowAndPicturesFollowTheOpenedVideo) {
  ControllerRig rig({"Format=1", "BitDepth=16", "PreviewRect=200,150,680,440"});
  rig->Start();
  ScriptedPreview& window = rig.view.preview;
  ui::PreviewController& preview = rig->Preview();
  EXPECT_FALSE(Enabled(rig));
  EXPECT_EQ(Label(rig), "预览视频");
  rig->OnCommand(kIdPreview);  // nothing open: nothing happens
  EXPECT_FALSE(window.shown);

  ASSERT_TRUE(rig->Edit().OpenForEdit(sound));
  EXPECT_FALSE(Enabled(rig));
  ASSERT_TRUE(rig->Edit().OpenForEdit(video));
  EXPECT_TRUE(Enabled(rig));

  // Opened where it was saved, first picture at the play head (0 s), shaped
  // like the video inside the window.
  rig->OnCommand(kIdPreview);
  EXPECT_EQ(Label(rig), "关闭预览");
  ASSERT_TRUE(window.shown);
  EXPECT_EQ(window.shownAt, (WindowRect{200, 150, 680, 440}));
  ASSERT_TRUE(Deliver(rig, [&] { return !window.pictures.empty(); }));
  const PreviewPicture& first = *window.pictures.back();
  EXPECT_EQ(first.requested, 0.0);
  const PreviewSize box = window.ClientSize();
  EXPECT_TRUE(first.width == box.width || first.height == box.height);
  EXPECT_NEAR(double(first.width) / first.height, 320.0 / 240.0, 0.02);

  // Playing: every tick asks for the picture at the play head.
  rig->OnCommand(kIdPlay);
  ASSERT_TRUE(rig->Edit().Playing());
  for (int i = 0; i < 20; ++i) {
    rig.Run(33);
    EXPECT_DOUBLE_EQ(preview.State().requestedSeconds, rig->Edit().PictureSeconds());
    rig.RunPosted();
  }
  rig->OnCommand(kIdPlay);
  const double stopped = rig->Edit().PictureSeconds();
  EXPECT_GT(stopped, 0.3);
  rig.Run(33);
  ASSERT_TRUE(Deliver(rig, [&] { return ShowsFrameAt(window, stopped); }));

  // Scrubbing: a click in the middle of the waveform.
  for (const ui::MouseAction action : {ui::MouseAction::Press, ui::MouseAction::Release})
    rig->OnMouse({action, ui::MouseButton::Left, 400, 60}, 800, 200);
  rig.Run(33);
  const double scrubbed = rig->Edit().PictureSeconds();
  EXPECT_GT(scrubbed, 1.0);
  EXPECT_LT(scrubbed, 2.0);
  ASSERT_TRUE(Deliver(rig, [&] { return ShowsFrameAt(window, scrubbed); }));

  // A cut of [1 s, 2 s): playback runs on the source timeline through the
  // deleted second and the picture goes with it; stopped in there, the play
  // head sits where the kept audio goes on, whose picture is the source's 2 s.
  AudioDoc& doc = rig->Document();
  const uint32_t rate = doc.Format().sampleRate;
  doc.SetSelection(rate, 2 * rate);
  rig->OnCommand(kIdDelete);
  rig->OnKey({ui::Key::Home});
  rig->OnCommand(kIdPlay);
  ASSERT_TRUE(rig->Edit().PlayingFullLength());
  // Followed tick by tick, so a slow machine cannot carry it past the second.
  ASSERT_TRUE(rig.RunUntil(5000, [&] { return preview.State().requestedSeconds < 1.0; }));
  ASSERT_TRUE(rig.RunUntil(5000, [&] { return preview.State().requestedSeconds > 1.05; }));
  EXPECT_LT(preview.State().requestedSeconds, 1.95);
  rig->OnCommand(kIdPlay);
  rig.Run(33);
  EXPECT_NEAR(preview.State().requestedSeconds, 2.0, 1e-9);
  ASSERT_TRUE(Deliver(rig, [&] { return ShowsFrameAt(window, 2.0); }));

  // A move is saved once the window rests; the close box saves and resets the label.
  window.MoveTo({300, 200, 780, 490});
  rig.Tick(3);
  EXPECT_EQ(rig.Ini("PreviewRect"), "200,150,680,440");
  rig.Tick(18);
  EXPECT_EQ(rig.Ini("PreviewRect"), "300,200,780,490");
  window.MoveTo({320, 220, 800, 510});
  window.ClickClose();
  EXPECT_FALSE(window.shown);
  EXPECT_EQ(Label(rig), "预览视频");
  EXPECT_EQ(rig.Ini("PreviewRect"), "320,220,800,510");
  // Closed: no picture arrives any more.
  const size_t pictures = window.pictures.size();
  rig.Run(100);
  rig.RunPosted();
  EXPECT_EQ(window.pictures.size(), pictures);

  // Opened again at the saved place; the button closes it too.
  rig->OnCommand(kIdPreview);
  EXPECT_EQ(window.shownAt, (WindowRect{320, 220, 800, 510}));
  rig->OnCommand(kIdPreview);
  EXPECT_FALSE(window.shown);

  // Another file closes an open preview; a sound-only one disables the button.
  rig->OnCommand(kIdPreview);
  ASSERT_TRUE(rig->Edit().OpenForEdit(sound));
  EXPECT_FALSE(window.shown);
  EXPECT_FALSE(Enabled(rig));
  EXPECT_EQ(Label(rig), "预览视频");

  // A recording empties the edit area: the preview closes, and the button
  // stays off for the recording loaded afterwards.
  ASSERT_TRUE(rig->Edit().OpenForEdit(video));
  rig->OnCommand(kIdPreview);
  ASSERT_TRUE(window.shown);
  rig->OnCommand(ui::kIdRecord);
  ASSERT_TRUE(rig->IsRecording());
  EXPECT_FALSE(window.shown);
  EXPECT_FALSE(Enabled(rig));
  rig.Run(300);
  rig->OnCommand(ui::kIdRecord);
  ASSERT_FALSE(rig->IsRecording());
  EXPECT_GT(rig->Document().Frames(), 0u);
  EXPECT_FALSE(Enabled(rig));

  // At exit the open preview's place is saved.
  ASSERT_TRUE(rig->Edit().OpenForEdit(video));
  rig->OnCommand(kIdPreview);
  window.frame = {10, 20, 490, 310};
  rig->Shutdown(std::nullopt);
  EXPECT_EQ(rig.Ini("PreviewRect"), "10,20,490,310");
  EXPECT_FALSE(window.shown);
}

}  // namespace
}  // namespace vesk::test
