// The preview thread with a scripted picture source: the newest request wins
// while a decode is running, pictures are not handed out twice, and stopping
// leaves nothing running.
#include "video/preview_follower.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk {
namespace {

// The gate the scripted source waits at; owned by the test, so it outlives
// the follower (which owns the source).
struct Gate {
  std::mutex mutex;
  std::condition_variable open, entered;
  bool released = false;
  int calls = 0;
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    open.notify_all();
  }
  void WaitEntered() {
    std::unique_lock<std::mutex> lock(mutex);
    entered.wait(lock, [this] { return calls > 0; });
  }
};

// Frames every 100 ms; every PictureAt waits until the gate is released.
class GatedSource final : public PreviewPictureSource {
 public:
  explicit GatedSource(Gate& gate) : gate_(gate) {}
  bool PictureAt(double seconds, int width, int height, PreviewPixels pixels, PreviewPicture& out,
                 std::string& error) override {
    std::unique_lock<std::mutex> lock(gate_.mutex);
    ++gate_.calls;
    gate_.entered.notify_all();
    gate_.open.wait(lock, [this] { return gate_.released; });
    if (seconds < 0) {
      error = "坏请求";
      return false;
    }
    out.width = width;
    out.height = height;
    out.pixels = pixels;
    out.frameTime = std::floor(seconds * 10) / 10;
    out.requested = seconds;
    out.data.assign(size_t(width * height * 3), uint8_t(out.frameTime * 10));
    return true;
  }

 private:
  Gate& gate_;
};

struct Received {
  std::mutex mutex;
  std::vector<double> times;
  std::vector<std::string> errors;
};

TEST(PreviewFollowerTest, NewestRequestWinsAndRepeatsAreNotDelivered) {
  Gate source;
  Received got;
  PreviewFollower follower(std::make_unique<GatedSource>(source), [&](std::shared_ptr<const PreviewPicture> p, const std::string& e) {
    std::lock_guard<std::mutex> lock(got.mutex);
    if (p) got.times.push_back(p->requested);
    else got.errors.push_back(e);
  });
  follower.Request(0.05, 32, 18);
  source.WaitEntered();  // the first decode is under way and held
  for (int i = 1; i <= 100; ++i) follower.Request(i * 0.01, 32, 18);  // a scrub while it decodes
  source.Release();
  ASSERT_TRUE(follower.WaitIdle(5000));
  PreviewFollower::Counts counts = follower.Statistics();
  EXPECT_EQ(counts.requested, 101u);
  EXPECT_EQ(counts.superseded, 99u);
  EXPECT_EQ(counts.decoded, 2u);
  {
    std::lock_guard<std::mutex> lock(got.mutex);
    ASSERT_EQ(got.times.size(), 2u);
    EXPECT_DOUBLE_EQ(got.times[1], 1.0);  // the newest position, not the ones in between
  }

  // Requests inside the same frame decode but deliver nothing new; an error
  // is delivered once, and the picture after it again.
  follower.Request(1.02, 32, 18);
  ASSERT_TRUE(follower.WaitIdle(5000));
  follower.Request(-1, 32, 18);
  ASSERT_TRUE(follower.WaitIdle(5000));
  follower.Request(-2, 32, 18);
  ASSERT_TRUE(follower.WaitIdle(5000));
  follower.Request(1.03, 32, 18);
  ASSERT_TRUE(follower.WaitIdle(5000));
  follower.Request(1.04, 64, 36);  // a new size is a new picture
  ASSERT_TRUE(follower.WaitIdle(5000));
  counts = follower.Statistics();
  EXPECT_EQ(counts.decoded, 7u);
  EXPECT_EQ(counts.delivered, 5u);
  std::lock_guard<std::mutex> lock(got.mutex);
  EXPECT_EQ(got.errors, std::vector<std::string>{"坏请求"});
  EXPECT_EQ(got.times, (std::vector<double>{0.05, 1.0, 1.03, 1.04}));
}

TEST(PreviewFollowerTest, StoppingDuringADecodeServesNothingMore) {
  Gate source;
  int delivered = 0;
  auto follower = std::make_unique<PreviewFollower>(
      std::make_unique<GatedSource>(source), [&](std::shared_ptr<const PreviewPicture>, const std::string&) { ++delivered; });
  follower->Request(0.5, 8, 8);
  source.WaitEntered();
  follower->Request(0.9, 8, 8);  // waiting behind the running decode
  std::thread release([&source] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    source.Release();
  });
  follower.reset();  // returns once the running decode is done
  release.join();
  EXPECT_EQ(source.calls, 1);
  EXPECT_LE(delivered, 1);
}

TEST(FitPreviewSizeTest, KeepsTheShapeInsideTheBox) {
  struct Case {
    int sw, sh, bw, bh, w, h;
  } cases[] = {{1920, 1080, 320, 240, 320, 180}, {1080, 1920, 320, 240, 135, 240}, {640, 480, 320, 240, 320, 240},
               {100, 1, 50, 50, 50, 1},          {0, 480, 320, 240, 0, 0},         {640, 480, 0, 240, 0, 0},
               {65536, 65536, 8192, 8192, 8192, 8192}};
  for (const Case& c : cases) {
    const PreviewSize s = FitPreviewSize(c.sw, c.sh, c.bw, c.bh);
    EXPECT_EQ(s.width, c.w) << c.sw << "x" << c.sh;
    EXPECT_EQ(s.height, c.h) << c.sw << "x" << c.sh;
  }
}

}  // namespace
}  // namespace vesk
