#pragma once
// The start of a capture stream whose source may hand it, in a burst, audio it
// buffered before the stream was opened (a pipe source's backlog, a monitor's
// history). That audio predates the start button and is not continuous with
// the present, so it is dropped whole, never cut into pieces.
//
// The rule: a stream cannot have captured more than the time since it was
// attached to its source (from the connect request, or from the server's
// later word that it attached). After each packet, every frame in front of
// "frames received − frames possible since attaching" is stale; the largest such count seen
// so far marks the end of the stale front. A burst is only recognised as
// such once it has arrived completely, so the first packets are held back:
// until 10 ms of frames have arrived without raising the stale mark (the
// stream has fallen back to the pace of real time; a busy server stalls in
// the middle of a burst, and the one-frame piece it sends next raises
// nothing) at least 10 ms after the oldest held one, and never longer than
// 100 ms (the mixers wait 600 ms for a late source before they fill silence). Held packets that turn out stale are
// dropped whole, the first kept one loses its stale front and a 5 ms guard
// past it (nothing before it is kept, so nothing is spliced), and from then
// on every packet passes unchanged.
//
// Threads: the capture thread only (Begin before its first packet).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vesk {

class StartupBacklog {
 public:
  // How long the first packets wait for the rest of a burst (100-ns ticks).
  static constexpr int64_t kSettleTicks = 100'000;
  static constexpr int64_t kHoldTicks = 1'000'000;

  // Receives a packet that is kept: bytes (null for a silent packet), frame
  // count, the capture timestamp of its first frame and its arrival time.
  using Sink = std::function<void(const uint8_t* data, size_t frames, int64_t stamp, int64_t arrival)>;

  // Starts over for a stream connected at `connectTick` (100-ns clock).
  // Reserves room for one second of held packets.
  void Begin(int64_t connectTick, uint32_t rate, size_t bytesPerFrame);
  // The server reports the stream attached to its source at `tick`: nothing
  // the source handed over can have been captured for this stream before
  // then. The count of possible frames starts there instead of at the
  // connect request (a busy server attaches tens of milliseconds after it,
  // and a count from the request would keep that much of a backlog). Only
  // ever moves the start later; ignored once packets pass straight through.
  void Attached(int64_t tick);
  // One packet as the device delivered it; `stamp` is its first frame's
  // capture time, `now` the arrival time. Kept packets go to `sink`, possibly
  // later (with a later packet) and never out of order.
  void Take(const uint8_t* data, size_t frames, int64_t stamp, int64_t now, const Sink& sink);
  // True once packets pass straight through.
  bool Passing() const { return passing_; }
  // Frames dropped as stale so far.
  uint64_t DroppedFrames() const { return dropped_; }

 private:
  struct Held {
    size_t offset;   // into bytes_, or npos for a silent packet
    size_t frames;
    uint64_t index;  // position of its first frame in the stream
    int64_t stamp;
    int64_t arrival;
  };
  void DropStaleFront();
  void Release(const Sink& sink);

  int64_t connectTick_ = 0;
  uint32_t rate_ = 0;
  size_t bytesPerFrame_ = 0;
  bool passing_ = true;
  uint64_t received_ = 0;
  uint64_t stale_ = 0;
  uint64_t calm_ = 0;
  uint64_t dropped_ = 0;
  std::vector<uint8_t> bytes_;
  std::vector<Held> held_;
  size_t first_ = 0;  // first live entry of held_
};

}  // namespace vesk
