#include <gtest/gtest.h>
#include <stdlib.h>

#include "record/mixer_rig.h"
#include "record/mixer_switches.h"

namespace vesk {
namespace {

TEST(MixerLogIntervalSwitchTest, IsReadAtEveryStart) {
  test::MixRig rig;
  ::setenv(kLogIntervalVariable, "7", 1);
  ASSERT_TRUE(rig.Start(true, false));
  EXPECT_EQ(rig.mixer.LogInterval(), 7);
  for (int i = 0; i < 70; ++i) rig.PullOnce();
  EXPECT_EQ(rig.CountLines("[mix] MIX pace="), 10);
  rig.mixer.Stop();
  rig.Drain();

  ::unsetenv(kLogIntervalVariable);
  ASSERT_TRUE(rig.Start(true, false));
  EXPECT_EQ(rig.mixer.LogInterval(), 50);
  rig.mixer.Stop();
}

}  // namespace
}  // namespace vesk
