#include "audio/device_catalogue.h"

#include "audio/audio_backend.h"

namespace vesk {
namespace {

bool InFlow(const DeviceEntry& e, DeviceFlow flow) { return e.loopback == (flow == DeviceFlow::Render); }

const DeviceEntry* FindById(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, const std::string& id) {
  for (const DeviceEntry& e : catalogue)
    if (InFlow(e, flow) && e.id == id) return &e;
  return nullptr;
}

bool PinnedListedActive(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, const DeviceChoice& choice) {
  if (choice.pinnedId.empty()) return true;
  const DeviceEntry* e = FindById(catalogue, flow, choice.pinnedId);
  return e != nullptr && e->state == kDeviceActive;
}

const char* KindText(DeviceFlow flow) { return flow == DeviceFlow::Capture ? "录音设备" : "播放设备"; }

}  // namespace

const DeviceEntry* CurrentDefault(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow) {
  for (const DeviceEntry& e : catalogue)
    if (InFlow(e, flow) && e.isDefault) return &e;
  for (const DeviceEntry& e : catalogue)
    if (InFlow(e, flow) && e.state == kDeviceActive) return &e;
  return nullptr;
}

DeviceList FillList(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, const DeviceChoice& choice) {
  DeviceList list;
  const bool capture = flow == DeviceFlow::Capture;
  std::string first = "系统默认-";
  if (const DeviceEntry* d = CurrentDefault(catalogue, flow)) {
    first += d->name;
    if (d->state != kDeviceActive) first += "（不工作）";
  } else {
    first += capture ? "无输入" : "无输出";
  }
  list.texts.push_back(first);
  list.values.push_back(kItemSystemDefault);
  int selected = -1;
  bool matched = false;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const DeviceEntry& e = catalogue[i];
    if (!InFlow(e, flow) || e.state != kDeviceActive) continue;
    list.texts.push_back(e.name);
    list.values.push_back(int32_t(i));
    if (!choice.pinnedId.empty() && e.id == choice.pinnedId && !matched) {
      selected = int(list.values.size()) - 1;
      matched = true;
    }
  }
  if (!choice.pinnedId.empty() && choice.pinnedId != "@none" && !matched) {
    const DeviceEntry* e = FindById(catalogue, flow, choice.pinnedId);
    std::string text = (e != nullptr && e->state == kDeviceDisabled) ? "【已禁用】" : "【未连接】";
    text += choice.rememberedName.empty() ? std::string("（原设备）") : choice.rememberedName;
    list.texts.push_back(text);
    list.values.push_back(kItemMissingPinned);
    selected = int(list.values.size()) - 1;
  }
  if (capture) {
    list.texts.push_back("无输入");
    list.values.push_back(kItemNoInput);
    if (choice.pinnedId == "@none") selected = int(list.values.size()) - 1;
  }
  list.selected = selected < 0 ? 0 : selected;
  return list;
}

const DeviceEntry* ResolveSelection(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, int32_t value) {
  if (value == kItemSystemDefault) return CurrentDefault(catalogue, flow);
  if (value < 0 || size_t(value) >= catalogue.size()) return nullptr;
  return &catalogue[size_t(value)];
}

std::string SelectListItem(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, int32_t value,
                           DeviceChoice& choice, bool playing) {
  const bool capture = flow == DeviceFlow::Capture;
  if (value == kItemSystemDefault) {
    choice.pinnedId.clear();
  } else if (value == kItemNoInput) {
    choice.pinnedId = "@none";
    choice.rememberedName = "无输入";
  } else if (value >= 0 && size_t(value) < catalogue.size()) {
    choice.pinnedId = catalogue[size_t(value)].id;
    choice.rememberedName = catalogue[size_t(value)].name;
  }
  if (choice.pinnedId.empty()) choice.rememberedName.clear();

  if (!capture && playing) return "已切换播放设备，从刚才的位置接着播。";
  if (capture && choice.pinnedId == "@none") return "录音设备：无输入，只录电脑声音。";
  if (choice.pinnedId.empty()) {
    std::string text = capture ? "录音设备：跟随系统默认" : "播放设备：跟随系统默认";
    if (const DeviceEntry* d = CurrentDefault(catalogue, flow))
      text += "（当前是「" + d->name + "」）";
    else
      text += "（当前没有可用设备）";
    return text;
  }
  return std::string(capture ? "录音设备已固定为「" : "播放设备已固定为「") + choice.rememberedName +
         "」，系统默认变化不再跟随。";
}

bool FlowHasActiveEntry(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow) {
  for (const DeviceEntry& e : catalogue)
    if (InFlow(e, flow) && e.state == kDeviceActive) return true;
  return false;
}

ListSnapshot TakeSnapshot(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, const DeviceChoice& choice) {
  ListSnapshot s;
  if (const DeviceEntry* d = CurrentDefault(catalogue, flow)) {
    s.hasDefault = true;
    s.defaultId = d->id;
  }
  s.pinned = !choice.pinnedId.empty();
  s.pinnedActive = PinnedListedActive(catalogue, flow, choice);
  return s;
}

std::string ChangeText(const std::vector<DeviceEntry>& after, DeviceFlow flow, const DeviceChoice& choice,
                       const ListSnapshot& before) {
  const std::string kind = KindText(flow);
  if (before.pinned) {
    const bool activeAfter = PinnedListedActive(after, flow, choice);
    if (before.pinnedActive == activeAfter) return {};
    if (before.pinnedActive) return "「" + choice.rememberedName + "」已不可用（" + kind + "），恢复后会自动继续用它。";
    return "「" + choice.rememberedName + "」已恢复可用（" + kind + "）。";
  }
  if (!before.hasDefault) return {};
  const DeviceEntry* now = CurrentDefault(after, flow);
  if (now != nullptr && now->id != before.defaultId)
    return "已跟随系统默认切到「" + now->name + "」（" + kind + "）。";
  if (now == nullptr) return {};
  if (now->state != kDeviceActive)
    return "系统默认「" + now->name + "」现在不工作（" + kind + "），开录会失败——去系统声音设置里启用它，或换一台设备。";
  return {};
}

void DeviceCatalogue::Build() {
  entries_ = backend_.Enumerate();
  FillLists();
}

void DeviceCatalogue::FillLists() {
  captureList_ = FillList(entries_, DeviceFlow::Capture, capture_);
  renderList_ = FillList(entries_, DeviceFlow::Render, render_);
}

std::string DeviceCatalogue::Refresh(bool* changed) {
  const ListSnapshot captureBefore = TakeSnapshot(entries_, DeviceFlow::Capture, capture_);
  const ListSnapshot renderBefore = TakeSnapshot(entries_, DeviceFlow::Render, render_);
  std::vector<DeviceEntry> before = std::move(entries_);
  entries_ = backend_.Enumerate();
  if (changed) *changed = entries_ != before;
  for (DeviceFlow flow : {DeviceFlow::Capture, DeviceFlow::Render}) {
    DeviceChoice& c = Choice(flow);
    if (!c.pinnedId.empty() && c.rememberedName.empty())
      if (const DeviceEntry* e = FindById(entries_, flow, c.pinnedId)) c.rememberedName = e->name;
  }
  FillLists();
  std::string text = ChangeText(entries_, DeviceFlow::Capture, capture_, captureBefore);
  if (text.empty()) text = ChangeText(entries_, DeviceFlow::Render, render_, renderBefore);
  return text;
}

std::string DeviceCatalogue::Select(DeviceFlow flow, int32_t value, bool playing) {
  std::string text = SelectListItem(entries_, flow, value, Choice(flow), playing);
  FillLists();
  return text;
}

bool DeviceRefreshGate::ShouldRefresh(uint64_t nowMs, bool recording) {
  if (recording || !changed_.load(std::memory_order_acquire)) return false;
  if (refreshedOnce_ && nowMs - lastRefreshMs_ < kMinimumIntervalMs) return false;
  const uint64_t lastNotify = lastNotifyMs_.load(std::memory_order_acquire);
  const uint64_t firstNotify = firstNotifyMs_.load(std::memory_order_acquire);
  const bool overdue = firstNotify != kNoBurst && nowMs >= firstNotify && nowMs - firstNotify >= kLongestWaitMs;
  if (!overdue && nowMs >= lastNotify && nowMs - lastNotify < kSettleMs) return false;
  // A notification racing with these two stores is covered by the refresh
  // the caller is about to make.
  changed_.store(false, std::memory_order_release);
  firstNotifyMs_.store(kNoBurst, std::memory_order_release);
  lastRefreshMs_ = nowMs;
  refreshedOnce_ = true;
  return true;
}

std::string RefreshStatus(const std::string& refreshMessage) {
  return refreshMessage.empty() ? std::string("检测到音频设备变化，列表已刷新。") : refreshMessage;
}

}  // namespace vesk
