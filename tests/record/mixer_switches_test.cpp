#include "record/mixer_switches.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(MixerSwitchesTest, PacingBypassNeedsALeadingOne) {
  struct Case {
    const char* value;
    bool on;
  } cases[] = {{nullptr, false}, {"", false}, {"1", true}, {"1yes", true}, {"0", false}, {" 1", false},
               {"true", false}};
  for (const auto& c : cases) EXPECT_EQ(PacingBypassValue(c.value), c.on) << (c.value ? c.value : "(unset)");
}

TEST(MixerSwitchesTest, LogIntervalTakesWholeNumbersFromOneTo100000) {
  struct Case {
    const char* value;
    int64_t interval;
  } cases[] = {{nullptr, 50}, {"", 50},        {"1", 1},          {"100000", 100000}, {"100001", 50},
               {"0", 50},     {"-5", 50},      {"12abc", 50},     {" 25 ", 25},       {"99999999999", 50},
               {"+7", 50},    {"3.5", 50}};
  for (const auto& c : cases) EXPECT_EQ(LogIntervalValue(c.value, 50), c.interval) << (c.value ? c.value : "(unset)");
}

}  // namespace
}  // namespace vesk
