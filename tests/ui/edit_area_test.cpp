// The edit area over a real document: keys, edit commands, mouse gestures,
// the play command and the scenes it hands the views.
#include <gtest/gtest.h>

#include <filesystem>

#include "doc/doc_test_clips.h"
#include "media/wav_sink.h"
#include "support/test_support.h"
#include "record/play_head_servo.h"
#include "ui/control_ids.h"
#include "ui/edit_rig.h"
#include "ui/source_timeline.h"
#include "ui/wave_scene_build.h"

namespace vesk::ui {
namespace {

using test::EditRig;

constexpr const char* kLoopText =
    "循环播放选区中 —— 按「■ 停止 (Space)」或空格键结束；点选区内跳位置，点选区外吸附回循环。";

// Keys on a 10-second 48 kHz clip, one case per rule: where the selection
// and the play head end up and what the status line says.
TEST(EditKeys, FollowTheirRulesInOrder) {
  struct Case {
    const char* what;
    uint64_t selStart, selEnd, head;
    FocusKind focus;
    KeyEvent key;
    bool handled;
    uint64_t wantStart, wantEnd, wantHead;
    const char* status;  // nullptr: unchanged
  };
  const KeyEvent left{Key::Left}, right{Key::Right}, shiftLeft{Key::Left, false, true},
      shiftRight{Key::Right, false, true};
  const Case cases[] = {
      {"→ extends the end by 10 ms", 1000, 2000, 0, FocusKind::Wave, right, true, 1000, 2480, 0,
       "选区 0:00.021 – 0:00.052（长 0:00.031）。←/→ 调末尾，Shift+←/→ 调开头。"},
      {"Shift+← moves the start", 1000, 2000, 0, FocusKind::Wave, shiftLeft, true, 520, 2000, 0, nullptr},
      {"Shift+→ cannot empty the selection", 1999, 2000, 0, FocusKind::Wave, shiftRight, true, 1999, 2000, 0,
       "选区已经挪到头了（左端到 0 / 右端到末尾 / 再挪选区就空了）。"},
      {"← keeps one frame", 1000, 1100, 0, FocusKind::Wave, left, true, 1000, 1001, 0, nullptr},
      {"→ stops at the end", 1000, 480000, 0, FocusKind::Wave, right, true, 1000, 480000, 0,
       "选区已经挪到头了（左端到 0 / 右端到末尾 / 再挪选区就空了）。"},
      {"→ moves the play head by a hundredth of the view", 0, 0, 1000, FocusKind::Wave, right, true, 0, 0, 5800,
       "播放头 0:00.121。框选一段之后，←/→ 就变成微调选区边界。"},
      {"← stops at 0", 0, 0, 100, FocusKind::Wave, left, true, 0, 0, 0, nullptr},
      {"← at 0", 0, 0, 0, FocusKind::Wave, left, true, 0, 0, 0, "播放头已经在开头了。"},
      {"→ at the end", 0, 0, 480000, FocusKind::Wave, right, true, 0, 0, 480000, "播放头已经在末尾了。"},
      {"arrows repeat", 0, 0, 0, FocusKind::Wave, {Key::Right, false, false, true}, true, 0, 0, 4800, nullptr},
      {"↑ with a selection",
       10,
       20,
       0,
       FocusKind::Wave,
       {Key::Up},
       true,
       10,
       20,
       0,
       "已经有选区了：←/→ 调选区末尾，Shift+←/→ 调开头，Esc 清除选区。"},
      {"↓ without",
       0,
       0,
       0,
       FocusKind::Wave,
       {Key::Down},
       true,
       0,
       0,
       0,
       "←/→ 挪播放头。想微调选区边界，先在波形上框选一段。"},
      {"Esc clears", 10, 20, 0, FocusKind::Wave, {Key::Escape}, true, 0, 0, 0, "已清除选区。"},
      {"Delete without a selection",
       0,
       0,
       0,
       FocusKind::Wave,
       {Key::Delete},
       true,
       0,
       0,
       0,
       "请先在波形上拖出一段选区。"},  // the Delete button's own check
      {"Home", 0, 0, 9000, FocusKind::Wave, {Key::Home}, true, 0, 0, 0, "已回到开头 0:00，空格从头播放。"},
      {"End", 0, 0, 9000, FocusKind::Wave, {Key::End}, true, 0, 0, 480000, "已跳到末尾。"},
      {"Ctrl+A", 0, 0, 0, FocusKind::Wave, {Key::A, true}, true, 0, 480000, 0, nullptr},
      {"A alone is not ours", 0, 0, 0, FocusKind::Wave, {Key::A}, false, 0, 0, 0, nullptr},
      {"Ctrl+Z with nothing to undo", 0, 0, 0, FocusKind::Wave, {Key::Z, true}, true, 0, 0, 0, "没有可撤销的操作了。"},
      {"Ctrl+Y with nothing to redo",
       0,
       0,
       0,
       FocusKind::Wave,
       {Key::Y, true},
       true,
       0,
       0,
       0,
       "没有可重做的操作了（做过新编辑之后，旧的重做记录就作废了）。"},
      {"Ctrl+Shift+Z is redo",
       0,
       0,
       0,
       FocusKind::Wave,
       {Key::Z, true, true},
       true,
       0,
       0,
       0,
       "没有可重做的操作了（做过新编辑之后，旧的重做记录就作废了）。"},
      {"a repeated Delete is swallowed",
       0,
       0,
       0,
       FocusKind::Wave,
       {Key::Delete, false, false, true},
       true,
       0,
       0,
       0,
       nullptr},
      {"a text field keeps Delete", 10, 20, 0, FocusKind::TextField, {Key::Delete}, false, 10, 20, 0, nullptr},
      {"a text field keeps the arrows", 10, 20, 0, FocusKind::TextField, right, false, 10, 20, 0, nullptr},
      {"a drop-down keeps Space", 0, 0, 0, FocusKind::DropDown, {Key::Space}, false, 0, 0, 0, nullptr},
      {"a drop-down keeps only Space", 10, 20, 0, FocusKind::DropDown, {Key::Escape}, true, 0, 0, 0, "已清除选区。"},
  };
  for (const Case& c : cases) {
    EditRig rig;
    rig.Load(test::Constant(480000, 2, 0.25f));
    EditAreaTestAccess::SetPlayHead(rig.area, c.head);
    rig.doc.SetSelection(c.selStart, c.selEnd);
    rig.window.port.Status("(before)");
    rig.view.focus = c.focus;
    EXPECT_EQ(rig.Key(c.key.key, c.key.ctrl, c.key.shift, c.key.autoRepeat), c.handled) << c.what;
    EXPECT_EQ(rig.doc.SelectionStart(), c.wantStart) << c.what;
    EXPECT_EQ(rig.doc.SelectionEnd(), c.wantEnd) << c.what;
    EXPECT_EQ(rig.area.PlayHead(), c.wantHead) << c.what;
    if (c.status) {
      EXPECT_EQ(rig.Status(), c.status) << c.what;
    }
  }
}

void Wheel(EditRig& rig, int steps, int x) {
  rig.area.OnWheel(WheelEvent{steps, x, 50}, EditRig::kWidth, EditRig::kHeight);
}

TEST(EditCommands, ApplyTheirDocumentCallStatusPlayHeadAndView) {
  EditRig rig;
  rig.Load(test::Ramp(480000, 2));
  Wheel(rig, 3, 500);  // zoomed in
  const uint64_t zoom = rig.area.View().ZoomSpan();
  ASSERT_LT(zoom, 480000u);
  EditAreaTestAccess::SetPlayHead(rig.area, 200000);

  rig.doc.SetSelection(48000, 96000);
  rig.area.HandleCommand(kIdDelete);
  EXPECT_EQ(rig.Status(), "已删除选区。");
  EXPECT_EQ(rig.doc.Frames(), 432000u);
  EXPECT_EQ(rig.area.PlayHead(), 48000u);
  EXPECT_EQ(rig.area.View().ZoomSpan(), zoom);
  EXPECT_TRUE(rig.State().Control(kIdUndo).enabled);
  EXPECT_FALSE(rig.State().Control(kIdRedo).enabled);
  EXPECT_EQ(rig.area.InfoLine(), "0:01.000 / 0:09.000　无选区　48000 Hz　立体声　16bit");

  rig.doc.SetSelection(0, 1000);
  rig.area.HandleCommand(kIdSilence);
  EXPECT_EQ(rig.Status(), "选区已静音。");
  EXPECT_EQ(rig.doc.CopySamples()[0], 0.0f);

  rig.area.HandleCommand(kIdUndo);
  EXPECT_EQ(rig.Status(), "已撤销上一步（Ctrl+Y 可重做）。");
  EXPECT_EQ(rig.Label(kIdPlay), "▶ 播放 (Space)");
  EXPECT_TRUE(rig.State().Control(kIdRedo).enabled);
  rig.area.HandleCommand(kIdRedo);
  EXPECT_EQ(rig.Status(), "已重做上一步。");
  rig.area.HandleCommand(kIdUndo);
  rig.area.HandleCommand(kIdUndo);
  EXPECT_EQ(rig.doc.Frames(), 480000u);
  rig.window.port.Status("(before)");
  rig.area.HandleCommand(kIdUndo);  // nothing left: the button says so, like Ctrl+Z
  EXPECT_EQ(rig.Status(), "没有可撤销的操作了。");

  // A new edit voids the redo list; the key says so.
  rig.doc.SetSelection(10, 20);
  rig.area.HandleCommand(kIdSilence);
  rig.Key(Key::Y, true);
  EXPECT_EQ(rig.Status(), "没有可重做的操作了（做过新编辑之后，旧的重做记录就作废了）。");

  // Trim: play head 0 and the whole new clip in view.
  EditAreaTestAccess::SetPlayHead(rig.area, 3000);
  rig.doc.SetSelection(1000, 5000);
  rig.area.HandleCommand(kIdTrim);
  EXPECT_EQ(rig.Status(), "已裁剪到选区。");
  EXPECT_EQ(rig.doc.Frames(), 4000u);
  EXPECT_EQ(rig.area.PlayHead(), 0u);
  EXPECT_EQ(rig.area.View().Start(), 0u);
  EXPECT_FALSE(rig.area.View().Zoomed());

  rig.Key(Key::Escape);
  rig.area.HandleCommand(kIdTrim);
  EXPECT_EQ(rig.Status(), "请先在波形上拖出一段选区。");
  EXPECT_EQ(rig.doc.Frames(), 4000u);

  rig.area.HandleCommand(kIdSelectAll);
  EXPECT_EQ(rig.doc.SelectionEnd(), 4000u);
  EXPECT_EQ(rig.area.InfoLine(), "0:00.000 / 0:00.083　选区 0:00.083　48000 Hz　立体声　16bit");
  // Deleting everything leaves the clip empty, and the undo button brings it back.
  rig.area.HandleCommand(kIdDelete);
  EXPECT_EQ(rig.doc.Frames(), 0u);
  EXPECT_FALSE(rig.State().Control(kIdPlay).enabled);
  EXPECT_TRUE(rig.State().Control(kIdUndo).enabled);
  rig.area.HandleCommand(kIdUndo);
  EXPECT_EQ(rig.doc.Frames(), 4000u);

  // While recording the edit commands do nothing and the controls are off.
  rig.host.recording = true;
  rig.area.HandleCommand(kIdDelete);
  EXPECT_EQ(rig.doc.Frames(), 4000u);
  EXPECT_FALSE(rig.State().Control(kIdPlay).enabled);
  EXPECT_FALSE(rig.State().Control(kIdUndo).enabled);
  EXPECT_FALSE(rig.Key(Key::Delete));
}

TEST(EditEndToEnd, DragSelectDeleteAndUndoRestoreTheSamplesExactly) {
  EditRig rig;
  const auto original = test::Ramp(480000, 2);
  rig.Load(original);
  rig.Drag(400, 200);
  EXPECT_EQ(rig.doc.SelectionStart(), 96000u);
  EXPECT_EQ(rig.doc.SelectionEnd(), 192000u);
  EXPECT_NE(rig.area.InfoLine().find("选区 0:02.000"), std::string::npos);
  ASSERT_TRUE(rig.Key(Key::Delete));
  EXPECT_EQ(rig.doc.Frames(), 384000u);
  EXPECT_EQ(rig.area.PlayHead(), 96000u);
  ASSERT_TRUE(rig.Key(Key::Z, true));
  EXPECT_EQ(rig.doc.CopySamples(), original);
}

TEST(EditPlay, StartsFromThePlayHeadOrTheSelectionAndStopsWhereItWas) {
  struct Case {
    const char* what;
    uint64_t selStart, selEnd, head, start;
  };
  const Case cases[] = {
      {"no selection: the play head", 0, 0, 1000, 1000},
      {"no selection, play head at the end: from 0", 0, 0, 48000, 0},
      {"play head inside the selection", 2000, 4000, 3000, 3000},
      {"play head outside: the selection start", 2000, 4000, 5000, 2000},
      {"play head at the selection end is outside", 2000, 4000, 4000, 2000},
  };
  for (const Case& c : cases) {
    EditRig rig;
    rig.Load(test::Ramp(48000, 2));
    rig.doc.SetSelection(c.selStart, c.selEnd);
    EditAreaTestAccess::SetPlayHead(rig.area, c.head);
    ASSERT_TRUE(rig.Key(Key::Space)) << c.what;
    ASSERT_TRUE(rig.playback.Running()) << c.what;
    EXPECT_EQ(rig.playback.Position(), c.start) << c.what;
    EXPECT_EQ(rig.playback.LoopStart(), c.selStart) << c.what;
    EXPECT_EQ(rig.playback.LoopEnd(), c.selEnd) << c.what;
    EXPECT_EQ(rig.Label(kIdPlay), "■ 停止 (Space)") << c.what;
    EXPECT_EQ(rig.Status(), c.selEnd > c.selStart ? kLoopText : "") << c.what;
    rig.playback.Advance(480);
    rig.area.Tick();
    ASSERT_TRUE(rig.Key(Key::Space)) << c.what;
    EXPECT_FALSE(rig.playback.Running()) << c.what;
    EXPECT_EQ(rig.area.PlayHead(), c.start + 480) << c.what;
    EXPECT_EQ(rig.Label(kIdPlay), "▶ 播放 (Space)") << c.what;
  }
}

TEST(EditPlay, FollowsClicksSelectionsDeviceChangesAndTheEnd) {
  EditRig rig;
  rig.area.HandleCommand(kIdPlay);
  EXPECT_EQ(rig.Status(), "剪辑区里还没有内容。");
  EXPECT_FALSE(rig.Key(Key::Space));  // an empty edit area takes no keys

  rig.Load(test::Ramp(48000, 2));
  rig.host.recording = true;
  rig.area.HandleCommand(kIdPlay);
  EXPECT_EQ(rig.Status(), "录音时不能播放（会串音）。");
  EXPECT_FALSE(rig.playback.Running());
  rig.host.recording = false;

  rig.playback.failStart = true;
  rig.area.HandleCommand(kIdPlay);
  ASSERT_EQ(rig.view.boxes.size(), 1u);
  EXPECT_EQ(rig.view.boxes[0].kind, BoxKind::Warning);
  EXPECT_EQ(rig.view.boxes[0].title, "播放失败");
  EXPECT_EQ(rig.view.boxes[0].text, "初始化播放流 失败（HRESULT 0x88890008）。");
  EXPECT_EQ(rig.Label(kIdPlay), "▶ 播放 (Space)");
  rig.playback.failStart = false;

  rig.doc.SetSelection(10000, 20000);
  rig.area.HandleCommand(kIdPlay);
  ASSERT_TRUE(rig.playback.Running());
  rig.Mouse(MouseAction::Press, 500);  // a click seeks; outside the loop it snaps back to it
  EXPECT_EQ(rig.playback.Position(), 19999u);
  rig.Mouse(MouseAction::Release, 500);
  rig.Mouse(MouseAction::Press, 300);
  EXPECT_EQ(rig.playback.Position(), 14400u);
  EXPECT_EQ(rig.area.PlayHead(), 14400u);
  rig.Key(Key::Right);  // nudging the end moves the loop
  EXPECT_EQ(rig.playback.LoopEnd(), 20480u);
  rig.Key(Key::Escape);  // no selection: no loop
  EXPECT_EQ(rig.playback.LoopEnd(), 0u);
  EXPECT_TRUE(rig.playback.Running());

  rig.playback.Advance(1000);
  rig.area.RestartPlaybackOnNewDevice();
  EXPECT_EQ(rig.playback.starts, 3);
  EXPECT_EQ(rig.playback.Position(), 15400u);
  EXPECT_EQ(rig.Status(), "已切换播放设备，从刚才的位置接着播。");

  while (rig.playback.Running()) rig.playback.Advance(4800);  // plays out by itself
  rig.area.Tick();
  EXPECT_EQ(rig.Label(kIdPlay), "▶ 播放 (Space)");
  EXPECT_EQ(rig.area.PlayHead(), 48000u);
  rig.area.HandleCommand(kIdPlay);
  EXPECT_EQ(rig.playback.Position(), 0u);  // from the end it starts over
}

// A video's audio with the middle second deleted plays on the source
// timeline: the cut is heard as the silence it leaves in the video, and the
// play head waits at the cut instead of running ahead or back.
TEST(EditPlay, FullLengthPlaybackSkipsTheDeletedRangeWithoutGoingBack) {
  EditRig rig;
  rig.Load(test::Sine(144000, 2, 440, 48000, 0.5, 1.0));
  EditAreaTestAccess::SetPicture(rig.area, true);
  rig.doc.SetSelection(48000, 96000);
  rig.area.HandleCommand(kIdDelete);
  ASSERT_TRUE(rig.doc.HasCuts());
  const std::vector<float> edited = rig.doc.CopySamples();

  rig.Key(Key::Home);
  rig.Key(Key::Space);
  ASSERT_TRUE(rig.area.PlayingFullLength());
  std::vector<uint64_t> heads;
  while (rig.playback.Running()) {
    rig.playback.Advance(1600);
    rig.area.Tick();
    heads.push_back(rig.area.PlayHead());
  }
  for (size_t i = 1; i < heads.size(); ++i) ASSERT_GE(heads[i], heads[i - 1]) << i;
  // From reaching the cut until the kept audio resumes a second later (31
  // ticks of 1600 frames) the head stays at the cut.
  EXPECT_EQ(std::count(heads.begin(), heads.end(), 48000u), 31);
  EXPECT_EQ(heads.back(), 96000u);
  const std::vector<float>& out = rig.playback.rendered;
  ASSERT_GE(out.size(), 144000u * 2);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 96000, edited.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 96000, out.begin() + 192000, [](float v) { return v == 0.0f; }));
  EXPECT_TRUE(std::equal(out.begin() + 192000, out.begin() + 288000, edited.begin() + 96000));

  // A loop across the cut maps both ends. The source timeline is the
  // document's own pieces, so it plays even with almost no memory free.
  rig.host.memory = 1000;
  rig.doc.SetSelection(40000, 50000);
  rig.Key(Key::Space);
  EXPECT_TRUE(rig.area.PlayingFullLength());
  EXPECT_EQ(rig.playback.LoopStart(), 40000u);
  EXPECT_EQ(rig.playback.LoopEnd(), 98000u);
}

TEST(EditScene, DrawsTheDocumentTheHintAndTheLiveWaveform) {
  EditRig rig;
  WaveScene s = rig.area.Scene(EditRig::kWidth, EditRig::kHeight);
  EXPECT_TRUE(s.empty);
  EXPECT_EQ(s.watermark, "剪 辑 区");
  EXPECT_EQ(
      s.emptyText,
      "剪辑区是空的。\r\n点上面「打开音视频」载入文件，或直接把音频/视频文件拖进这个窗口。\r\n录完音也会自动载入。");
  rig.area.OnWheel(WheelEvent{1, 500, 50}, EditRig::kWidth, EditRig::kHeight);
  EXPECT_EQ(rig.host.settingsSaves, 0);  // nothing to zoom: the hint is not used up

  rig.Load(test::Sine(480000, 2, 1, 48000, 0.8, 1.0));
  rig.doc.SetSelection(120000, 240000);
  EditAreaTestAccess::SetPlayHead(rig.area, 360000);
  s = rig.area.Scene(EditRig::kWidth, EditRig::kHeight);
  EXPECT_FALSE(s.empty);
  EXPECT_EQ(s.hint, "滚轮缩放 · 右键拖动平移");
  ASSERT_EQ(s.lanes.size(), 2u);
  EXPECT_EQ(s.lanes[0].mins.size(), size_t(EditRig::kWidth));
  EXPECT_GT(s.lanes[0].maxs[125], 0.7f);  // a quarter of the 1 Hz sine's period
  EXPECT_LE(s.lanes[0].top + s.lanes[0].height, s.lanes[1].top);
  EXPECT_TRUE(s.hasSelection);
  EXPECT_EQ(s.selectionLeft, 250);
  EXPECT_EQ(s.selectionRight, 500);
  EXPECT_EQ(s.playHeadX, 750);
  EXPECT_FALSE(s.hasScrollStrip);
  int lastMajor = -1000;
  for (const RulerTick& t : s.ruler) {
    if (!t.major) continue;
    EXPECT_GE(t.x - lastMajor, kMajorTickSpacing);
    lastMajor = t.x;
  }
  EXPECT_EQ(s.ruler.front().label, "0:00");

  Wheel(rig, 2, EditRig::kWidth);
  Wheel(rig, 1, EditRig::kWidth);
  EXPECT_EQ(rig.host.settingsSaves, 1);  // saved once
  EXPECT_TRUE(rig.settings.hintPanZoom);
  s = rig.area.Scene(EditRig::kWidth, EditRig::kHeight);
  EXPECT_TRUE(s.hint.empty());
  ASSERT_TRUE(s.hasScrollStrip);
  EXPECT_EQ(s.scrollThumb.Right(), EditRig::kWidth - 2);  // zoomed in at the right
  EXPECT_EQ(rig.area.PointerAt(10, EditRig::kHeight - 3, EditRig::kWidth, EditRig::kHeight), PointerShape::Hand);
  EXPECT_EQ(rig.area.PointerAt(10, 50, EditRig::kWidth, EditRig::kHeight), PointerShape::Arrow);
  EXPECT_LE(s.lanes[1].top + s.lanes[1].height, s.scrollTrack.y);

  rig.Load(test::Constant(48000, 1, 0.5f), 48000, 1);
  s = rig.area.Scene(EditRig::kWidth, EditRig::kHeight);
  ASSERT_EQ(s.lanes.size(), 1u);
  EXPECT_EQ(s.lanes[0].maxs[999], 0.5f);

  // Recording: two seconds written, a 5-second page.
  ManualClock clock;
  PlayHeadServo servo(clock);
  servo.Reset();
  const std::vector<float> batch(480 * 2, 0.5f);
  for (int i = 0; i < 200; ++i) {
    clock.AdvanceMs(10);
    servo.Feed(batch.data(), 480, 2);
  }
  rig.host.recording = true;
  rig.area.SetLiveSource(&servo, 48000, 2);
  rig.area.OnWheel(WheelEvent{20, 500, 50}, EditRig::kWidth, EditRig::kHeight);
  for (int i = 0; i < 80; ++i) {  // repaints every 33 ms while the writes stopped
    clock.AdvanceMs(33);
    s = rig.area.Scene(EditRig::kWidth, EditRig::kHeight);
  }
  EXPECT_TRUE(s.live);
  const int64_t displayed = servo.Displayed();
  // The servo's candidate runs 120 ms past the written audio, the display at
  // most 120 ms past the candidate; then it stops.
  EXPECT_EQ(displayed, 96000 + 2 * 5760);
  EXPECT_EQ(s.playHeadX, int(displayed * EditRig::kWidth / 240000));
  ASSERT_EQ(s.liveColumns.size(), 187u);  // every complete 512-frame column
  EXPECT_EQ(s.liveColumns.front().maxs[0], float(16383) / 32767.0f);
  EXPECT_EQ(s.liveColumns.back().x, int((186 * 512 + 256) * EditRig::kWidth / 240000.0));
  ASSERT_EQ(s.ruler.size(), 3u);
  EXPECT_EQ(s.ruler[2].label, "0:05");
}

TEST(EditTimeline, MapsDocumentAndSourceFramesBothWays) {
  const SourceTimeline t({{0, 100}, {150, 50}, {300, 100}});
  struct Case {
    uint64_t doc, source;
  };
  for (const Case& c : {Case{0, 0}, Case{99, 99}, Case{100, 150}, Case{149, 199}, Case{150, 300}, Case{249, 399},
                        Case{250, 400}, Case{9999, 400}})
    EXPECT_EQ(t.ToSource(c.doc), c.source) << c.doc;
  for (const Case& c :
       {Case{0, 0}, Case{99, 99}, Case{100, 100}, Case{100, 149}, Case{100, 150}, Case{149, 199}, Case{150, 200},
        Case{150, 299}, Case{150, 300}, Case{249, 399}, Case{250, 400}, Case{250, 5000}})
    EXPECT_EQ(t.ToDocument(c.source), c.doc) << c.source;
}

// The clip's file rewritten in place while the window reads from it: within
// a second the window says so, once, and stops playing.
TEST(EditSource, AFileRewrittenWhileOpenIsShownOnceAndStopsPlayback) {
  test::ScratchDir dir;
  const auto path = dir.path() / "source.wav";
  std::string error;
  ASSERT_TRUE(WriteWavFile(path, AudioFormat{48000, 2, 16}, std::vector<float>(96000, 0.25f), error, 16)) << error;
  EditRig rig;
  ASSERT_TRUE(rig.doc.Load(path, error)) << error;
  rig.area.OnRecordingLoaded();
  rig.Key(Key::Space);
  for (int i = 0; i < 30; ++i) rig.area.Tick();
  EXPECT_TRUE(rig.view.boxes.empty());
  std::filesystem::resize_file(path, 1000);
  for (int i = 0; i < 90; ++i) rig.area.Tick();
  ASSERT_EQ(rig.view.boxes.size(), 1u);
  EXPECT_EQ(rig.view.boxes[0].title, "源文件被改动");
  EXPECT_EQ(rig.Status(), "源文件在打开之后被改动了，剪辑区里的声音已不可靠。");
  EXPECT_FALSE(rig.playback.Running());
}

}  // namespace
}  // namespace vesk::ui
