// The second start asks the first to come forward over its socket and hands
// over its file; a lock left by a killed first instance does not block the
// next start.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <vector>
#include <cstring>
#include <mutex>

#include "platform/single_instance.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(SingleInstanceLinux, TheSecondStartRaisesTheFirstThroughItsSocket) {
  test::ScratchDir dir;
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::filesystem::path> handed;
  SingleInstanceOptions options;
  options.name = "VeskRecorder.SingleInstance.test";
  options.folder = dir.path();
  options.raiseRequested = [&](const std::filesystem::path& file) {
    std::lock_guard<std::mutex> lock(m);
    handed.push_back(file);
    cv.notify_all();
  };
  auto first = ClaimSingleInstance(options);
  ASSERT_TRUE(first->IsFirst());
  options.raiseRequested = nullptr;
  const std::filesystem::path files[] = {"", "/home/u/录音 1.wav", "/tmp/a\nb.mkv"};
  for (const std::filesystem::path& file : files) {
    auto second = ClaimSingleInstance(options);
    ASSERT_FALSE(second->IsFirst());
    EXPECT_TRUE(second->RaiseRunning(file));
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(2), [&] { return !handed.empty(); }));
    EXPECT_EQ(handed.back(), file);
    handed.clear();
  }
  first.reset();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "VeskRecorder.SingleInstance.test.sock"));

  // A first instance that was killed leaves its lock file (no longer locked)
  // and a socket file nobody listens on; the next start takes both over.
  const std::filesystem::path stale = dir.path() / "VeskRecorder.SingleInstance.test.sock";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, stale.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(std::filesystem::exists(stale));
  auto next = ClaimSingleInstance(options);
  EXPECT_TRUE(next->IsFirst());
  auto again = ClaimSingleInstance(options);
  EXPECT_FALSE(again->IsFirst());
  EXPECT_TRUE(again->RaiseRunning({}));
}

}  // namespace
}  // namespace vesk
