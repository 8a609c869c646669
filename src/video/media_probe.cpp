#include "video/media_probe.h"

#include <cstring>
#include <system_error>

#include "core/app_log.h"
#include "media/ffmpeg_url.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process_info.h"
#include "platform/text.h"
#include "video/ffmpeg_runner.h"
#include "video/probe_stages.h"

namespace vesk {

namespace {

constexpr int64_t kMuxProbeLimitMs = 20000;

uint32_t First32(const MediaSubtype& s) {
  return uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
}

// The FourCC subtypes share this tail: {xxxxxxxx-0000-0010-8000-00AA00389B71}.
bool IsFourccSubtype(const MediaSubtype& s) {
  static const uint8_t kTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  return std::memcmp(s.data() + 4, kTail, 12) == 0;
}

constexpr uint32_t Fourcc(const char (&c)[5]) {
  return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
         uint32_t(uint8_t(c[3])) << 24;
}

// DirectShow MPEG2_VIDEO {e06d8026-db46-11cf-b4d1-00805f6cbbea}.
const MediaSubtype kMpeg2Video = {0x26, 0x80, 0x6d, 0xe0, 0x46, 0xdb, 0xcf, 0x11,
                                  0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea};

}  // namespace

std::string CodecNameForSubtype(const MediaSubtype& subtype) {
  if (subtype == kMpeg2Video) return "mpeg2video";
  if (!IsFourccSubtype(subtype)) return {};
  switch (First32(subtype)) {
    case Fourcc("H264"): return "h264";
    case Fourcc("HEVC"): return "hevc";
    case Fourcc("VP80"): return "vp8";
    case Fourcc("VP90"): return "vp9";
    case Fourcc("AV01"): return "av1";
    case Fourcc("MP4V"): return "mpeg4";
    case Fourcc("MJPG"): return "mjpeg";
    default: return {};
  }
}

std::string SubtypeDisplayName(const MediaSubtype& subtype) {
  if (subtype == kMpeg2Video) return "MPEG2";
  const uint32_t v = First32(subtype);
  if (IsFourccSubtype(subtype)) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
      const char c = char(v >> (8 * i));
      s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
  }
  return Format("%08X", v);
}

bool MuxProbe(const std::filesystem::path& ffmpeg, const std::filesystem::path& source) {
  if (ffmpeg.empty()) return false;
  const std::filesystem::path temp = TempDir();
  if (temp.empty()) return false;
  // A private folder of our own: ffmpeg -y would follow a link planted at a
  // predictable name in the shared temp folder.
  std::error_code ec;
  std::filesystem::path dir;
  for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
    const std::filesystem::path candidate =
        temp / Format("VESK_muxprobe_%u_%d", unsigned(CurrentProcessId()), attempt);
    if (std::filesystem::create_directory(candidate, ec) && !ec) dir = candidate;
  }
  if (dir.empty()) return false;
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, ec);

  const std::string base = Format("VESK_muxprobe_%u", unsigned(CurrentProcessId()));
  bool passed = false;
  std::filesystem::path lastOutput;
  for (const auto& [container, extension] : {std::pair{"mp4", ".mp4"}, std::pair{"matroska", ".mkv"}}) {
    const std::filesystem::path output = dir / (base + extension);
    lastOutput = output;
    std::string text;
    const bool ok = RunFfmpeg(ffmpeg,
                              {"-v", "error", "-nostdin", "-y", "-i", FfmpegFileUrl(source), "-map", "0:v:0",
                               "-c:v", "copy", "-t", "0.2", "-f", container, FfmpegFileUrl(output)},
                              text, kMuxProbeLimitMs, {});
    if (ok) {
      AppLog("[probe] muxprobe %s OK", container);
      passed = true;
      break;
    }
    AppLog("[probe] muxprobe %s FAIL: %s", container, text.c_str());
  }
  // At most one leftover probe file stays in the temp folder.
  for (const char* extension : {".mp4", ".mkv"}) {
    const std::filesystem::path output = dir / (base + extension);
    if (std::filesystem::exists(output, ec)) std::filesystem::rename(output, temp / "VESK_muxprobe.old", ec);
  }
  std::filesystem::remove_all(dir, ec);
  return passed;
}

bool ProbeVideo(const std::filesystem::path& path, VideoProbeResult& result, std::string& error,
                const std::filesystem::path& ffmpeg) {
  result = VideoProbeResult{};
  error.clear();
  const std::string name = PathToUtf8(path);
  // The readers below (and ffmpeg) would wait forever on a FIFO or device.
  if (IsSpecialFile(path)) {
    error = kSpecialFileText;
    return false;
  }

  SystemProbeInfo sys;
  const bool readerOk = SystemReaderProbe(path, sys);
  if (readerOk && sys.hasVideo) {
    result.hasVideo = true;
    result.videoStream = sys.videoStream;
    result.subtype = sys.subtype;
    result.duration = sys.duration;
    result.codec = SubtypeDisplayName(sys.subtype);
    const std::string lib = CodecNameForSubtype(sys.subtype);
    result.canExport = lib == "h264";
    result.canMux = !lib.empty() && MuxHeaderTestByName(lib);
    AppLog("[probe] mf ok %s sub=%08X canExport=%d canMux=%d", name.c_str(), First32(sys.subtype),
           int(result.canExport), int(result.canMux));
    if (result.canMux) return true;

    LibProbeInfo lib2;
    std::string libError;
    if (LibProbeVideo(path, lib2, libError) && lib2.hasVideo) {
      result.canMux = lib2.canMux;
      result.codec = lib2.codec;
      result.viaFfmpeg = true;
      AppLog("[probe] mf recheck %s probe-lib canMux=%d codec=%s", name.c_str(), int(lib2.canMux),
             lib2.codec.c_str());
    }
    if (!result.canMux) {
      const std::filesystem::path exe = ffmpeg.empty() ? LocateFfmpeg({}).path : ffmpeg;
      if (MuxProbe(exe, path)) {
        result.canMux = true;
        result.viaFfmpeg = true;
        AppLog("[probe] mf recheck %s muxprobe passed -> canMux=1", name.c_str());
      }
    }
    return true;
  }

  LibProbeInfo lib;
  std::string libError;
  if (LibProbeVideo(path, lib, libError)) {
    result.hasVideo = lib.hasVideo;
    result.canMux = lib.canMux;
    result.canExport = lib.hasVideo && lib.codec == "h264" && PassThroughFromLibProbe();
    result.viaFfmpeg = lib.hasVideo || !readerOk;
    result.videoStream = 0;
    result.duration = lib.duration > 0 ? lib.duration : (readerOk ? sys.duration : 0);
    result.codec = lib.codec;
    AppLog("[probe] ffmpeg hasVideo=%d codec=%s canMux=%d dur=%.2f", int(result.hasVideo), lib.codec.c_str(),
           int(result.canMux), result.duration);
    // A picture no header test accepts may still copy with the real program
    // (codecs whose muxer support the libraries of this build lack).
    if (result.hasVideo && !result.canMux) {
      const std::filesystem::path exe = ffmpeg.empty() ? LocateFfmpeg({}).path : ffmpeg;
      if (MuxProbe(exe, path)) {
        result.canMux = true;
        AppLog("[probe] ffmpeg recheck %s muxprobe passed -> canMux=1", name.c_str());
      }
    }
    return true;
  }
  if (readerOk) {
    result.duration = sys.duration;
    AppLog("[probe] mf only hasVideo=%d dur=%.2f", 0, sys.duration);
    return true;
  }
  error = "这个文件打不开（不是认识的视频，或缺解码器）。";
  AppLog("[probe] fail %s verr=%s", name.c_str(), libError.c_str());
  return false;
}

}  // namespace vesk
