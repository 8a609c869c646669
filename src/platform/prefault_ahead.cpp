#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/memory.h"

namespace vesk {

namespace {
// Small enough that the caller, filling from the front, soon finds its pages
// committed; large enough that the per-call cost does not matter.
constexpr size_t kSlice = size_t(8) << 20;
}  // namespace

struct PrefaultAhead::Helper {
  std::atomic<bool> stop{false};
  std::thread thread;
};

PrefaultAhead::PrefaultAhead(void* data, size_t bytes) {
  if (!data || std::thread::hardware_concurrency() < 2 || !PrefaultWorthwhile(bytes)) return;
  try {
    helper_ = new Helper;
    helper_->thread = std::thread([helper = helper_, base = static_cast<uint8_t*>(data), bytes] {
      for (size_t offset = 0; offset < bytes && !helper->stop.load(std::memory_order_relaxed); offset += kSlice)
        PrefaultBuffer(base + offset, std::min(kSlice, bytes - offset));
    });
  } catch (const std::exception&) {
    // No thread: the caller's own page faults commit the buffer.
    delete helper_;
    helper_ = nullptr;
  }
}

PrefaultAhead::~PrefaultAhead() {
  if (!helper_) return;
  helper_->stop.store(true, std::memory_order_relaxed);
  helper_->thread.join();
  delete helper_;
}

}  // namespace vesk
