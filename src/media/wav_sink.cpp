#include "media/wav_sink.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/wav_format.h"
#include "platform/text.h"

namespace vesk {

namespace fs = std::filesystem;

namespace {

const char kCreateFailed[] = "无法创建输出文件（路径可能不存在或没有写权限）。";
const char kHeaderFailed[] = "写入 WAV 头失败。";
const char kWriteFailed[] = "写盘失败（磁盘可能已满）。";
const char kRefillFailed[] = "回填 WAV 文件头失败，文件可能不完整。";
const char kBadFormat[] = "输出格式不受支持（采样率、声道数或位深不合法）。";

// The RIFF size (data + 36) must fit 32 bits whatever threshold a caller sets.
constexpr uint64_t kLargestSegment = 0xFFFFFFFFull - 36;

std::atomic<uint64_t> gSegmentThreshold{kDefaultSegmentThreshold};

// Clamped to [-1, 1]; NaN becomes 0 (it would make the integer conversion
// undefined). Kept free of branches so the loops vectorise (see
// CMakeLists.txt for the flags this file gets).
inline float Sanitize(float v) {
  v = std::min(std::max(v, -1.0f), 1.0f);
  return v == v ? v : 0.0f;
}

void Convert16(const float* __restrict in, size_t n, uint8_t* __restrict out) {
  for (size_t i = 0; i < n; ++i) {
    const float v = Sanitize(in[i]);
    // Exact in float: |v × 32768| ≤ 32768 and the half needs one more bit.
    // Half away from zero, then truncation toward zero; only +32768 needs
    // the clamp.
    const int32_t x = std::min(int32_t(v * 32768.0f + std::copysign(0.5f, v)), 32767);
    const int16_t stored = int16_t(x);
    std::memcpy(out + 2 * i, &stored, 2);  // little-endian targets only
  }
}

void Convert24(const float* __restrict in, size_t n, uint8_t* __restrict out) {
  for (size_t i = 0; i < n; ++i) {
    const float v = Sanitize(in[i]);
    // Double: 2^23 plus a half does not fit a float mantissa.
    const double scaled = double(v) * 8388608.0 + std::copysign(0.5, double(v));
    const int32_t x = std::min(int32_t(scaled), 8388607);
    out[3 * i] = uint8_t(x);
    out[3 * i + 1] = uint8_t(x >> 8);
    out[3 * i + 2] = uint8_t(x >> 16);
  }
}

}  // namespace

uint64_t SegmentThreshold() { return gSegmentThreshold.load(); }

uint64_t SetSegmentThreshold(uint64_t bytes) { return gSegmentThreshold.exchange(bytes); }

fs::path SegmentPath(const fs::path& basePath, uint32_t number) {
  using String = fs::path::string_type;
  const String& s = basePath.native();
  const fs::path::value_type separators[] = {'/', fs::path::preferred_separator, 0};
  const size_t dot = s.find_last_of('.');
  const size_t sep = s.find_last_of(separators);
  String stem = s;
  String extension;
  if (dot != String::npos && (sep == String::npos || dot > sep)) {
    stem = s.substr(0, dot);
    extension = s.substr(dot);
  } else {
    const char wav[] = ".wav";
    extension.assign(wav, wav + 4);
  }
  const std::string suffix = Format("_%02u", unsigned(number));
  return fs::path(stem + String(suffix.begin(), suffix.end()) + extension);
}

WavSink::~WavSink() { file_.Close(); }

bool WavSink::Open(const fs::path& path, const AudioFormat& format, uint32_t /*bitrateKbps*/, std::string& error) {
  if (file_.IsOpen()) {
    std::string ignored;
    Close(ignored);
  }
  if ((format.bits != 16 && format.bits != 24 && format.bits != 32) || format.channels == 0 ||
      format.sampleRate == 0) {
    error = kBadFormat;
    return false;
  }
  format_ = format;
  basePath_ = path;
  segmentNumber_ = 1;
  totalBytes_.store(0, std::memory_order_relaxed);
  if (!OpenFile(path, error)) return false;
  const uint64_t perSecond = uint64_t(format.bits / 8) * format.channels * format.sampleRate;
  refillInterval_ = perSecond != 0 ? perSecond : 1048576;
  return true;
}

bool WavSink::OpenFile(const fs::path& path, std::string& error) {
  if (!file_.OpenWriteClaimed(path)) {
    error = kCreateFailed;
    return false;
  }
  const auto header = BuildWavHeader(format_, 0);
  if (!file_.Write(header.data(), header.size())) {
    error = kHeaderFailed;
    file_.Close();
    return false;
  }
  headerBytes_ = kWavHeaderBytes;
  segmentBytes_ = 0;
  bytesAtLastRefill_ = 0;
  return true;
}

bool WavSink::Write(const float* samples, size_t count, std::string& error) {
  if (!file_.IsOpen() || count == 0) return true;
  const size_t sampleBytes = format_.bits / 8;
  const uint64_t threshold = std::min(SegmentThreshold(), kLargestSegment);
  // A block bigger than a whole segment is split at frames; normal blocks
  // (a fraction of a second) go out in one piece and one write call.
  const uint64_t frameBytes = uint64_t(sampleBytes) * format_.channels;
  const uint64_t pieceFrames = std::max<uint64_t>(1, threshold / frameBytes);
  const size_t pieceSamples = size_t(std::min<uint64_t>(pieceFrames * format_.channels, count));
  for (size_t offset = 0; offset < count; offset += pieceSamples) {
    if (!file_.IsOpen()) return true;
    if (!WritePiece(samples + offset, std::min(pieceSamples, count - offset), error)) return false;
  }
  return true;
}

bool WavSink::WritePiece(const float* samples, size_t count, std::string& error) {
  const size_t bytes = count * (format_.bits / 8);
  // Float goes out as it is (little-endian targets): no copy needed.
  const uint8_t* data = reinterpret_cast<const uint8_t*>(samples);
  if (format_.bits != 32) {
    buffer_.resize(bytes);
    if (format_.bits == 16)
      Convert16(samples, count, buffer_.data());
    else
      Convert24(samples, count, buffer_.data());
    data = buffer_.data();
  }
  const uint64_t threshold = std::min(SegmentThreshold(), kLargestSegment);
  // An empty segment never rolls: the next one could not hold the block either.
  if (segmentBytes_ > 0 && bytes + segmentBytes_ > threshold && !RollSegment(error)) return false;
  if (!file_.Write(data, bytes)) {
    error = kWriteFailed;
    // Back to the end of the counted data, so a retry after a partial write
    // overwrites the torn block instead of shifting every later frame.
    file_.Seek(int64_t(headerBytes_ + segmentBytes_));
    return false;
  }
  segmentBytes_ += bytes;
  totalBytes_.fetch_add(bytes, std::memory_order_relaxed);
  if (segmentBytes_ - bytesAtLastRefill_ >= refillInterval_) {
    // On the disk, not only in the page cache: after a power cut the file
    // must hold what its header promises, up to the last second. The data
    // goes first, so the header never counts bytes the disk does not have.
    // A failure here is harmless (Close reports a lasting one).
    if (flushAtRefresh_) file_.Flush();
    RewriteHeader();
    if (flushAtRefresh_) file_.Flush();
  }
  return true;
}

bool WavSink::RewriteHeader() {
  if (!file_.IsOpen()) return false;
  const auto header = BuildWavHeader(format_, uint32_t(segmentBytes_));
  const bool written = file_.Seek(0) && file_.Write(header.data(), header.size());
  // Always back to the end of the data: later writes must append, never
  // overwrite audio.
  const bool restored = file_.Seek(int64_t(headerBytes_ + segmentBytes_));
  bytesAtLastRefill_ = segmentBytes_;
  return written && restored;
}

bool WavSink::RollSegment(std::string& error) {
  if (!RewriteHeader()) {
    error = kRefillFailed;
    file_.Close();
    return false;
  }
  file_.Flush();
  file_.Close();
  const fs::path next = SegmentPath(basePath_, segmentNumber_);
  ++segmentNumber_;
  return OpenFile(next, error);
}

bool WavSink::Close(std::string& error) {
  if (!file_.IsOpen()) return true;
  const bool sealed = RewriteHeader();
  const bool flushed = file_.Flush();
  file_.Close();
  if (!sealed) {
    error = kRefillFailed;
    return false;
  }
  if (!flushed) {
    // The data never reached the disk; success would be a lie.
    error = kWriteFailed;
    return false;
  }
  return true;
}

bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const std::vector<float>& samples,
                   std::string& error, const FramesProgress& progress) {
  const size_t total = samples.size();
  if (total == 0) return true;
  const size_t channels = format.channels != 0 ? format.channels : 1;
  size_t chunk = size_t(format.sampleRate / 2) * channels;
  if (chunk == 0 || chunk > total) chunk = total;
  const uint64_t totalFrames = total / channels;
  for (size_t offset = 0; offset < total; offset += chunk) {
    const size_t length = std::min(chunk, total - offset);
    if (!sink.Write(samples.data() + offset, length, error)) return false;
    if (progress) {
      const uint64_t done = std::min<uint64_t>((offset + length) / channels, totalFrames);
      if (!progress(done, totalFrames)) {
        error.clear();
        return false;
      }
    }
  }
  return true;
}

bool WriteWavFile(const fs::path& path, const AudioFormat& format, const std::vector<float>& samples,
                  std::string& error, int bits, const FramesProgress& progress) {
  AudioFormat stored = format;
  stored.bits = uint16_t(bits == 24 || bits == 32 ? bits : 16);
  WavSink sink;
  // A whole buffer is written far faster than real time and sealed (and
  // flushed) at Close; flushing every second of audio would only slow it.
  sink.SetFlushAtRefresh(false);
  if (!sink.Open(path, stored, 0, error)) return false;
  const bool written = WriteInChunks(sink, stored, samples, error, progress);
  // Sealed whatever happened, so a failed or cancelled export leaves a
  // shorter but valid file.
  std::string closeError;
  if (!sink.Close(closeError)) {
    error = closeError;
    return false;
  }
  return written;
}

}  // namespace vesk
