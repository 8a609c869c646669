#include "record/sample_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace vesk {
namespace {

struct Ring {
  std::atomic<int64_t> head{0};
  SampleRing ring;
  Ring(size_t cap, uint32_t rate, uint32_t channels) {
    ring.Configure(&head, rate, channels);
    ring.Reset(cap);
  }
};

TEST(SampleRingTest, AcceptsOnlyWholeFramesAndKeepsOneFrameFree) {
  Ring r(11, 48000, 2);
  const std::vector<float> data(20, 0.5f);
  EXPECT_EQ(r.ring.Write(data.data(), data.size(), 1000), 8u);  // 4 frames of a longer write
  EXPECT_EQ(r.ring.Write(data.data(), data.size(), 2000), 0u);  // refused entirely
  EXPECT_EQ(r.ring.Available(), 8u);
  std::vector<float> out(3);
  EXPECT_EQ(r.ring.Read(out.data(), 2), 2u);
  // 2 free samples plus the kept frame: one more frame fits, never half of one.
  EXPECT_EQ(r.ring.Write(data.data(), 3, 3000), 2u);
  EXPECT_EQ(r.ring.Available() % 2, 0u);
}

TEST(SampleRingTest, TracksTheHeadTimestampAcrossWritesAndReads) {
  Ring r(96000, 48000, 2);
  std::vector<float> data(960, 0.1f), out(960);
  r.ring.Write(data.data(), 960, 5'000'000);  // 480 frames
  EXPECT_EQ(r.head.load(), 5'000'000);
  r.ring.Write(data.data(), 960, 9'999'999);  // not empty: head stays
  EXPECT_EQ(r.head.load(), 5'000'000);
  r.ring.Read(out.data(), 480);  // 240 frames = 5 ms
  EXPECT_EQ(r.head.load(), 5'050'000);
  // Reaching the second write, the head takes its stamp (not the count from
  // the first: 5 ms of capture time lie between them).
  r.ring.Read(out.data(), 960);
  EXPECT_EQ(r.head.load(), 9'999'999 + 50'000);
  r.ring.Read(out.data(), 960);
  EXPECT_EQ(r.ring.Available(), 0u);
  EXPECT_EQ(r.head.load(), 0);
  r.ring.Write(data.data(), 2, 0);  // no timestamp: head stays unknown
  EXPECT_EQ(r.head.load(), 0);
}

TEST(SampleRingTest, WithoutARateTheHeadDoesNotMove) {
  Ring r(100, 0, 2);
  std::vector<float> data(10, 0.1f), out(10);
  r.ring.Write(data.data(), 10, 777);
  r.ring.Read(out.data(), 4);
  EXPECT_EQ(r.head.load(), 777);
}

TEST(SampleRingTest, WrapsAroundWithoutLosingOrder) {
  Ring r(7, 0, 1);
  float next = 1, expect = 1;
  std::vector<float> in(5), out(5);
  for (int round = 0; round < 50; ++round) {
    for (size_t i = 0; i < in.size(); ++i) in[i] = next + float(i);
    const size_t w = r.ring.Write(in.data(), size_t(1 + round % 5), 1);
    next += float(w);  // refused samples are offered again
    const size_t n = r.ring.Read(out.data(), size_t(1 + (round * 3) % 5));
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], expect++) << round;
  }
}

// A capture thread writing 10 ms packets while a reader takes uneven amounts:
// every frame arrives exactly once and in order.
TEST(SampleRingTest, ConcurrentWriterAndReaderLoseAndDuplicateNothing) {
  constexpr int kChannels = 2;
  constexpr int64_t kFrames = 400'000;
  Ring r(4800 * kChannels, 48000, kChannels);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::vector<float> packet(480 * kChannels);
    int64_t frame = 0;
    while (frame < kFrames && !stop.load()) {
      const int64_t n = std::min<int64_t>(480, kFrames - frame);
      for (int64_t i = 0; i < n; ++i)
        for (int c = 0; c < kChannels; ++c) packet[size_t(i * kChannels + c)] = float(frame + i) + 0.5f * float(c);
      size_t offered = 0;
      while (offered < size_t(n * kChannels) && !stop.load()) {
        const size_t w = r.ring.Write(packet.data() + offered, size_t(n * kChannels) - offered, 1 + frame);
        offered += w;
        if (w == 0) std::this_thread::yield();
      }
      frame += n;
    }
  });
  // However the reader ends (a failed assertion returns at once), the writer
  // is stopped and joined: a joinable thread would end the whole program.
  struct Joiner {
    std::atomic<bool>& stop;
    std::thread& thread;
    ~Joiner() {
      stop.store(true);
      thread.join();
    }
  } joiner{stop, writer};
  std::vector<float> out(8192 * kChannels);
  int64_t expect = 0;
  int chunk = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (expect < kFrames && std::chrono::steady_clock::now() < deadline) {
    const size_t want = size_t((1 + (chunk++ * 977) % 3000) * kChannels);
    const size_t n = r.ring.Read(out.data(), want);
    ASSERT_EQ(n % kChannels, 0u);
    for (size_t i = 0; i < n; i += kChannels) {
      ASSERT_EQ(out[i], float(expect));
      ASSERT_EQ(out[i + 1], float(expect) + 0.5f);
      ++expect;
    }
    if (n == 0) std::this_thread::yield();
  }
  ASSERT_EQ(expect, kFrames) << "the reader waited a minute for the rest";
  EXPECT_EQ(r.ring.Available(), 0u);
}

}  // namespace
}  // namespace vesk
