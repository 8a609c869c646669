#pragma once
// The two diagnostic switches of the mixer (environment variables, see the
// README): VESK_MIX_NO_PACING=1 turns the wall-clock pacing of two-source
// recordings off (read once per process); VESK_MIX_LOG_INTERVAL=<1..100000>
// sets how many Pulls lie between two MIX log lines (read at every Start).
#include <cstdint>

namespace vesk {

inline constexpr const char* kPacingBypassVariable = "VESK_MIX_NO_PACING";
inline constexpr const char* kLogIntervalVariable = "VESK_MIX_LOG_INTERVAL";
inline constexpr int64_t kDefaultMixLogInterval = 50;

// On when the value begins with the character 1.
bool PacingBypassValue(const char* value);
// The interval held by value, or fallback when it is absent or not a whole
// number from 1 to 100000.
int64_t LogIntervalValue(const char* value, int64_t fallback);

// The switches as set in this process.
bool PacingBypassSwitch();
int64_t LogIntervalSwitch();

}  // namespace vesk
