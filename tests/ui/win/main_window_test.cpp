// The real Win32 main window over the controller, under Wine with Xvfb:
// created, driven with window messages and read back through control texts,
// states, the layout dump and pixels of the waveform view.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/win/layout_dump_win.h"
#include "support/test_support.h"
#include "ui/control_ids.h"
#include "ui/main_layout.h"
#include "ui/win/main_window_win.h"
#include "ui/win/window_harness.h"

namespace vesk::ui::win {
namespace {

// The Windows class the window creates for a kind ("" for the painted meter).
const char* Win32ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
    case ControlKind::TextView:
      return "Static";
    case ControlKind::DropDown:
      return "ComboBox";
    case ControlKind::Button:
    case ControlKind::SplitButton:
    case ControlKind::OwnerButton:
      return "Button";
    case ControlKind::ReadOnlyEdit:
      return "Edit";
    case ControlKind::Wave:
      return "VESKWaveView";
    case ControlKind::Meter:
      return "";
  }
  return "";
}

using test::DumpedItem;
using test::ParseLayoutDump;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RegisterWindowClasses(GetModuleHandleW(nullptr)));
    window_ = test::MakeWindow(false);
    ASSERT_NE(window_, nullptr);
    test::Pump(*window_);
  }
  void TearDown() override {
    window_.reset();
    test::Pump();
  }
  HWND Main() const { return window_->Handle(); }
  HWND Item(int id) const { return GetDlgItem(Main(), id); }

  test::TestWindow window_;
};

TEST_F(MainWindowTest, CreatesEveryControlOfTheLayoutInOrderWithClassIdLabelAndFont) {
  const std::vector<LayoutControl> layout = MainLayout(kInitialClientWidth, kInitialClientHeight);
  std::vector<HWND> children;
  for (HWND c = GetWindow(Main(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
  size_t child = 0;
  for (const LayoutControl& c : layout) {
    if (c.kind == ControlKind::Meter) continue;  // painted, not a window
    ASSERT_LT(child, children.size());
    HWND h = children[child++];
    SCOPED_TRACE(c.key.empty() ? c.label + " " + std::to_string(c.id) : c.key);
    EXPECT_EQ(WideToUtf8(ClassOf(h)), Win32ClassOf(c.kind));
    EXPECT_EQ(GetDlgCtrlID(h), c.id);
    if (c.kind == ControlKind::Label) {  // other texts follow the controller's state
      EXPECT_EQ(WideToUtf8(WindowTextOf(h)), c.label);
    }
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    if (c.kind == ControlKind::SplitButton) {
      EXPECT_EQ(style & BS_TYPEMASK, BS_SPLITBUTTON);
    }
    if (c.kind == ControlKind::OwnerButton) {
      EXPECT_EQ(style & BS_TYPEMASK, BS_OWNERDRAW);
    }
    if (c.kind == ControlKind::DropDown && !c.options.empty()) {  // device lists are the controller's
      ASSERT_EQ(SendMessageW(h, CB_GETCOUNT, 0, 0), LRESULT(c.options.size()));
      for (size_t i = 0; i < c.options.size(); ++i) {
        wchar_t text[64] = {};
        SendMessageW(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(WideToUtf8(text), c.options[i]);
      }
    }
    if (c.kind != ControlKind::Wave) {
      LOGFONTW font{};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof font, &font);
      EXPECT_STREQ(font.lfFaceName, L"Microsoft YaHei UI");
    }
  }
  EXPECT_EQ(child, children.size());

  // The face the prefix maps "Microsoft YaHei UI" to has the Chinese glyphs.
  HDC dc = GetDC(Main());
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(Item(kIdRecord), WM_GETFONT, 0, 0)));
  WORD glyphs[4] = {};
  GetGlyphIndicesW(dc, L"录音剪辑", 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  ReleaseDC(Main(), dc);
  for (WORD g : glyphs) EXPECT_NE(g, 0xFFFF) << "no CJK font behind Microsoft YaHei UI";

  EXPECT_EQ(WideToUtf8(WindowTextOf(Main())), AppController::WindowTitle());
  EXPECT_EQ(test::StatusText(*window_), "就绪。选好声音来源，点「开始录音」。");
}

TEST_F(MainWindowTest, CaptionHitTestAndMinimumSizeFollowTheFrameGeometry) {
  RECT wr{};
  GetWindowRect(Main(), &wr);
  const int w = wr.right - wr.left;
  struct Case {
    int x, y;
    LRESULT hit;
  } cases[] = {
      {w - 46, 17, HTCLOSE},   {w - 47, 17, HTMAXBUTTON}, {w - 92, 17, HTMAXBUTTON}, {w - 93, 17, HTMINBUTTON},
      {w - 139, 17, HTCAPTION}, {200, 17, HTCAPTION},      {200, 60, HTCLIENT},
  };
  for (const Case& c : cases) {
    const LRESULT hit = SendMessageW(Main(), WM_NCHITTEST, 0, MAKELPARAM(wr.left + c.x, wr.top + c.y));
    EXPECT_EQ(hit, c.hit) << "x = W - " << (w - c.x) << ", y = " << c.y;
  }

  // Asked to shrink, the window keeps a 750 x 600 layout below the caption band.
  SetWindowPos(Main(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  test::Pump(*window_);
  const LayoutSnapshot snap = window_->Snapshot();
  EXPECT_GE(snap.client.cx, kMinClientWidth);
  EXPECT_GE(snap.client.cy, kMinClientHeight);
  // Every control follows the new size: the status row sits at the bottom.
  const DumpedItem status = test::FindItem(ParseLayoutDump(WindowLayoutJson(*window_)), "status");
  EXPECT_NEAR(status.y + status.h, snap.client.cy - 8, 0.01);

  // Maximised, the client area (caption band included) is the work area.
  // (Last: Wine without a window manager may flip a restored window back.)
  ShowWindow(Main(), SW_MAXIMIZE);
  test::Pump(*window_);
  RECT work{}, client{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetClientRect(Main(), &client);
  MapWindowPoints(Main(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  EXPECT_EQ(client.left, work.left);
  EXPECT_EQ(client.top, work.top);
  EXPECT_EQ(client.right, work.right);
  EXPECT_EQ(client.bottom, work.bottom);
}

// The dump of the real window against the table, at 96 DPI in this process
// and at 144 DPI in a child process started with LogPixels = 144.
TEST_F(MainWindowTest, LayoutDumpMatchesMainLayoutAt96And144Dpi) {
  struct Dump {
    unsigned dpi;
    std::string json;
  };
  std::vector<Dump> dumps;
  dumps.push_back({96, WindowLayoutJson(*window_)});
  {
    test::ScratchDir dir;
    const std::string json = test::DumpLayoutAtDpi(144, dir / "layout.json");
    ASSERT_FALSE(json.empty()) << "VeskRecorder.exe --dump-layout wrote nothing";
    dumps.push_back({144, json});
  }
  const std::vector<LayoutControl> layout = MainLayout(kInitialClientWidth, kInitialClientHeight);
  for (const Dump& d : dumps) {
    SCOPED_TRACE("dpi " + std::to_string(d.dpi));
    const test::LayoutDump dump = ParseLayoutDump(d.json);
    EXPECT_EQ(dump.dpi, int(d.dpi));
    EXPECT_EQ(dump.clientW, ScaleUnits(kInitialClientWidth, d.dpi));
    EXPECT_EQ(dump.clientH, ScaleUnits(kInitialClientHeight, d.dpi));
    ASSERT_EQ(dump.items.size(), layout.size());
    // Whole units stay whole at 96; at 144 a pixel is two thirds of a unit.
    const double tolerance = d.dpi == 96 ? 0.001 : 0.67;
    size_t next = 0;
    for (const LayoutControl& c : layout) {
      // The meter is not a window: it comes last.
      const DumpedItem& it = c.kind == ControlKind::Meter ? dump.items.back() : dump.items[next++];
      const std::string expectedKey = !c.key.empty() ? c.key : c.id > 0 ? "id:" + std::to_string(c.id) : "text:" + c.label;
      SCOPED_TRACE(expectedKey);
      EXPECT_EQ(it.key, expectedKey);
      EXPECT_EQ(it.cls, c.kind == ControlKind::Meter ? "VESKMeter" : Win32ClassOf(c.kind));
      EXPECT_EQ(it.id, c.id);
      EXPECT_NEAR(it.x, c.rect.x, tolerance);
      EXPECT_NEAR(it.y, c.rect.y, tolerance);
      EXPECT_NEAR(it.w, c.rect.w, tolerance);
      EXPECT_NEAR(it.h, c.rect.h, tolerance);
      if (c.kind == ControlKind::DropDown && !c.options.empty()) {
        EXPECT_TRUE(it.isCombo);
        EXPECT_GE(it.sel, 0);
        EXPECT_EQ(it.options, c.options);
      }
    }
  }
}

TEST_F(MainWindowTest, TrackDialogListsAuditionsAndAnswersWithTheChoice) {
  struct Run {
    std::vector<std::string> labels;
    int select;
    int button;  // IDOK import, 0 close box
    TrackDialogResult expected;
  } runs[] = {
      {{"轨道 1 · 48000 Hz · 立体声", "轨道 2 · 48000 Hz · 立体声 · Commentary（eng）", "轨道 3 · 44100 Hz · 单声道"},
       1,
       IDOK,
       {1, 1}},
      {{"轨道 1", "轨道 2", "轨道 3", "轨道 4", "轨道 5", "轨道 6"}, 4, 0, {0, 4}},
  };
  int listHeights[2] = {0, 0};
  for (int r = 0; r < 2; ++r) {
    const Run& run = runs[r];
    std::vector<int> auditioned;
    int stops = 0;
    TrackDialogModel model;
    model.title = "选择音轨 - movie.mkv";
    model.intro = "这个文件里有 " + std::to_string(run.labels.size()) + " 条音轨。选一条导入（拿不准就先试听）；";
    model.note = "只剪这一条：其余音轨导出视频时原样保留；「全部混入一条」= 替换掉所有原轨。";
    model.trackLabels = run.labels;
    model.audition = [&](int track) {
      auditioned.push_back(track);
      return TrackDialogModel::Feedback{"正在试听：" + run.labels[size_t(track)] + "（10 秒）", true};
    };
    model.stopAudition = [&] {
      ++stops;
      return TrackDialogModel::Feedback{"已停止试听。", false};
    };
    std::string seenTitle, seenStatus;
    int seenCount = 0;
    bool stopEnabledAfterAudition = false, ownerDisabled = false;
    test::WhenWindowAppears(kTrackDialogClass, [&](HWND dialog) {
      seenTitle = WideToUtf8(WindowTextOf(dialog));
      ownerDisabled = !IsWindowEnabled(Main());
      HWND list = FindWindowExW(dialog, nullptr, L"ListBox", nullptr);
      seenCount = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
      RECT lr{};
      GetWindowRect(list, &lr);
      listHeights[r] = lr.bottom - lr.top;
      SendMessageW(list, LB_SETCURSEL, WPARAM(run.select), 0);
      SendMessageW(FindWindowExW(dialog, nullptr, L"Button", L"▶ 试听"), BM_CLICK, 0, 0);
      stopEnabledAfterAudition = IsWindowEnabled(FindWindowExW(dialog, nullptr, L"Button", L"■ 停止试听"));
      HWND status = nullptr;
      for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (WideToUtf8(WindowTextOf(c)).rfind("正在试听", 0) == 0) status = c;
      seenStatus = status ? WideToUtf8(WindowTextOf(status)) : "";
      if (run.button == IDOK)
        SendMessageW(FindWindowExW(dialog, nullptr, L"Button", L"导入选中的音轨"), BM_CLICK, 0, 0);
      else
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    const TrackDialogResult result = window_->ShowTrackDialog(model);
    SCOPED_TRACE("run " + std::to_string(r));
    EXPECT_EQ(seenTitle, model.title);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(Main()));
    EXPECT_EQ(seenCount, int(run.labels.size()));
    EXPECT_EQ(auditioned, std::vector<int>{run.select});
    EXPECT_TRUE(stopEnabledAfterAudition);
    EXPECT_EQ(seenStatus, "正在试听：" + run.labels[size_t(run.select)] + "（10 秒）");
    EXPECT_EQ(stops, 1) << "closing the dialog ends the running audition";
    EXPECT_EQ(result.action, run.expected.action);
    if (result.action != 0) {
      EXPECT_EQ(result.track, run.expected.track);
    }
    EXPECT_EQ(FindWindowW(kTrackDialogClass, nullptr), nullptr);
  }
  EXPECT_GT(listHeights[1], listHeights[0]) << "the list grows with the number of tracks";
}

// The number form: the note follows what is typed, a value that is not a
// number in range keeps the form up, OK returns the typed values.
TEST_F(MainWindowTest, TheNumberFormFollowsWhatIsTypedAndRefusesWhatIsOutOfRange) {
  NumberDialogModel model;
  model.title = "自定义响度目标";
  model.fields = {{"目标响度", "LUFS", -18.0, -40, -5, 0.5, 1}, {"真峰值上限", "dBTP", -1.0, -10, 0, 0.1, 1}};
  model.note = [](const std::vector<double>& v) { return v[0] < -20 ? std::string("偏轻") : std::string("适中"); };
  std::string initial, refused, typed;
  bool stayedUp = false;
  test::WhenWindowAppears(kNumberDialogClass, [&](HWND dialog) {
    HWND first = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
    HWND note = GetDlgItem(dialog, 90);
    initial = WideToUtf8(WindowTextOf(note));
    SetWindowTextW(first, L"-50");  // below the range
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    stayedUp = IsWindow(dialog) && IsWindowVisible(dialog);
    refused = WideToUtf8(WindowTextOf(note));
    SetWindowTextW(first, L"\u221223.5");  // a typographic minus
    typed = WideToUtf8(WindowTextOf(note));
    RECT r{};
    GetWindowRect(dialog, &r);
    test::Pump(nullptr, 200);
    EXPECT_TRUE(test::SavePng(test::CaptureScreen(r), test::ScreenshotPath("win-number-dialog")));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  std::vector<double> values;
  EXPECT_TRUE(window_->AskNumbers(model, values));
  EXPECT_EQ(initial, "适中");
  EXPECT_TRUE(stayedUp);
  EXPECT_NE(refused.find("-40.0 到 -5.0"), std::string::npos) << refused;
  EXPECT_EQ(typed, "偏轻");
  EXPECT_EQ(values, (std::vector<double>{-23.5, -1.0}));
  EXPECT_EQ(FindWindowW(kNumberDialogClass, nullptr), nullptr);
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

TEST_F(MainWindowTest, ProgressWindowDisablesTheWindowAndReportsCancel) {
  // Work finished on another thread waits for the progress window to go,
  // then runs on the window's thread.
  WindowPort& port = window_->Controller().Port();
  port.ProgressBegin("正在保存", true);
  DWORD ranOn = 0;
  std::thread worker([&] { port.PostToUi([&] { ranOn = GetCurrentThreadId(); }); });
  worker.join();
  test::Pump(*window_, 100);
  EXPECT_EQ(ranOn, 0u);
  HWND progress = FindWindowW(kProgressClass, nullptr);
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(WideToUtf8(WindowTextOf(progress)), "正在保存");
  EXPECT_FALSE(IsWindowEnabled(Main()));
  EXPECT_TRUE(port.ProgressStep(40, "写入 40%"));
  SendMessageW(FindWindowExW(progress, nullptr, L"Button", L"取消"), BM_CLICK, 0, 0);
  EXPECT_FALSE(port.ProgressStep(50, "写入 50%"));
  port.ProgressEnd();
  EXPECT_EQ(FindWindowW(kProgressClass, nullptr), nullptr);
  EXPECT_TRUE(IsWindowEnabled(Main()));
  test::Pump(*window_, 100);
  EXPECT_EQ(ranOn, GetCurrentThreadId());
}

TEST_F(MainWindowTest, DonationWindowShowsTheBuiltInPictureOnce) {
  window_->ShowDonationWindow();
  window_->ShowDonationWindow();
  int count = 0;
  HWND donate = nullptr;
  for (HWND h = FindWindowW(kDonateClass, nullptr); h; h = FindWindowExW(nullptr, h, kDonateClass, nullptr)) {
    donate = h;
    ++count;
  }
  ASSERT_EQ(count, 1);
  EXPECT_EQ(WideToUtf8(WindowTextOf(donate)), "捐赠作者 · 支付宝收款码");
  // Decoded, the 300 x 300 picture sets the window's size (a failure text would not).
  RECT rc{};
  GetClientRect(donate, &rc);
  EXPECT_EQ(rc.right, ScaleUnits(300 + 32, window_->Dpi()));
  EXPECT_EQ(rc.bottom, ScaleUnits(300 + 32, window_->Dpi()));
  DestroyWindow(donate);
}

}  // namespace
}  // namespace vesk::ui::win
