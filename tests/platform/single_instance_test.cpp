// One claim per name: a second start sees the first, and a claim ends with
// its owner.
#include <gtest/gtest.h>

#include "platform/single_instance.h"
#include "platform/system_info.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(SingleInstance, TheSecondClaimSeesTheFirstUntilItEnds) {
  test::ScratchDir dir;
  SingleInstanceOptions options;
  options.name = "VeskTest.SingleInstance." + std::to_string(CurrentProcessId());
  options.windowClass = "VESKNoSuchWindowClass";
  options.folder = dir.path();
  auto first = ClaimSingleInstance(options);
  EXPECT_TRUE(first->IsFirst());
  {
    auto second = ClaimSingleInstance(options);
    EXPECT_FALSE(second->IsFirst());
    EXPECT_FALSE(first->RaiseRunning({}));  // only a second start asks
  }
  first.reset();
  EXPECT_TRUE(ClaimSingleInstance(options)->IsFirst());
  options.name += ".other";
  EXPECT_TRUE(ClaimSingleInstance(options)->IsFirst());
}

}  // namespace
}  // namespace vesk
