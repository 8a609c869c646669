#pragma once

namespace vesk {
inline constexpr const char* kVersion = "0.9.124";
inline constexpr const char* kProductTitle = "VeskRecorder 录音机";
}  // namespace vesk
