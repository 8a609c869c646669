// A recording's data and header reach the disk at each per-second header
// refresh, not only the page cache. Observed through the kernel's page
// flags of the file's cached pages (needs root for the page frame numbers).
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "media/wav_sink.h"
#include "support/test_support.h"

namespace vesk {
namespace {

// Cached pages of `path` not yet on the disk (dirty or under writeback);
// -1 when the system does not tell.
int UnwrittenPages(const std::filesystem::path& path) {
  constexpr uint64_t kDirty = 1ull << 4, kWriteback = 1ull << 8;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0) return -1;
  const long pageSize = sysconf(_SC_PAGESIZE);
  const size_t pages = size_t((st.st_size + pageSize - 1) / pageSize);
  void* map = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return -1;
  const int pagemap = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
  const int kpageflags = open("/proc/kpageflags", O_RDONLY | O_CLOEXEC);
  int unwritten = 0;
  for (size_t i = 0; i < pages && unwritten >= 0; ++i) {
    const auto* page = static_cast<const volatile uint8_t*>(map) + i * size_t(pageSize);
    (void)*page;  // maps the cached page
    uint64_t entry = 0, flags = 0;
    const uint64_t frame = (reinterpret_cast<uintptr_t>(page) / uint64_t(pageSize));
    if (pagemap < 0 || kpageflags < 0 || pread(pagemap, &entry, 8, off_t(frame * 8)) != 8 ||
        !(entry >> 63) || (entry & ((1ull << 55) - 1)) == 0 ||
        pread(kpageflags, &flags, 8, off_t((entry & ((1ull << 55) - 1)) * 8)) != 8) {
      unwritten = -1;
      break;
    }
    if (flags & (kDirty | kWriteback)) ++unwritten;
  }
  if (pagemap >= 0) close(pagemap);
  if (kpageflags >= 0) close(kpageflags);
  munmap(map, size_t(st.st_size));
  return unwritten;
}

TEST(WavSinkDurability, HeaderRefreshPutsDataAndHeaderOnTheDisk) {
  test::ScratchDir dir;
  struct statfs fsInfo {};
  if (statfs(dir.path().c_str(), &fsInfo) != 0 || fsInfo.f_type == TMPFS_MAGIC)
    GTEST_SKIP() << "a file system in memory has no disk to reach";
  WavSink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(dir / "rec.wav", AudioFormat{16000, 2, 16}, 0, error)) << error;
  const std::vector<float> halfSecond(16000, 0.25f);
  ASSERT_TRUE(sink.Write(halfSecond.data(), halfSecond.size(), error));
  const int before = UnwrittenPages(dir / "rec.wav");
  if (before <= 0) GTEST_SKIP() << "page flags cannot be read here, or the system wrote back on its own";

  ASSERT_TRUE(sink.Write(halfSecond.data(), halfSecond.size(), error));  // one second: the refresh
  EXPECT_EQ(UnwrittenPages(dir / "rec.wav"), 0);
  ASSERT_TRUE(sink.Write(halfSecond.data(), 100, error));  // and writing goes on after it
  ASSERT_TRUE(sink.Close(error)) << error;
  EXPECT_EQ(std::filesystem::file_size(dir / "rec.wav"), 44u + 2 * (2 * 16000 + 100));
}

}  // namespace
}  // namespace vesk
