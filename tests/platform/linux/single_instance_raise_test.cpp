// The second start asks the first to come forward over its socket; a lock
// left by a killed first instance does not block the next start.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
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
  int raised = 0;
  SingleInstanceOptions options;
  options.name = "VeskRecorder.SingleInstance.test";
  options.folder = dir.path();
  options.raiseRequested = [&] {
    std::lock_guard<std::mutex> lock(m);
    ++raised;
    cv.notify_all();
  };
  auto first = ClaimSingleInstance(options);
  ASSERT_TRUE(first->IsFirst());
  options.raiseRequested = nullptr;
  for (int round = 1; round <= 2; ++round) {
    auto second = ClaimSingleInstance(options);
    ASSERT_FALSE(second->IsFirst());
    EXPECT_TRUE(second->RaiseRunning());
    std::unique_lock<std::mutex> lock(m);
    EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(2), [&] { return raised == round; }));
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
  EXPECT_TRUE(again->RaiseRunning());
}

}  // namespace
}  // namespace vesk
