// Minimal stand-in for the WAV writer until the full sink is merged: whole
// buffers only, no segments, no periodic header refresh.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/wav_format.h"
#include "media/wav_sink.h"
#include "platform/file.h"

namespace vesk {

bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const std::vector<float>& samples,
                   std::string& error, const FramesProgress& progress) {
  const size_t total = samples.size();
  if (total == 0) return true;
  const size_t channels = format.channels ? format.channels : 1;
  size_t chunk = size_t(format.sampleRate / 2) * channels;
  if (chunk == 0 || chunk > total) chunk = total;
  for (size_t offset = 0; offset < total; offset += chunk) {
    const size_t n = std::min(chunk, total - offset);
    if (!sink.Write(samples.data() + offset, n, error)) return false;
    if (progress && !progress(std::min<uint64_t>((offset + n) / channels, total / channels), total / channels)) {
      error.clear();
      return false;
    }
  }
  return true;
}

namespace {

class TempWavSink final : public AudioSink {
 public:
  explicit TempWavSink(int bits) : bits_(bits) {}
  bool Open(const std::filesystem::path& path, const AudioFormat& format, uint32_t, std::string& error) override {
    format_ = format;
    format_.bits = uint16_t(bits_);
    if (!file_.OpenWrite(path)) {
      error = "无法创建输出文件（路径可能不存在或没有写权限）。";
      return false;
    }
    const auto header = BuildWavHeader(format_, 0);
    if (!file_.Write(header.data(), header.size())) {
      error = "写入 WAV 头失败。";
      file_.Close();
      return false;
    }
    return true;
  }
  bool Write(const float* samples, size_t n, std::string& error) override {
    if (!file_.IsOpen() || n == 0) return true;
    const size_t bytesPer = size_t(bits_ / 8);
    buffer_.resize(n * bytesPer);
    for (size_t i = 0; i < n; ++i) {
      uint8_t* out = buffer_.data() + i * bytesPer;
      if (bits_ == 32) {
        std::memcpy(out, &samples[i], 4);
        continue;
      }
      const double scale = bits_ == 24 ? 8388608.0 : 32768.0;
      double v = std::clamp(double(samples[i]), -1.0, 1.0) * scale;
      v = v >= 0 ? v + 0.5 : v - 0.5;
      const int32_t q = int32_t(std::clamp(std::trunc(v), -scale, scale - 1));
      for (size_t b = 0; b < bytesPer; ++b) out[b] = uint8_t(uint32_t(q) >> (8 * b));
    }
    if (!file_.Write(buffer_.data(), buffer_.size())) {
      error = "写盘失败（磁盘可能已满）。";
      return false;
    }
    bytes_ += buffer_.size();
    return true;
  }
  bool Close(std::string& error) override {
    if (!file_.IsOpen()) return true;
    const auto header = BuildWavHeader(format_, uint32_t(bytes_));
    const bool ok = file_.Seek(0) && file_.Write(header.data(), header.size());
    file_.Close();
    if (!ok) error = "回填 WAV 文件头失败，文件可能不完整。";
    return ok;
  }
  uint64_t BytesWritten() const override { return bytes_; }
  int32_t ActualBitrateKbps() const override { return 0; }

 private:
  int bits_;
  AudioFormat format_;
  File file_;
  uint64_t bytes_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace

bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format, const std::vector<float>& samples,
                  std::string& error, int bits, const FramesProgress& progress) {
  TempWavSink sink(bits == 24 || bits == 32 ? bits : 16);
  if (!sink.Open(path, format, 0, error)) return false;
  const bool written = WriteInChunks(sink, format, samples, error, progress);
  std::string closeError;
  const bool closed = sink.Close(closeError);
  if (written && !closed) error = closeError;
  return written && closed;
}

}  // namespace vesk
