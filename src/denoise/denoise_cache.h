#pragma once
// The denoised copies of the whole document kept for audition: up to three
// slots, one per level and document revision, guarded by one mutex so the
// background render thread can store its result while the user-interface
// thread looks slots up. A copy longer than the spill limit is read from its
// temporary file, so a slot costs disk rather than memory.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "denoise/denoise_engine.h"

namespace vesk {

class SampleSequence;

// What a denoised copy was made from. A slot matches the document when all
// of it is equal.
struct DenoiseDocKey {
  uint64_t revision = 0;
  uint64_t frames = 0;
  uint32_t rate = 48000;
  uint16_t channels = 2;
  uint16_t bits = 16;
  std::string pluginKey;
  bool operator==(const DenoiseDocKey&) const = default;
};

enum class DenoiseSlotState { Empty = 0, Ready = 2, Failed = 3 };

using SharedSamples = std::shared_ptr<const SampleSequence>;

struct DenoiseSlot {
  DenoiseSlotState state = DenoiseSlotState::Empty;
  DenoiseDocKey key;  // empty slot: revision 0, 48000 Hz, 2 channels, 16 bits, no key
  int level = -1;
  // Shared so that a playback still reading a copy keeps it alive after the
  // slot dropped it.
  SharedSamples samples;
  std::string error;          // failed only
  bool pluginUsable = false;  // failed only: DenoiseAvailable when it failed
  uint64_t lastUsed = 0;
};

// Engine display name + "|x86" (32-bit module) or "|x64".
std::string DenoisePluginKey(const DenoiseEngine& engine);

// Slots one copy of `bytesPerCopy` may have: 60 % of the available room
// (memory, or the temporary folder's disk for copies in files), 1..3; 3 when
// the document is empty or the room is unknown.
int DenoiseCacheCapacity(uint64_t bytesPerCopy, bool memoryKnown, uint64_t available);

class DenoiseCache {
 public:
  static constexpr int kSlots = 3;

  int Capacity() const;
  // Slots at or above the new capacity are emptied.
  void SetCapacity(int capacity);
  // The ready slot for the document and level, or -1; a hit marks it used.
  int Lookup(const DenoiseDocKey& doc, int level, SharedSamples* samples = nullptr);
  // A failed render for the document and level is stored.
  bool HasFailed(const DenoiseDocKey& doc, int level, std::string* error = nullptr) const;
  // Empties slots that no longer match the document, and all beyond the capacity.
  void Invalidate(const DenoiseDocKey& doc);
  // The slot a render of `level` goes to: one holding that level, else an
  // empty one, else one of another revision or plug-in, else the least
  // recently used.
  int ChooseTarget(const DenoiseDocKey& doc, int level) const;
  void Clear(int slot);
  void ClearAll();
  void StoreReady(int slot, const DenoiseDocKey& doc, int level, SharedSamples samples);
  void StoreFailed(int slot, const DenoiseDocKey& doc, int level, std::string error, bool pluginUsable);
  DenoiseSlot Slot(int slot) const;

 private:
  bool Valid(int slot) const { return slot >= 0 && slot < kSlots; }

  mutable std::mutex mutex_;
  DenoiseSlot slots_[kSlots];
  int capacity_ = kSlots;
  uint64_t useCounter_ = 0;  // "last used" order; a counter never ties
};

}  // namespace vesk
