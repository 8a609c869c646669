#include "audio/device_catalogue.h"

#include <gtest/gtest.h>

#include <functional>

namespace vesk {
namespace {

std::vector<DeviceEntry> Catalogue() {
  return {
      {"mic1", "USB 麦克风", false, true, kDeviceActive},
      {"mic2", "线路输入", false, false, kDeviceDisabled},
      {"mic3", "耳机麦克风", false, false, kDeviceUnplugged},
      {"spk1", "扬声器", true, true, kDeviceActive},
      {"spk2", "耳机", true, false, kDeviceActive},
  };
}

struct ListCase {
  const char* name;
  DeviceFlow flow;
  DeviceChoice choice;
  std::vector<std::string> texts;
  std::vector<int32_t> values;
  int selected;
};

class FillListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(FillListTest, BuildsItemsValuesAndSelection) {
  const ListCase& c = GetParam();
  const DeviceList list = FillList(Catalogue(), c.flow, c.choice);
  EXPECT_EQ(list.texts, c.texts);
  EXPECT_EQ(list.values, c.values);
  EXPECT_EQ(list.selected, c.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FillListTest,
    ::testing::Values(
        ListCase{"CaptureFollowingDefault", DeviceFlow::Capture, {}, {"系统默认-USB 麦克风", "USB 麦克风", "无输入"},
                 {-1, 0, -3}, 0},
        ListCase{"CapturePinnedActive", DeviceFlow::Capture, {"mic1", "USB 麦克风"},
                 {"系统默认-USB 麦克风", "USB 麦克风", "无输入"}, {-1, 0, -3}, 1},
        ListCase{"CapturePinnedDisabled", DeviceFlow::Capture, {"mic2", "线路输入"},
                 {"系统默认-USB 麦克风", "USB 麦克风", "【已禁用】线路输入", "无输入"}, {-1, 0, -2, -3}, 2},
        ListCase{"CapturePinnedUnplugged", DeviceFlow::Capture, {"mic3", "耳机麦克风"},
                 {"系统默认-USB 麦克风", "USB 麦克风", "【未连接】耳机麦克风", "无输入"}, {-1, 0, -2, -3}, 2},
        ListCase{"CapturePinnedGoneWithoutName", DeviceFlow::Capture, {"old", ""},
                 {"系统默认-USB 麦克风", "USB 麦克风", "【未连接】（原设备）", "无输入"}, {-1, 0, -2, -3}, 2},
        ListCase{"CaptureNoInput", DeviceFlow::Capture, {"@none", "无输入"},
                 {"系统默认-USB 麦克风", "USB 麦克风", "无输入"}, {-1, 0, -3}, 2},
        ListCase{"RenderPinned", DeviceFlow::Render, {"spk2", "耳机"}, {"系统默认-扬声器", "扬声器", "耳机"},
                 {-1, 3, 4}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceCatalogueRules, EmptyCatalogueSaysNoInputAndNoOutput) {
  const std::vector<DeviceEntry> none;
  EXPECT_EQ(FillList(none, DeviceFlow::Capture, {}).texts, (std::vector<std::string>{"系统默认-无输入", "无输入"}));
  EXPECT_EQ(FillList(none, DeviceFlow::Render, {}).texts, (std::vector<std::string>{"系统默认-无输出"}));
  EXPECT_FALSE(FlowHasActiveEntry(none, DeviceFlow::Capture));
  EXPECT_EQ(ResolveSelection(none, DeviceFlow::Capture, kItemSystemDefault), nullptr);
}

TEST(DeviceCatalogueRules, DefaultThatDoesNotWorkIsMarked) {
  std::vector<DeviceEntry> v = Catalogue();
  v[0].state = kDeviceDisabled;
  EXPECT_EQ(FillList(v, DeviceFlow::Capture, {}).texts[0], "系统默认-USB 麦克风（不工作）");
}

TEST(DeviceCatalogueRules, ResolvesListValuesToEntries) {
  const auto v = Catalogue();
  EXPECT_EQ(ResolveSelection(v, DeviceFlow::Render, kItemSystemDefault)->id, "spk1");
  EXPECT_EQ(ResolveSelection(v, DeviceFlow::Render, 4)->id, "spk2");
  EXPECT_EQ(ResolveSelection(v, DeviceFlow::Capture, kItemMissingPinned), nullptr);
  EXPECT_EQ(ResolveSelection(v, DeviceFlow::Capture, kItemNoInput), nullptr);
  EXPECT_EQ(ResolveSelection(v, DeviceFlow::Capture, 99), nullptr);
}

TEST(DeviceCatalogueRules, SelectingItemsUpdatesChoiceAndStatus) {
  const auto v = Catalogue();
  DeviceChoice c;
  EXPECT_EQ(SelectListItem(v, DeviceFlow::Capture, 0, c), "录音设备已固定为「USB 麦克风」，系统默认变化不再跟随。");
  EXPECT_EQ(c.pinnedId, "mic1");
  EXPECT_EQ(SelectListItem(v, DeviceFlow::Capture, kItemNoInput, c), "录音设备：无输入，只录电脑声音。");
  EXPECT_EQ(c.pinnedId, "@none");
  EXPECT_EQ(c.rememberedName, "无输入");
  EXPECT_EQ(SelectListItem(v, DeviceFlow::Capture, kItemSystemDefault, c), "录音设备：跟随系统默认（当前是「USB 麦克风」）");
  EXPECT_TRUE(c.rememberedName.empty());
  EXPECT_EQ(SelectListItem({}, DeviceFlow::Render, kItemSystemDefault, c), "播放设备：跟随系统默认（当前没有可用设备）");
  DeviceChoice r{"spk2", "耳机"};
  EXPECT_EQ(SelectListItem(v, DeviceFlow::Render, kItemMissingPinned, r), "播放设备已固定为「耳机」，系统默认变化不再跟随。");
  EXPECT_EQ(r.pinnedId, "spk2");
  EXPECT_EQ(SelectListItem(v, DeviceFlow::Render, 3, r, true), "已切换播放设备，从刚才的位置接着播。");
}

struct ChangeCase {
  const char* name;
  DeviceFlow flow;
  DeviceChoice choice;
  std::function<void(std::vector<DeviceEntry>&)> change;
  std::string text;
};

class ChangeTextTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeTextTest, SaysWhatChanged) {
  const ChangeCase& c = GetParam();
  const auto before = Catalogue();
  auto after = before;
  c.change(after);
  EXPECT_EQ(ChangeText(after, c.flow, c.choice, TakeSnapshot(before, c.flow, c.choice)), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangeTextTest,
    ::testing::Values(
        ChangeCase{"PinnedUnplugged", DeviceFlow::Capture, {"mic1", "USB 麦克风"},
                   [](auto& v) { v[0].state = kDeviceUnplugged; },
                   "「USB 麦克风」已不可用（录音设备），恢复后会自动继续用它。"},
        ChangeCase{"PinnedReplugged", DeviceFlow::Capture, {"mic3", "耳机麦克风"},
                   [](auto& v) { v[2].state = kDeviceActive; }, "「耳机麦克风」已恢复可用（录音设备）。"},
        ChangeCase{"PinnedUnchanged", DeviceFlow::Render, {"spk2", "耳机"}, [](auto&) {}, ""},
        ChangeCase{"FollowedDefaultMoved", DeviceFlow::Render, {},
                   [](auto& v) {
                     v[3].isDefault = false;
                     v[4].isDefault = true;
                   },
                   "已跟随系统默认切到「耳机」（播放设备）。"},
        ChangeCase{"FollowedDefaultStopsWorking", DeviceFlow::Capture, {},
                   [](auto& v) { v[0].state = kDeviceDisabled; },
                   "系统默认「USB 麦克风」现在不工作（录音设备），开录会失败——去系统声音设置里启用它，或换一台设备。"},
        ChangeCase{"FollowedDefaultGone", DeviceFlow::Capture, {}, [](auto& v) { v.erase(v.begin(), v.begin() + 3); },
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceRefreshGateTest, TenChangesWithin100MsGiveOneRefresh) {
  DeviceRefreshGate gate;
  int refreshes = 0;
  uint64_t nextNotify = 1000;
  for (uint64_t now = 1000; now < 3000; now += 33) {
    while (nextNotify <= now && nextNotify < 1100) {
      gate.Notify(nextNotify);
      nextNotify += 10;
    }
    if (gate.ShouldRefresh(now, false)) ++refreshes;
  }
  EXPECT_EQ(refreshes, 1);
}

TEST(DeviceRefreshGateTest, NotificationsThatNeverFallQuietRefreshOncePerSecond) {
  DeviceRefreshGate gate;
  std::vector<uint64_t> refreshes;
  for (uint64_t now = 1000; now < 6000; now += 33) {
    gate.Notify(now);  // one every tick: never 150 ms apart
    if (gate.ShouldRefresh(now, false)) refreshes.push_back(now);
  }
  ASSERT_GE(refreshes.size(), 4u);
  EXPECT_LE(refreshes[0], 1000u + 1000u + 33u);
  for (size_t i = 1; i < refreshes.size(); ++i) EXPECT_LE(refreshes[i] - refreshes[i - 1], 1000u + 2 * 33u);
}

TEST(DeviceRefreshGateTest, WaitsWhileRecordingAndKeepsHalfASecondApart) {
  DeviceRefreshGate gate;
  gate.Notify(0);
  EXPECT_FALSE(gate.ShouldRefresh(1000, true));
  EXPECT_TRUE(gate.ShouldRefresh(1000, false));
  gate.Notify(1001);
  EXPECT_FALSE(gate.ShouldRefresh(1400, false));
  EXPECT_TRUE(gate.ShouldRefresh(1500, false));
  EXPECT_FALSE(gate.ShouldRefresh(3000, false)) << "nothing pending";
  EXPECT_EQ(RefreshStatus(""), "检测到音频设备变化，列表已刷新。");
}

}  // namespace
}  // namespace vesk
