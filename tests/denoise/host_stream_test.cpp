// The host's memory stream against a plug-in that seeks and writes wherever
// it likes: nothing overflows, the position stays within the cap, and the
// stream stays usable.
#include <gtest/gtest.h>

#include <limits>

#include "denoise/vst3_host_objects.h"

namespace vesk {
namespace {

using namespace vst;

TEST(HostMemStream, HostileSeeksAndWritesAreRefusedAndTheStreamStaysUsable) {
  constexpr int64 kMax = MemStream::kMaxBytes, kHuge = std::numeric_limits<int64>::max();
  struct Seek {
    int64 pos;
    int32 mode;
    bool accepted;
  };
  MemStream stream;
  uint8_t bytes[4] = {1, 2, 3, 4};
  int32 done = -1;
  ASSERT_EQ(stream.write(bytes, 4, &done), kResultOk);
  for (const Seek s : {Seek{kHuge, kIBSeekSet, false}, Seek{std::numeric_limits<int64>::min(), kIBSeekSet, false},
                       Seek{-1, kIBSeekSet, false}, Seek{kHuge, kIBSeekEnd, false}, Seek{kHuge - 3, kIBSeekCur, false},
                       Seek{-kMax - 10, kIBSeekCur, false}, Seek{0, 7, false}, Seek{kMax, kIBSeekSet, true},
                       Seek{1, kIBSeekCur, false}}) {
    int64 before = -1, after = -1;
    stream.tell(&before);
    EXPECT_EQ(stream.seek(s.pos, s.mode, nullptr) == kResultOk, s.accepted) << s.pos << " mode " << s.mode;
    stream.tell(&after);
    EXPECT_EQ(after, s.accepted ? s.pos : before) << s.pos;
  }
  // At the cap a write would grow the buffer past it: refused, nothing
  // allocated; a read there finds nothing.
  EXPECT_EQ(stream.write(bytes, 1, &done), kOutOfMemory);
  EXPECT_EQ(stream.Size(), 4u);
  EXPECT_EQ(stream.read(bytes, 4, &done), kResultOk);
  EXPECT_EQ(done, 0);
  ASSERT_EQ(stream.seek(0, kIBSeekSet, nullptr), kResultOk);
  uint8_t back[8] = {};
  EXPECT_EQ(stream.read(back, 8, &done), kResultOk);
  EXPECT_EQ(done, 4);
  EXPECT_EQ(back[3], 4);
}

}  // namespace
}  // namespace vesk
