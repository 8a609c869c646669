// The one way to the screen: the window state computed from the facts, the
// diff the views apply, the port's status line, task queue and progress
// policy, and the right-click rule both windows follow.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/scripted_view.h"
#include "ui/control_ids.h"
#include "ui/wave_view_model.h"
#include "ui/window_port.h"
#include "ui/window_state.h"

namespace vesk::ui {
namespace {

TEST(WindowState, ControlRulesFollowTheFacts) {
  struct Case {
    const char* what;
    std::function<void(WindowFacts&)> facts;
    int id;
    bool enabled;
    const char* label;  // nullptr: not checked
    bool checked = false;
  } const cases[] = {
      {"idle, startable", [](WindowFacts&) {}, kIdRecord, true, "●  开始录音"},
      {"idle, no device", [](WindowFacts& f) { f.recordStartable = false; }, kIdRecord, false, "●  开始录音"},
      {"recording stops", [](WindowFacts& f) { f.recording = true, f.recordStartable = false; }, kIdRecord, true,
       "■  停止录音", true},
      {"pause needs a recording", [](WindowFacts&) {}, kIdPause, false, "⏸  暂停"},
      {"paused resumes", [](WindowFacts& f) { f.recording = f.paused = true; }, kIdPause, true, "▶  继续"},
      {"recording locks the devices", [](WindowFacts& f) { f.recording = true; }, kIdCaptureDevice, false, nullptr},
      {"MP3 has no depth", [](WindowFacts& f) { f.formatWav = false; }, kIdBitDepth, false, nullptr},
      {"WAV has no bit rate", [](WindowFacts& f) { f.formatWav = true; }, kIdBitrate, false, nullptr},
      {"play needs audio", [](WindowFacts&) {}, kIdPlay, false, "▶ 播放 (Space)"},
      {"playing stops", [](WindowFacts& f) { f.hasAudio = f.playing = true; }, kIdPlay, true, "■ 停止 (Space)", true},
      {"no edits while recording", [](WindowFacts& f) { f.hasAudio = f.recording = true; }, kIdDelete, false, nullptr},
      {"undo of an emptied clip", [](WindowFacts& f) { f.canUndo = true; }, kIdUndo, true, nullptr},
      {"preview without a picture", [](WindowFacts&) {}, kIdPreview, false, "预览视频"},
      {"open preview closes", [](WindowFacts& f) { f.previewOpen = true; }, kIdPreview, true, "关闭预览"},
  };
  for (const Case& c : cases) {
    WindowFacts facts;
    c.facts(facts);
    const WindowState state = ComputeWindowState(facts);
    const ControlState& s = state.Control(c.id);
    EXPECT_EQ(s.enabled, c.enabled) << c.what;
    EXPECT_EQ(s.checked, c.checked) << c.what;
    if (c.label) {
      EXPECT_EQ(s.label.value_or("-"), c.label) << c.what;
    }
  }
  WindowFacts f;
  f.bitrateKbps = 192, f.shownRate = 44100, f.recSource = RecordSource::Both;
  const WindowState s = ComputeWindowState(f);
  EXPECT_EQ(s.Control(kIdBitrate).selected, 2);
  EXPECT_EQ(s.Control(kIdSampleRate).selected, 0);
  EXPECT_EQ(s.Control(kIdRecordSource).selected, 2);
  EXPECT_FALSE(s.Control(kIdWebSite).label);  // not driven: MainLayout's
}

TEST(WindowState, DiffCarriesOnlyWhatChanged) {
  WindowFacts f;
  f.captureItems = {"默认", "USB 麦克风"};
  f.captureSelected = 0;
  const WindowState first = ComputeWindowState(f);
  const WindowChanges all = DiffWindowState(nullptr, first);
  EXPECT_EQ(all.controls.size(), first.controls.size());
  EXPECT_TRUE(all.repaintWave && all.repaintMeter && all.statusDetails);
  EXPECT_TRUE(DiffWindowState(&first, first).Empty());

  f.captureSelected = 1;  // selection alone
  f.playing = f.hasAudio = true;
  f.wavePaints = 1;
  f.status = "已载入";
  const WindowState next = ComputeWindowState(f);
  const WindowChanges d = DiffWindowState(&first, next);
  EXPECT_TRUE(d.repaintWave);
  EXPECT_FALSE(d.repaintMeter);
  ASSERT_EQ(d.texts.size(), 1u);
  EXPECT_EQ(d.texts[0].second, "已载入");
  for (const ControlChange& c : d.controls) {
    if (c.id == kIdCaptureDevice) {
      EXPECT_EQ(c.fields, unsigned(kFieldSelection));
    }
    if (c.id == kIdPlay) {
      EXPECT_EQ(c.fields, unsigned(kFieldLabel | kFieldEnabled | kFieldChecked));
    }
    EXPECT_NE(c.id, kIdRecord);
  }
  f.captureItems.push_back("耳机麦克风");  // new items carry their selection
  const WindowChanges items = DiffWindowState(&next, ComputeWindowState(f));
  ASSERT_EQ(items.controls.size(), 1u);
  EXPECT_EQ(items.controls[0].fields, unsigned(kFieldItems));
}

TEST(WindowPort, PostedWorkWaitsForTheProgressWindowAndOwnersThatAreGone) {
  test::ScriptedView view;
  int refreshes = 0;
  WindowPort port(view, view, [&] { ++refreshes; });
  std::string ran;
  LifeToken owner;
  port.PostToUi([&] { ran += "a"; });
  port.PostToUi(owner.Watched(), [&] { ran += "b"; });
  EXPECT_EQ(view.wakes, 2);
  port.ProgressBegin("正在导出", true);
  EXPECT_FALSE(port.RunPosted());  // nothing re-enters the work under the progress window
  owner.Renew();                   // what "b" belonged to started over
  port.ProgressEnd();
  EXPECT_EQ(view.wakes, 3);  // woken again for what waited
  EXPECT_TRUE(port.RunPosted());
  EXPECT_EQ(ran, "a");
  EXPECT_GT(refreshes, 0);  // the state reached the screen before the progress window

  port.Status("导出失败：写盘失败");
  EXPECT_TRUE(port.HasDetails());
  port.Status("就绪。");
  port.ShowBox(BoxKind::Warning, "导出", "磁盘满了");  // a warning's line has details too
  EXPECT_TRUE(port.OpenDetails());
  ASSERT_EQ(view.detailsBoxes.size(), 1u);
  EXPECT_EQ(view.detailsBoxes[0].text, "就绪。");
}

TEST(WaveViewModel, ARightClickOpensTheMenuUnlessItPans) {
  const auto release = [](WaveViewModel& m, bool pressFirst) {
    if (pressFirst) m.Mouse({MouseAction::Press, MouseButton::Right, 300, 50}, 1000, 200, false);
    return m.Mouse({MouseAction::Release, MouseButton::Right, 320, 50}, 1000, 200, false).contextMenu;
  };
  WaveViewModel empty;
  EXPECT_TRUE(release(empty, true));
  WaveViewModel whole;
  whole.ShowWhole(48000);
  EXPECT_TRUE(release(whole, true));
  WaveViewModel zoomed;
  zoomed.ShowWhole(48000);
  ASSERT_TRUE(zoomed.Wheel(3, 500, 1000));
  EXPECT_FALSE(release(zoomed, true));  // the right button panned the zoomed view
  EXPECT_FALSE(zoomed.Mouse({MouseAction::Release, MouseButton::Left, 10, 50}, 1000, 200, false).contextMenu);
}

}  // namespace
}  // namespace vesk::ui
