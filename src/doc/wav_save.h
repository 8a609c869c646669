#pragma once
// Saving WAV through a staging folder, segment files included.
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "media/audio_sink.h"
#include "media/sample_source.h"
#include "platform/save_staging.h"

namespace vesk {

// Moves staging.File() and the segment files the WAV sink continued it in
// (SegmentPath(File(), 1), 2, …) to `target` and the same segment names
// beside it; `moved` receives the final paths, `target` first.
bool MoveWavSegmentsInto(SaveStaging& staging, const std::filesystem::path& target,
                         std::vector<std::filesystem::path>& moved, std::string& error);

// Writes all of `samples` as WAV of `bits` (see WriteWavFile) through a
// staging folder beside `path`, then moves it into place. Data past one WAV
// file's limit lands in path's segment names; `files` receives every file
// written, `path` first.
bool SaveWavStaged(const std::filesystem::path& path, const AudioFormat& format, const SampleSource& samples,
                   int bits, std::vector<std::filesystem::path>& files, std::string& error,
                   const FramesProgress& progress = {});

}  // namespace vesk
