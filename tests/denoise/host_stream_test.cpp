// The host's memory stream against a plug-in that seeks and writes wherever
// it likes: positions and the size stay within the cap, nothing overflows,
// and what was stored reads back.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "denoise/vst3_host_objects.h"

namespace vesk {
namespace {

using namespace vst;

TEST(HostMemStream, HostileSeeksAndWritesAreRefusedAndTheStreamStaysUsable) {
  constexpr int64 kMax = MemStream::kMaxBytes;
  constexpr int64 kHuge = std::numeric_limits<int64>::max();
  struct Step {
    const char* name;
    int64 pos;
    int32 mode;
    bool accepted;
  };
  const Step seeks[] = {
      {"far past the cap", kHuge, kIBSeekSet, false},
      {"to the lowest value", std::numeric_limits<int64>::min(), kIBSeekSet, false},
      {"before the start", -1, kIBSeekSet, false},
      {"from the end, past the cap", kHuge, kIBSeekEnd, false},
      {"from here, wrapping", kHuge - 3, kIBSeekCur, false},
      {"from here, back before the start", -kMax - 10, kIBSeekCur, false},
      {"exactly to the cap", kMax, kIBSeekSet, true},
      {"one past the cap", 1, kIBSeekCur, false},
      {"unknown mode", 0, 7, false},
  };
  MemStream stream;
  uint8_t payload[4] = {1, 2, 3, 4};
  int32 done = -1;
  ASSERT_EQ(stream.write(payload, 4, &done), kResultOk);
  for (const Step& s : seeks) {
    int64 before = -1, after = -1, result = -1;
    stream.tell(&before);
    const tresult r = stream.seek(s.pos, s.mode, &result);
    stream.tell(&after);
    EXPECT_EQ(r == kResultOk, s.accepted) << s.name;
    EXPECT_EQ(after, s.accepted ? result : before) << s.name;
    EXPECT_GE(after, 0) << s.name;
    EXPECT_LE(after, kMax) << s.name;
  }

  // At the cap: a write would grow the buffer past it and is refused
  // without allocating; a read finds nothing.
  int64 at = 0;
  stream.tell(&at);
  ASSERT_EQ(at, kMax);
  EXPECT_EQ(stream.write(payload, 1, &done), kOutOfMemory);
  EXPECT_EQ(done, 0);
  EXPECT_EQ(stream.Size(), 4u);
  EXPECT_EQ(stream.read(payload, 4, &done), kResultOk);
  EXPECT_EQ(done, 0);

  // Still usable: back to the start, the stored bytes read back.
  ASSERT_EQ(stream.seek(0, kIBSeekSet, nullptr), kResultOk);
  uint8_t back[8] = {};
  EXPECT_EQ(stream.read(back, 8, &done), kResultOk);
  EXPECT_EQ(done, 4);
  EXPECT_EQ(back[3], 4);
  EXPECT_EQ(stream.write(nullptr, -1, &done), kInvalidArgument);
}

}  // namespace
}  // namespace vesk
