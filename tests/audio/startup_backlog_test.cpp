// The start-up backlog filter on packet patterns seen from a real server:
// a pipe source's full pipe handed over in 1023+1-frame pieces within a
// millisecond of connecting, then 10 ms periods at the pace of real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/startup_backlog.h"

namespace vesk {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int64_t kMs = 10'000;  // 100-ns ticks

struct Packet {
  int64_t arrival;  // ticks after connecting
  size_t frames;
};

struct Delivered {
  std::vector<uint32_t> frames;  // stream positions, in delivery order
  int64_t firstArrival = -1;
};

// Feeds the packets (each frame carries its position in the stream) and
// collects what comes out; the server reports the stream attached `attach`
// after connecting, before the first packet.
Delivered Feed(const std::vector<Packet>& packets, int64_t attach) {
  const int64_t connect = 1'000'000'000;
  StartupBacklog backlog;
  backlog.Begin(connect, kRate, sizeof(uint32_t));
  backlog.Attached(connect + attach);
  Delivered out;
  uint32_t position = 0;
  for (const Packet& p : packets) {
    std::vector<uint32_t> data(p.frames);
    for (uint32_t& v : data) v = position++;
    const int64_t now = connect + p.arrival;
    backlog.Take(reinterpret_cast<const uint8_t*>(data.data()), p.frames, now - int64_t(p.frames) * 10'000'000 / kRate,
                 now, [&](const uint8_t* bytes, size_t frames, int64_t, int64_t) {
                   if (out.firstArrival < 0) out.firstArrival = now - connect;
                   const size_t at = out.frames.size();
                   out.frames.resize(at + frames);
                   std::memcpy(out.frames.data() + at, bytes, frames * sizeof(uint32_t));
                 });
  }
  return out;
}

// 480-frame periods every 10 ms from `first` to one second.
void AddPeriods(std::vector<Packet>& v, int64_t first) {
  for (int64_t t = first; t < 1000 * kMs; t += 10 * kMs) v.push_back({t, 480});
}

TEST(StartupBacklog, DropsAWholeBurstAndKeepsTheRestContinuous) {
  struct Case {
    const char* name;
    size_t backlog;            // frames of the burst before the first period
    int64_t attach;            // the server's word that the stream is attached
    int64_t burst;             // arrival of the burst
    int64_t firstPeriod;       // arrival of the first 10 ms period
    int64_t stall;             // the server stops inside the burst (before the 9th one-frame piece)
    int64_t front;             // the first frame kept, past the backlog (with the 5 ms guard)
  } cases[] = {{"FullPipe", 16 * 1024, 0, 5'000, 7 * kMs + 5'000, 0, 360},
               {"NoBacklog", 0, 0, 5'000, 5 * kMs + 7'000, 0, 446},
               // A busy server attaches the stream late; the burst follows,
               // and right behind it a period captured before it attached.
               {"FullPipeAttachedLate", 16 * 1024, 9 * kMs + 7'000, 9 * kMs + 7'400, 11 * kMs + 1'600, 0, 650},
               {"FullPipeAttached28MsLate", 16 * 1024, 28 * kMs, 28 * kMs + 500, 35 * kMs, 0, 384},
               // The periods that come due meanwhile follow the burst's end.
               {"FullPipeServerStalled12Ms", 16 * 1024, 0, 5'000, 7 * kMs + 5'000, 12 * kMs, 360}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Packet> packets;
    int64_t burstEnd = 0;
    for (size_t i = 0; i < c.backlog / 1024; ++i) {
      packets.push_back({c.burst + int64_t(i) * 400 + (i > 8 ? c.stall : 0), 1023});
      packets.push_back({c.burst + int64_t(i) * 400 + 100 + (i >= 8 ? c.stall : 0), 1});
      burstEnd = packets.back().arrival;
    }
    const size_t burstPackets = packets.size();
    AddPeriods(packets, c.firstPeriod);
    for (size_t i = burstPackets; i < packets.size(); ++i) packets[i].arrival = std::max(packets[i].arrival, burstEnd);
    const Delivered d = Feed(packets, c.attach);
    ASSERT_FALSE(d.frames.empty());
    // Nothing of the burst, and of the first period only what can have been
    // captured after the stream was attached (it began 10 ms before it
    // arrived).
    EXPECT_NEAR(double(d.frames.front()), double(c.backlog + c.front), 2.0);
    // Never spliced: every later frame follows its predecessor.
    for (size_t i = 1; i < d.frames.size(); ++i) ASSERT_EQ(d.frames[i], d.frames[i - 1] + 1) << "at " << i;
    EXPECT_EQ(d.frames.back() + 1, c.backlog + (packets.size() - c.backlog / 1024 * 2) * 480);
    // The first audio is handed on before the mixer would fill silence.
    EXPECT_LE(d.firstArrival, 100 * kMs + c.firstPeriod);
  }
}

}  // namespace
}  // namespace vesk
