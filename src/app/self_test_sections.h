#pragma once
// The sections of the self-test, in the files that hold them. Each appends
// its heading, check lines and explanations to the report.
#include <filesystem>
#include <numbers>

#include "app/self_test_report.h"

namespace vesk {

inline constexpr double kTwoPi = 2 * std::numbers::pi;

struct SelfTestContext {
  SelfTestReport& report;
  std::filesystem::path folder;  // where the scratch files go
  std::filesystem::path File(const char* name) const { return folder / name; }
};

// self_test_rules.cpp: the mixer's rate conversion and the pacing, play-head,
// modified-flag and session-log rules.
void SelfTestMixResampling(SelfTestContext& c);
void SelfTestSingleSourceFill(SelfTestContext& c);
void SelfTestTwoSourceTimeline(SelfTestContext& c);
void SelfTestRateGate(SelfTestContext& c);
void SelfTestPlayHead(SelfTestContext& c);
void SelfTestPositionCap(SelfTestContext& c);
void SelfTestSessionLogRules(SelfTestContext& c);

// self_test_files.cpp: the document's modified flag, bit depths and
// resampling, float precision, segments, recovery, the helper, the preview
// decoder and the window frame geometry.
void SelfTestModifiedFlag(SelfTestContext& c);
void SelfTestBitDepths(SelfTestContext& c);
void SelfTestFloatPrecision(SelfTestContext& c);
void SelfTestSegments(SelfTestContext& c);
void SelfTestRecovery(SelfTestContext& c);
void SelfTestHelper(SelfTestContext& c);
void SelfTestPreviewDecoder(SelfTestContext& c);
void SelfTestFrameGeometry(SelfTestContext& c);

}  // namespace vesk
