#include "denoise/denoise_cache.h"

#include <algorithm>

namespace vesk {

std::string DenoisePluginKey(const DenoiseEngine& engine) {
  if (engine.builtin) return kBuiltinEngineName;
  return engine.displayName + (engine.architecture == 2 ? "|x86" : "|x64");
}

int DenoiseCacheCapacity(uint64_t bytesPerCopy, bool memoryKnown, uint64_t available) {
  if (bytesPerCopy == 0 || !memoryKnown) return DenoiseCache::kSlots;
  const uint64_t fit = uint64_t(0.6 * double(available)) / bytesPerCopy;
  return int(std::clamp<uint64_t>(fit, 1, DenoiseCache::kSlots));
}

int DenoiseCache::Capacity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capacity_;
}

void DenoiseCache::SetCapacity(int capacity) {
  std::lock_guard<std::mutex> lock(mutex_);
  capacity_ = std::clamp(capacity, 1, kSlots);
  for (int i = capacity_; i < kSlots; ++i) slots_[i] = DenoiseSlot{};
}

int DenoiseCache::Lookup(const DenoiseDocKey& doc, int level, SharedSamples* samples) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < capacity_; ++i) {
    DenoiseSlot& s = slots_[i];
    if (s.state == DenoiseSlotState::Ready && s.level == level && s.key == doc) {
      s.lastUsed = ++useCounter_;
      if (samples) *samples = s.samples;
      return i;
    }
  }
  return -1;
}

bool DenoiseCache::HasFailed(const DenoiseDocKey& doc, int level, std::string* error) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < capacity_; ++i) {
    const DenoiseSlot& s = slots_[i];
    if (s.state == DenoiseSlotState::Failed && s.level == level && s.key == doc) {
      if (error) *error = s.error;
      return true;
    }
  }
  return false;
}

void DenoiseCache::Invalidate(const DenoiseDocKey& doc) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < kSlots; ++i) {
    DenoiseSlot& s = slots_[i];
    if (s.state == DenoiseSlotState::Empty) continue;
    if (i >= capacity_ || !(s.key == doc)) s = DenoiseSlot{};
  }
}

int DenoiseCache::ChooseTarget(const DenoiseDocKey& doc, int level) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < capacity_; ++i)
    if (slots_[i].level == level) return i;
  for (int i = 0; i < capacity_; ++i)
    if (slots_[i].state == DenoiseSlotState::Empty) return i;
  for (int i = 0; i < capacity_; ++i)
    if (slots_[i].key.revision != doc.revision || slots_[i].key.pluginKey != doc.pluginKey) return i;
  int oldest = 0;
  for (int i = 1; i < capacity_; ++i)
    if (slots_[i].lastUsed < slots_[oldest].lastUsed) oldest = i;
  return oldest;
}

void DenoiseCache::Clear(int slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Valid(slot)) slots_[slot] = DenoiseSlot{};
}

void DenoiseCache::ClearAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (DenoiseSlot& s : slots_) s = DenoiseSlot{};
}

void DenoiseCache::StoreReady(int slot, const DenoiseDocKey& doc, int level, SharedSamples samples) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Valid(slot)) return;
  DenoiseSlot& s = slots_[slot];
  s.state = DenoiseSlotState::Ready;
  s.key = doc;
  s.level = level;
  s.samples = std::move(samples);
  s.error.clear();
  s.pluginUsable = true;
  s.lastUsed = ++useCounter_;
}

void DenoiseCache::StoreFailed(int slot, const DenoiseDocKey& doc, int level, std::string error, bool pluginUsable) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Valid(slot)) return;
  DenoiseSlot& s = slots_[slot];
  s.state = DenoiseSlotState::Failed;
  s.key = doc;
  s.level = level;
  s.samples.reset();
  s.error = std::move(error);
  s.pluginUsable = pluginUsable;
  s.lastUsed = ++useCounter_;
}

DenoiseSlot DenoiseCache::Slot(int slot) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Valid(slot) ? slots_[slot] : DenoiseSlot{};
}

}  // namespace vesk
