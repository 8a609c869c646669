#pragma once
// A real recording process killed mid-recording: the test program re-runs
// itself as a child that writes a WAV through WavSink and is then killed
// (SIGKILL on Linux, TerminateProcess on Windows) without any chance to
// seal the file.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "media/audio_format.h"

namespace vesk::test {

constexpr AudioFormat kCrashFormat{48000, 2, 16};
constexpr uint64_t kCrashBlockFrames = 480;  // 10 ms: a refill falls exactly after every 100th block
constexpr uint64_t kCrashBlocks = 350;       // 3.5 s written, last refill after block 300
constexpr uint64_t kCrashDataBytes = kCrashBlocks * kCrashBlockFrames * 4;
constexpr uint64_t kCrashSealedBytes = 300 * kCrashBlockFrames * 4;

// The value the child writes as sample `index`; exact in 16 bits.
float CrashSample(uint64_t index);

// Starts the child recording `path`, waits until all its blocks are on disk,
// calls `whileRecording` with the child still holding the file, then kills
// it. False with `failure` filled when the child did not get there.
bool RecordInChildAndKill(const std::filesystem::path& path, std::string& failure,
                          const std::function<void()>& whileRecording = {});

}  // namespace vesk::test
