// The Win32 preview window over the real controller and the FFmpeg decoder:
// a video of the decoder test media is opened, button 1068 is clicked, and
// the window paints the decoded picture at the play head 1:1 into its
// client area; its close box resets the button and saves the place. A
// cover image is no picture to preview. Saves screenshots of both windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdlib>

#include "core/settings_store.h"
#include "platform/text.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "ui/win/preview_window_win.h"
#include "ui/win/window_harness.h"

namespace vesk::ui::win {
namespace {

TEST(WinPreviewWindow, PaintsThePictureAtThePlayHeadAndSavesItsPlace) {
  const char* media = std::getenv("VESK_DECODE_MEDIA");
  if (media == nullptr || *media == 0) VESK_MISSING_PART("VESK_DECODE_MEDIA is not set (scripts/run-tests.sh sets it)");
  const std::filesystem::path folder = PathFromUtf8(media);
  ASSERT_TRUE(RegisterWindowClasses(GetModuleHandleW(nullptr)));
  test::ScratchDir dir;
  test::WriteBytes(dir / "VeskRecorder.ini", {});
  AppOptions options;
  options.settingsFile = dir / "VeskRecorder.ini";
  options.settingsEnvironment = {dir.path(), dir.path()};
  options.scanPlugins = false;
  auto window = test::MakeWindow(true, options);
  ASSERT_NE(window, nullptr);
  test::Pump(*window);
  HWND button = GetDlgItem(window->Handle(), kIdPreview);
  ASSERT_NE(button, nullptr);
  EXPECT_FALSE(IsWindowEnabled(button));

  EditArea& edit = window->Controller().Edit();
  ASSERT_TRUE(edit.OpenForEdit(folder / "cover.mp3"));
  EXPECT_FALSE(IsWindowEnabled(button)) << "a cover image is no video";
  ASSERT_TRUE(edit.OpenForEdit(folder / "h264.mp4"));
  test::Pump(*window);
  ASSERT_TRUE(IsWindowEnabled(button));

  // A click half-way into the waveform, then the button.
  for (const MouseAction action : {MouseAction::Press, MouseAction::Release})
    edit.OnMouse({action, MouseButton::Left, 400, 60}, 800, 200);
  const double seconds = edit.PictureSeconds();
  SendMessageW(button, BM_CLICK, 0, 0);
  auto* preview = static_cast<PreviewWindow*>(window->Preview());
  ASSERT_NE(preview, nullptr);
  ASSERT_TRUE(preview->Shown());
  EXPECT_EQ(WideToUtf8(WindowTextOf(button)), "关闭预览");
  for (int i = 0; i < 100 && preview->Current() == nullptr; ++i) test::Pump(*window, 50);
  const auto picture = preview->Current();
  ASSERT_NE(picture, nullptr);
  EXPECT_NEAR(picture->frameTime, std::floor(seconds * 25 + 1e-6) / 25, 0.002);

  // The picture fills the client area's height or width with its shape
  // kept, and is painted as decoded (no stretch at this size).
  const RECT at = preview->PictureRect();
  const PreviewSize client = preview->ClientSize();
  EXPECT_TRUE(at.right - at.left == client.width || at.bottom - at.top == client.height);
  ASSERT_EQ(at.right - at.left, picture->width);
  ASSERT_EQ(at.bottom - at.top, picture->height);
  const test::Capture shown = test::CaptureClient(preview->Handle());
  double diff = 0;
  for (int y = 0; y < picture->height; ++y)
    for (int x = 0; x < picture->width; ++x) {
      const uint8_t* px = picture->data.data() + size_t(y) * picture->stride + size_t(x) * 4;
      const uint32_t got = shown.At(at.left + x, at.top + y);
      diff += std::abs(int(got & 0xFF) - px[0]) + std::abs(int((got >> 8) & 0xFF) - px[1]) +
              std::abs(int((got >> 16) & 0xFF) - px[2]);
    }
  EXPECT_LT(diff / (3.0 * picture->width * picture->height), 2.0);
  EXPECT_EQ(shown.At(0, 0), 0u) << "black bars around the picture";
  test::Pump(*window, 200);
  test::SaveScreenshot(preview->Handle(), test::ScreenshotPath("win-preview-window"));
  test::SaveScreenshot(window->Handle(), test::ScreenshotPath("win-main-preview-open"));

  // Keys typed into the preview window reach the edit area: Space plays and stops.
  for (const bool playing : {true, false}) {
    PostMessageW(preview->Handle(), WM_KEYDOWN, VK_SPACE, 1);
    PostMessageW(preview->Handle(), WM_KEYUP, VK_SPACE, 1 | (1u << 30) | (1u << 31));
    test::Pump(*window, 30);
    EXPECT_EQ(edit.Playing(), playing);
  }

  // Its close box.
  SetWindowPos(preview->Handle(), nullptr, 40, 50, 500, 320, SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(preview->Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(preview->Shown());
  EXPECT_EQ(WideToUtf8(WindowTextOf(button)), "预览视频");
  IniStore ini(dir / "VeskRecorder.ini");
  ini.Load();
  EXPECT_EQ(ini.GetString("PreviewRect"), "40,50,540,370");
}

}  // namespace
}  // namespace vesk::ui::win
