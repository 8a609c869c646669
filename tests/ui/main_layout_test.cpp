// The main window's control table and the geometry of its own frame.
#include <gtest/gtest.h>

#include "ui/control_ids.h"
#include "ui/main_layout.h"
#include "ui/window_geometry.h"

namespace vesk::ui {
namespace {

// Width of a text in 96-DPI units at the window's 9-point font, estimated on
// the wide side: CJK and symbols 12, ASCII 7.
int TextWidth(const std::string& text, bool largeFont) {
  int w = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    w += n == 1 ? 7 : 12;
    i += n;
  }
  return largeFont ? w * 8 / 5 : w;
}

// Room a control needs around its text: button face, menu arrow, list arrow.
int Padding(ControlKind kind) {
  switch (kind) {
    case ControlKind::Button:
    case ControlKind::OwnerButton: return 8;
    case ControlKind::SplitButton: return 24;
    case ControlKind::DropDown: return 22;
    default: return 0;
  }
}

struct Expected {
  int id;
  ControlKind kind;
  std::string label;
  std::vector<std::string> options;
};

const std::vector<Expected>& Table() {
  static const std::vector<Expected> table = {
      {kIdCaptureDevice, ControlKind::DropDown, "", {}},
      {kIdSoundSettings, ControlKind::Button, "声音设置", {}},
      {kIdRenderDevice, ControlKind::DropDown, "", {}},
      {kIdChannels, ControlKind::DropDown, "", {"立体声", "单声道"}},
      {kIdFormat, ControlKind::DropDown, "", {"MP3", "WAV(无损)"}},
      {kIdBitrate, ControlKind::DropDown, "", {"320kbps", "256kbps", "192kbps", "128kbps"}},
      {kIdSampleRate, ControlKind::DropDown, "", {"44100", "48000"}},
      {kIdBitDepth, ControlKind::DropDown, "", {"16bit", "24bit", "32bit浮点"}},
      {kIdOutputDir, ControlKind::ReadOnlyEdit, "", {}},
      {kIdChangeDir, ControlKind::Button, "更改位置", {}},
      {kIdRecord, ControlKind::OwnerButton, "●  开始录音", {}},
      {kIdRecordSource, ControlKind::DropDown, "", {"麦克风", "电脑声音", "麦克风和电脑声音"}},
      {kIdPause, ControlKind::Button, "⏸  暂停", {}},
      {kIdOpenLocation, ControlKind::Button, "打开位置", {}},
      {kIdOpenMedia, ControlKind::Button, "打开音视频", {}},
      {kIdPreview, ControlKind::Button, "预览视频", {}},
      {kIdHome, ControlKind::Button, "|◀  Home", {}},
      {kIdPlay, ControlKind::Button, "▶ 播放 (Space)", {}},
      {kIdSaveWav, ControlKind::SplitButton, "剪辑后另存WAV", {}},
      {kIdSaveMp3, ControlKind::SplitButton, "剪辑后另存MP3", {}},
      {kIdSaveVideo, ControlKind::SplitButton, "剪辑后另存视频", {}},
      {kIdUndo, ControlKind::Button, "撤销", {}},
      {kIdRedo, ControlKind::Button, "重做", {}},
      {kIdTrim, ControlKind::Button, "裁剪到选区", {}},
      {kIdDelete, ControlKind::Button, "删除选区", {}},
      {kIdSilence, ControlKind::Button, "选区静音", {}},
      {kIdDenoiseSelection, ControlKind::SplitButton, "选区降噪", {}},
      {kIdSelectAll, ControlKind::Button, "全选", {}},
      {kIdWebSite, ControlKind::Button, "官网 ↗", {}},
      {kIdDonate, ControlKind::Button, "捐赠作者", {}},
      {kIdDenoise, ControlKind::SplitButton, "降噪", {}},
      {kIdLoudness, ControlKind::SplitButton, "响度标准化", {}},
  };
  return table;
}

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
  return a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom();
}

class LayoutAtSize : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(LayoutAtSize, HoldsEveryControlInsideTheClientWithoutOverlapOrClipping) {
  const auto [w, h] = GetParam();
  const auto layout = MainLayout(w, h);
  for (const Expected& e : Table()) {
    const LayoutControl* c = FindControl(layout, e.id);
    ASSERT_NE(c, nullptr) << e.id;
    EXPECT_EQ(c->kind, e.kind) << e.id;
    EXPECT_EQ(c->label, e.label) << e.id;
    EXPECT_EQ(c->options, e.options) << e.id;
  }
  for (const char* label : {"录音设备", "播放设备", "声道", "格式", "码率", "采样率", "位深", "保存到"}) {
    const auto it = std::find_if(layout.begin(), layout.end(),
                                 [&](const LayoutControl& c) { return c.kind == ControlKind::Label && c.label == label; });
    EXPECT_NE(it, layout.end()) << label;
  }
  for (const char* key : {"status", "size", "meterInfo", "clock", "editorInfo", "wave", "meter"})
    EXPECT_NE(FindControl(layout, std::string(key)), nullptr) << key;
  EXPECT_EQ(FindControl(layout, std::string("wave"))->kind, ControlKind::Wave);
  EXPECT_EQ(FindControl(layout, std::string("clock"))->label, "00:00:00.0");

  for (size_t i = 0; i < layout.size(); ++i) {
    const LayoutControl& a = layout[i];
    const std::string name = a.label.empty() ? (a.key.empty() ? std::to_string(a.id) : a.key) : a.label;
    EXPECT_GT(a.rect.w, 0) << name;
    EXPECT_GT(a.rect.h, 0) << name;
    EXPECT_GE(a.rect.x, 0) << name;
    EXPECT_GE(a.rect.y, 0) << name;
    EXPECT_LE(a.rect.Right(), w) << name;
    EXPECT_LE(a.rect.Bottom(), h) << name;
    int text = TextWidth(a.label, a.largeFont);
    for (const std::string& o : a.options) text = std::max(text, TextWidth(o, false));
    EXPECT_LE(text + Padding(a.kind), a.rect.w) << name;
    for (size_t j = i + 1; j < layout.size(); ++j)
      EXPECT_FALSE(Overlap(a.rect, layout[j].rect)) << name << " / " << layout[j].label << layout[j].key;
  }
}

INSTANTIATE_TEST_SUITE_P(ClientSizes, LayoutAtSize,
                         ::testing::Values(std::make_pair(750, 600), std::make_pair(800, 600),
                                           std::make_pair(1920, 1080)));

TEST(MainLayout, ExtraHeightGoesToTheWaveformAndTheStatusRowStaysAtTheBottom) {
  const auto small = MainLayout(800, 600);
  const auto tall = MainLayout(800, 900);
  for (size_t i = 0; i < small.size(); ++i) {
    const LayoutControl& a = small[i];
    const LayoutControl& b = tall[i];
    if (a.key == "wave") {
      EXPECT_EQ(b.rect.h, a.rect.h + 300);
    } else if (a.rect.y > FindControl(small, std::string("wave"))->rect.y) {
      EXPECT_EQ(b.rect.y, a.rect.y + 300) << a.label << a.key;  // the status row
    } else {
      EXPECT_EQ(b.rect.y, a.rect.y) << a.label << a.key;
    }
    EXPECT_EQ(b.rect.h == a.rect.h, a.key != "wave") << a.label << a.key;
  }
  // Below the minimum the window is laid out as the minimum.
  const auto tiny = MainLayout(300, 200);
  EXPECT_EQ(FindControl(tiny, std::string("status"))->rect.Bottom(),
            FindControl(MainLayout(750, 600), std::string("status"))->rect.Bottom());
}

TEST(WindowGeometry, CaptionHitTestFindsTheButtonsAndLeavesTheBordersToTheSystem) {
  struct Case {
    int x, y;
    bool maximized;
    unsigned dpi;
    CaptionHit hit;
  };
  const int W = 800;
  const Case cases[] = {
      {W - 46, 10, false, 96, CaptionHit::Close},     {W - 47, 10, false, 96, CaptionHit::Maximize},
      {W - 92, 10, false, 96, CaptionHit::Maximize},  {W - 93, 10, false, 96, CaptionHit::Minimize},
      {W - 138, 10, false, 96, CaptionHit::Minimize}, {W - 139, 10, false, 96, CaptionHit::Caption},
      {300, 33, false, 96, CaptionHit::Caption},      {300, 34, false, 96, CaptionHit::Default},
      {W - 5, 10, false, 96, CaptionHit::Default},    {4, 10, false, 96, CaptionHit::Default},
      {W - 46, 4, false, 96, CaptionHit::Default},    {W - 46, 4, true, 96, CaptionHit::Close},
      {W - 69, 10, false, 144, CaptionHit::Close},    {W - 70, 10, false, 144, CaptionHit::Maximize},
      {300, 50, false, 144, CaptionHit::Caption},     {300, 51, false, 144, CaptionHit::Default},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitTestCaption(c.x, c.y, W, c.maximized, c.dpi), c.hit)
        << "x=W-" << W - c.x << " y=" << c.y << " dpi=" << c.dpi << " max=" << c.maximized;
  }
}

TEST(WindowGeometry, MinimumTrackSizeAndShadowRingsScaleWithTheDpi) {
  EXPECT_EQ(MinimumTrackSize(96).width, 750);
  EXPECT_EQ(MinimumTrackSize(96).height, 634);
  EXPECT_EQ(MinimumTrackSize(144, 16, 8).width, 1125 + 16);
  EXPECT_EQ(MinimumTrackSize(144, 16, 8).height, 951 + 8);
  const uint32_t background = 0xF0F0F0;
  for (unsigned dpi : {96u, 144u, 192u}) {
    const auto rings = ShadowRings(dpi, background);
    ASSERT_EQ(rings.size(), size_t(std::max(2, ScaleUnits(4, dpi)))) << dpi;
    EXPECT_EQ(rings.back().color, background) << dpi;
    for (size_t i = 0; i < rings.size(); ++i) {
      EXPECT_EQ(rings[i].inset, int(i)) << dpi;
      if (i > 0) {
        EXPECT_GE(rings[i].color & 0xFF, rings[i - 1].color & 0xFF) << dpi;  // lighter inwards
      }
    }
    EXPECT_LT(rings.front().color & 0xFF, background & 0xFF) << dpi;
  }
}

}  // namespace
}  // namespace vesk::ui
