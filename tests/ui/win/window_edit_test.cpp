// The edit area through the real Win32 window: a tone opened into it is
// painted (checked by pixels of the waveform view), and mouse, keys and the
// wheel reach it as a user's would. Saves the screenshot of the window.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cmath>
#include <cstdlib>

#include "doc/audio_doc.h"
#include "media/wav_sink.h"
#include "platform/single_instance.h"
#include "platform/text.h"
#include "ui/edit_area.h"
#include "ui/win/wave_view_win.h"
#include "ui/win/window_harness.h"

namespace vesk::ui::win {
namespace {

using namespace wave_colors;

// One second of silence, then one second of a loud 440 Hz tone.
std::filesystem::path WriteHalfLoudTone(const std::filesystem::path& path) {
  const uint32_t rate = 48000;
  std::vector<float> samples(size_t(rate) * 2 * 2, 0.0f);
  for (size_t f = rate; f < 2 * size_t(rate); ++f)
    samples[2 * f] = samples[2 * f + 1] = float(0.8 * std::sin(2 * M_PI * 440.0 * double(f) / rate));
  std::string error;
  EXPECT_TRUE(WriteWavFile(path, AudioFormat{rate, 2, 16}, samples, error, 16)) << error;
  return path;
}

// Each channel within `tolerance` of the expected colour.
bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  return true;
}

uint32_t Blended(uint32_t under, uint32_t over, int alpha) {
  uint32_t out = 0;
  for (int shift : {0, 8, 16}) {
    const int u = int((under >> shift) & 0xFF), o = int((over >> shift) & 0xFF);
    out |= uint32_t(u + (o - u) * alpha / 255) << shift;
  }
  return out;
}

// A drop as the shell hands it over: a DROPFILES block of wide paths.
HDROP MakeDrop(const std::vector<std::filesystem::path>& files) {
  size_t chars = 1;
  for (const auto& f : files) chars += f.wstring().size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* out = reinterpret_cast<wchar_t*>(drop + 1);
  for (const auto& f : files) {
    const std::wstring w = f.wstring();
    std::copy(w.begin(), w.end(), out);
    out += w.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

class WindowEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RegisterWindowClasses(GetModuleHandleW(nullptr)));
    window_ = test::MakeWindow(true);
    ASSERT_NE(window_, nullptr);
    test::Pump(*window_);
  }
  void TearDown() override {
    window_.reset();
    test::Pump();
  }

  EditArea& Edit() { return window_->Controller().Edit(); }
  HWND Wave() const { return window_->WaveHandle(); }
  SIZE WaveSize() const {
    RECT rc{};
    GetClientRect(Wave(), &rc);
    return {rc.right, rc.bottom};  // 96 DPI: pixels are units
  }
  WaveScene Scene() {
    const SIZE s = WaveSize();
    return Edit().Scene(s.cx, s.cy);
  }
  void Mouse(UINT msg, int x, int y, WPARAM keys = 0) {
    SendMessageW(Wave(), msg, keys, MAKELPARAM(x, y));
    test::Pump(*window_, 20);
  }
  // A key as the message loop sees it, with the modifier state set.
  void Key(WPARAM vk, bool ctrl) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(state);
    PostMessageW(Wave(), WM_KEYDOWN, vk, 1);
    PostMessageW(Wave(), WM_KEYUP, vk, 1 | (1u << 30) | (1u << 31));
    test::Pump(*window_, 30);
    state[VK_CONTROL] = 0;
    SetKeyboardState(state);
  }

  test::TestWindow window_;
};

TEST_F(WindowEditTest, OpenedToneIsPaintedAndFollowsMouseKeysAndWheel) {
  test::ScratchDir dir;
  const auto tone = WriteHalfLoudTone(dir / "tone.wav");
  // Dropped files reach the controller: a text file only changes the status
  // line; of three files the first is opened.
  test::WriteBytes(dir / "notes.txt", {'h', 'i'});
  PostMessageW(window_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir / "notes.txt"})), 0);
  test::Pump(*window_);
  EXPECT_EQ(test::StatusText(*window_),
            "拖进来的不是认识的音频/视频格式（wav/mp3/m4a/aac/wma/flac/ogg/opus/mp4/mov/mkv/webm）。");
  EXPECT_EQ(window_->Controller().Document().Frames(), 0u);
  PostMessageW(window_->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({tone, dir / "notes.txt", dir / "other.wav"})), 0);
  test::Pump(*window_);
  EXPECT_EQ(test::StatusText(*window_), "已载入：tone.wav（00:00:02.0）");
  const AudioDoc& doc = window_->Controller().Document();
  const uint64_t n = doc.Frames();
  ASSERT_EQ(n, 96000u);

  const SIZE size = WaveSize();
  const int w = size.cx;
  WaveScene scene = Scene();
  ASSERT_FALSE(scene.empty);
  ASSERT_FALSE(scene.lanes.empty());
  const EnvelopeLane lane = scene.lanes.front();
  const int yAbove = lane.top + lane.height * 3 / 10;  // 0.4 above the centre line

  // Envelope where the audio is loud, none where it is silent.
  test::Capture shot = test::CaptureClient(Wave());
  for (int x : {w / 8, w / 4, w * 3 / 8}) EXPECT_EQ(shot.At(x, yAbove), kLaneBackground) << "x " << x;
  for (int x : {w * 5 / 8, w * 3 / 4, w * 7 / 8}) EXPECT_EQ(shot.At(x, yAbove), kEnvelope) << "x " << x;

  // A drag selects: the highlight lies between the press and the release.
  const int x1 = w * 3 / 10, x2 = w * 9 / 20, y = lane.top + lane.height / 2;
  Mouse(WM_LBUTTONDOWN, x1, y, MK_LBUTTON);
  Mouse(WM_MOUSEMOVE, (x1 + x2) / 2, y, MK_LBUTTON);
  Mouse(WM_MOUSEMOVE, x2, y, MK_LBUTTON);
  Mouse(WM_LBUTTONUP, x2, y);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(GetFocus(), Wave()) << "the view takes the keyboard after a release";
  scene = Scene();
  ASSERT_TRUE(scene.hasSelection);
  EXPECT_NEAR(scene.selectionLeft, x1, 1);
  EXPECT_NEAR(scene.selectionRight, x2, 1);
  EXPECT_NEAR(double(doc.SelectionStart()), double(x1) * double(n) / w, double(n) / w);
  EXPECT_NEAR(double(doc.SelectionEnd()), double(x2) * double(n) / w, double(n) / w);
  shot = test::CaptureClient(Wave());
  const uint32_t highlighted = Blended(kLaneBackground, kSelection, kSelectionAlpha);
  for (int x : {scene.selectionLeft + 1, (x1 + x2) / 2, scene.selectionRight - 1})  // the play head is at the left edge
    EXPECT_TRUE(Near(shot.At(x, yAbove), highlighted)) << "x " << x << std::hex << " " << shot.At(x, yAbove);
  for (int x : {scene.selectionLeft - 2, scene.selectionRight + 1})
    EXPECT_EQ(shot.At(x, yAbove), kLaneBackground) << "x " << x;
  EXPECT_TRUE(test::SaveScreenshot(window_->Handle(), test::ScreenshotPath("main-window-selection")));

  // A click puts the play head at frame(x) and clears the selection.
  const int xp = w * 3 / 5;
  Mouse(WM_LBUTTONDOWN, xp, y, MK_LBUTTON);
  Mouse(WM_LBUTTONUP, xp + 1, y);  // under the drag threshold: still a click
  scene = Scene();
  EXPECT_FALSE(scene.hasSelection);
  ASSERT_TRUE(scene.hasPlayHead);
  EXPECT_NEAR(scene.playHeadX, xp, 1);
  EXPECT_NEAR(double(Edit().PlayHead()), double(xp) * double(n) / w, 2.0 * double(n) / w);
  shot = test::CaptureClient(Wave());
  EXPECT_EQ(shot.At(scene.playHeadX, lane.top + 2), kPlayHead);
  EXPECT_NE(shot.At(scene.playHeadX - 2, lane.top + 2), kPlayHead);

  // Keys with their modifier state, as the message loop hands them over.
  struct KeyCase {
    WPARAM vk;
    bool ctrl;
    const char* status;  // nullptr: the key is not the editor's
    uint64_t selStart, selEnd;
  } keys[] = {
      {'A', true, nullptr, 0, n},
      {VK_ESCAPE, false, "已清除选区。", 0, 0},
      {VK_END, false, "已跳到末尾。", 0, 0},
      {VK_DELETE, false, "请先在波形上拖出一段选区。", 0, 0},
      {VK_HOME, false, "已回到开头 0:00，空格从头播放。", 0, 0},
  };
  for (const KeyCase& k : keys) {
    const std::string before = test::StatusText(*window_);
    Key(k.vk, k.ctrl);
    SCOPED_TRACE("key " + std::to_string(k.vk));
    if (k.status) {
      EXPECT_EQ(test::StatusText(*window_), k.status);
    }
    EXPECT_EQ(doc.SelectionStart(), k.selStart);
    EXPECT_EQ(doc.SelectionEnd(), k.selEnd);
  }
  EXPECT_EQ(Edit().PlayHead(), 0u);

  // While long work runs, input to the window is refused, also when posted.
  window_->ProgressBegin("正在保存", true);
  const std::string before = test::StatusText(*window_);
  PostMessageW(Wave(), WM_KEYDOWN, VK_END, 1);
  PostMessageW(Wave(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(w / 2, y));
  PostMessageW(Wave(), WM_LBUTTONUP, 0, MAKELPARAM(w / 2, y));
  EXPECT_TRUE(window_->ProgressStep(10, "写入"));
  EXPECT_EQ(test::StatusText(*window_), before);
  EXPECT_EQ(Edit().PlayHead(), 0u);
  window_->ProgressEnd();
  Key(VK_END, false);
  EXPECT_EQ(test::StatusText(*window_), "已跳到末尾。");

  // The wheel, given to the main window over the view, zooms in around the
  // pointer; the scroll strip appears with a thumb of at least 28 units.
  RECT wr{};
  GetWindowRect(Wave(), &wr);
  const POINT center{(wr.left + wr.right) / 2, (wr.top + wr.bottom) / 2};
  PostMessageW(window_->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 8 * WHEEL_DELTA), MAKELPARAM(center.x, center.y));
  test::Pump(*window_);
  scene = Scene();
  ASSERT_TRUE(scene.hasScrollStrip);
  const LayoutRect thumb = scene.scrollThumb, track = scene.scrollTrack;
  EXPECT_GE(thumb.w, 28);
  EXPECT_LT(thumb.w, track.w);
  shot = test::CaptureClient(Wave());
  EXPECT_EQ(shot.At(thumb.x + thumb.w / 2, thumb.y + thumb.h / 2), kScrollThumb);
  const int outside = thumb.x > track.x + 4 ? track.x + 2 : thumb.x + thumb.w + 2;
  EXPECT_EQ(shot.At(outside, thumb.y + thumb.h / 2), kScrollTrack);

  // Over the strip the pointer is the hand.
  POINT onThumb{thumb.x + thumb.w / 2, thumb.y + thumb.h / 2};
  ClientToScreen(Wave(), &onThumb);
  SetCursorPos(onThumb.x, onThumb.y);
  SendMessageW(Wave(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Wave()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
}

// "Open with" while the program runs: the second start finds the running
// window and hands it the file in WM_COPYDATA; it opens there, after the
// question a drop asks when the edit area holds unexported work.
TEST_F(WindowEditTest, AFileFromASecondStartOpensAfterTheReplaceQuestion) {
  test::ScratchDir dir;
  const auto tone = WriteHalfLoudTone(dir / "tone.wav");
  const auto other = WriteHalfLoudTone(dir.path() / PathFromUtf8("其他.wav"));
  SingleInstanceOptions options;
  options.name = "VeskTest.HandOver." + std::to_string(GetCurrentProcessId());
  options.windowClass = WideToUtf8(kMainClass);
  auto first = ClaimSingleInstance(options);
  auto second = ClaimSingleInstance(options);
  ASSERT_FALSE(second->IsFirst());
  ASSERT_TRUE(second->RaiseRunning(tone));
  test::Pump(*window_);
  EXPECT_EQ(test::StatusText(*window_), "已载入：tone.wav（00:00:02.0）");
  AudioDoc& doc = window_->Controller().Document();
  std::string error;
  doc.SetSelection(0, 48000);
  ASSERT_TRUE(doc.DeleteSelection(error)) << error;
  for (bool yes : {false, true}) {
    std::string question;
    test::AnswerNextBox(yes, &question);
    ASSERT_TRUE(second->RaiseRunning(other));
    test::Pump(*window_, 500);
    EXPECT_NE(question.find("载入「其他.wav」会把当前内容替换掉"), std::string::npos) << question;
    EXPECT_EQ(doc.SourcePath() == other, yes);
  }
}

}  // namespace
}  // namespace vesk::ui::win

namespace vesk::ui::win {
namespace {

// A failed open: the status line's tooltip holds the whole text, the pointer
// over the line is a hand, and a click on it opens the details box with the
// whole text in a read-only field. A status without failure opens nothing.
TEST_F(WindowEditTest, AFailedOpenOpensItsWholeTextFromTheStatusLine) {
  test::ScratchDir dir;
  const auto broken = dir.path() / PathFromUtf8("客户发来的会议录音（第三版，已剪掉开头的寒暄，请直接从第二段开始听）.wav");
  test::WriteBytes(broken, {'R', 'I', 'F', 'F', 'j', 'u', 'n', 'k'});
  test::WriteBytes(dir / "notes.txt", {'h', 'i'});
  HWND status = test::KeyedView(*window_, "status");
  ASSERT_NE(status, nullptr);
  const auto click = [&] {
    PostMessageW(status, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageW(status, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  };
  const auto cursorOverStatus = [&] {
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(window_->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(status), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };

  test::AnswerNextBox(true);  // the open's own warning
  PostMessageW(window_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({broken})), 0);
  test::Pump(*window_, 300);
  const std::string whole = test::StatusText(*window_);
  ASSERT_FALSE(whole.empty());
  EXPECT_EQ(cursorOverStatus(), LoadCursorW(nullptr, IDC_HAND));

  std::string shown;
  bool readOnly = false, ownerDisabled = false;
  test::WhenWindowAppears(kDetailsBoxClass, [&](HWND box) {
    HWND field = FindWindowExW(box, nullptr, L"Edit", nullptr);
    std::wstring text = WindowTextOf(field);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    shown = WideToUtf8(text);
    readOnly = (GetWindowLongW(field, GWL_STYLE) & ES_READONLY) != 0;
    ownerDisabled = !IsWindowEnabled(window_->Handle());
    RECT r{};
    GetWindowRect(window_->Handle(), &r);
    test::Pump(nullptr, 200);  // painted before the picture
    EXPECT_TRUE(test::SavePng(test::CaptureScreen(r), test::ScreenshotPath("win-status-details")));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  click();
  ASSERT_TRUE(test::PumpUntil(*window_, [&] { return !shown.empty(); }, 5000));
  test::Pump(*window_, 100);
  EXPECT_EQ(shown, whole);
  EXPECT_TRUE(readOnly);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(FindWindowW(kDetailsBoxClass, nullptr), nullptr);
  EXPECT_TRUE(IsWindowEnabled(window_->Handle()));

  PostMessageW(window_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir / "notes.txt"})), 0);
  test::Pump(*window_);
  EXPECT_NE(cursorOverStatus(), LoadCursorW(nullptr, IDC_HAND));
  click();
  test::Pump(*window_, 200);
  EXPECT_EQ(FindWindowW(kDetailsBoxClass, nullptr), nullptr);
}

}  // namespace
}  // namespace vesk::ui::win
