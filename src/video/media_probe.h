#pragma once
// What a media file offers for the edited-video export: is there a picture,
// can it be stream-copied into MP4/MKV, can the pass-through engine take it.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vesk {

using MediaSubtype = std::array<uint8_t, 16>;  // GUID in its memory layout

struct VideoProbeResult {
  bool hasVideo = false;
  bool canExport = false;  // the pass-through engine can write it
  bool canMux = false;     // the picture fits MP4 or MKV by stream copy
  bool viaFfmpeg = false;  // answered by FFmpeg / ffmpeg
  uint32_t videoStream = 0;
  MediaSubtype subtype{};  // zero when FFmpeg answered
  double duration = 0;     // seconds, 0 when unknown
  std::string codec;
};

// Probes in three stages: system reader, FFmpeg libraries with a header
// test, then a real 0.2 s stream copy with the ffmpeg program. `ffmpeg` may
// be empty (located when needed). False only when nothing can open the file.
bool ProbeVideo(const std::filesystem::path& path, VideoProbeResult& result, std::string& error,
                const std::filesystem::path& ffmpeg);

// A 0.2 s stream copy of the first picture stream into MP4, then MKV.
bool MuxProbe(const std::filesystem::path& ffmpeg, const std::filesystem::path& source);

// FFmpeg codec name of a system subtype ("h264", "hevc", ...; empty when none).
std::string CodecNameForSubtype(const MediaSubtype& subtype);
// Readable FourCC-style rendering of a subtype for messages.
std::string SubtypeDisplayName(const MediaSubtype& subtype);

}  // namespace vesk
