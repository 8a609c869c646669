#pragma once
// The audio endpoints the user can record from or play to, the two device
// lists built from them, the resolution of a list selection and the texts
// that tell the user what changed. Platform-free: the backend (audio_backend.h)
// only enumerates endpoints and reports changes.
//
// Threads: everything here runs on the user-interface thread, except
// DeviceRefreshGate::Notify, which any thread may call.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

enum DeviceState : uint32_t { kDeviceActive = 1, kDeviceDisabled = 2, kDeviceUnplugged = 8 };

struct DeviceEntry {
  std::string id;
  std::string name;
  bool loopback = false;  // a render endpoint (recorded in loopback mode)
  bool isDefault = false;
  uint32_t state = kDeviceActive;
  bool operator==(const DeviceEntry&) const = default;
};

// One list's choice: empty pinned id follows the system default; "@none"
// (capture only) records no microphone.
struct DeviceChoice {
  std::string pinnedId;
  std::string rememberedName;
};

enum class DeviceFlow { Capture = 0, Render = 1 };

// List item values besides catalogue indices.
inline constexpr int32_t kItemSystemDefault = -1;
inline constexpr int32_t kItemMissingPinned = -2;
inline constexpr int32_t kItemNoInput = -3;

struct DeviceList {
  std::vector<std::string> texts;
  std::vector<int32_t> values;
  int selected = 0;
  int32_t SelectedValue() const { return values.empty() ? kItemSystemDefault : values[size_t(selected)]; }
};

// The first entry of the flow flagged default, else its first active entry;
// nullptr when neither exists.
const DeviceEntry* CurrentDefault(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow);

DeviceList FillList(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, const DeviceChoice& choice);

// The entry a list value stands for when a recording starts: the current
// default for -1, nothing for -2/-3 or an index out of range.
const DeviceEntry* ResolveSelection(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, int32_t value);

// The user picked `value` in a list: updates the choice and returns the
// status text. `playing` (render list) gives the device-switch text.
std::string SelectListItem(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, int32_t value,
                           DeviceChoice& choice, bool playing = false);

// True when the list the source needs has an active endpoint (the start
// button's rule).
bool FlowHasActiveEntry(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow);

// What Refresh compares for one list.
struct ListSnapshot {
  std::string defaultId;
  bool hasDefault = false;
  bool pinned = false;
  bool pinnedActive = true;
};
ListSnapshot TakeSnapshot(const std::vector<DeviceEntry>& catalogue, DeviceFlow flow, const DeviceChoice& choice);
// The change text of one list ("" when there is nothing to say).
std::string ChangeText(const std::vector<DeviceEntry>& after, DeviceFlow flow, const DeviceChoice& choice,
                       const ListSnapshot& before);

class AudioDeviceBackend;

// The catalogue with both choices and both lists.
class DeviceCatalogue {
 public:
  explicit DeviceCatalogue(AudioDeviceBackend& backend) : backend_(backend) {}

  // Enumerates and fills both lists (window creation).
  void Build();
  // Enumerates anew, refills both lists and returns the first change text;
  // `changed` says whether any endpoint came, went or changed name, default
  // or state (a stream starting on a sink changes none of these).
  std::string Refresh(bool* changed = nullptr);
  // Fills both lists from the current catalogue and choices.
  void FillLists();
  std::string Select(DeviceFlow flow, int32_t value, bool playing = false);

  const std::vector<DeviceEntry>& Entries() const { return entries_; }
  DeviceChoice& Choice(DeviceFlow flow) { return flow == DeviceFlow::Capture ? capture_ : render_; }
  const DeviceChoice& Choice(DeviceFlow flow) const { return flow == DeviceFlow::Capture ? capture_ : render_; }
  const DeviceList& List(DeviceFlow flow) const { return flow == DeviceFlow::Capture ? captureList_ : renderList_; }
  AudioDeviceBackend& Backend() { return backend_; }

 private:
  AudioDeviceBackend& backend_;
  std::vector<DeviceEntry> entries_;
  DeviceChoice capture_;
  DeviceChoice render_;
  DeviceList captureList_;
  DeviceList renderList_;
};

// Debounce of device-change notifications: a change sets the flag from any
// thread; the 33 ms timer asks ShouldRefresh, which says yes at most once per
// 500 ms, never while recording, and once the notifications have been quiet
// for 150 ms, so that one plug-in (which the system reports as a burst of
// state, add and default changes) gives one refresh, not two. A burst that
// never falls quiet is refreshed at the latest one second after its first
// notification.
class DeviceRefreshGate {
 public:
  static constexpr uint64_t kMinimumIntervalMs = 500;
  static constexpr uint64_t kSettleMs = 150;
  static constexpr uint64_t kLongestWaitMs = 1000;
  void Notify(uint64_t nowMs) {
    uint64_t none = kNoBurst;
    firstNotifyMs_.compare_exchange_strong(none, nowMs, std::memory_order_acq_rel);
    lastNotifyMs_.store(nowMs, std::memory_order_release);
    changed_.store(true, std::memory_order_release);
  }
  bool Pending() const { return changed_.load(std::memory_order_acquire); }
  bool ShouldRefresh(uint64_t nowMs, bool recording);

 private:
  static constexpr uint64_t kNoBurst = UINT64_MAX;
  std::atomic<bool> changed_{false};
  std::atomic<uint64_t> lastNotifyMs_{0};
  std::atomic<uint64_t> firstNotifyMs_{kNoBurst};
  uint64_t lastRefreshMs_ = 0;
  bool refreshedOnce_ = false;
};

// The status after a refresh triggered by a notification.
std::string RefreshStatus(const std::string& refreshMessage);

}  // namespace vesk
