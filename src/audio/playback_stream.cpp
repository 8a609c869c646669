#include "audio/playback_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vesk {

void PlaybackStream::SetBuffer(const float* samples, uint64_t frames, const AudioFormat& format, uint64_t startFrame,
                               uint64_t loopStart, uint64_t loopEnd) {
  buffer_ = ContiguousSamples(samples, samples ? frames : 0, format.channels);
  SetBuffer(&buffer_, format, startFrame, loopStart, loopEnd);
}

void PlaybackStream::SetBuffer(const SampleSource* source, const AudioFormat& format, uint64_t startFrame,
                               uint64_t loopStart, uint64_t loopEnd) {
  pendingSamples_.store(nullptr, std::memory_order_release);
  source_ = source;
  span_ = nullptr;
  spanStart_ = spanEnd_ = 0;
  const uint64_t frames = source ? source->Frames() : 0;
  frames_ = frames;
  format_ = format;
  position_.store(startFrame < frames ? startFrame : 0, std::memory_order_release);
  seekPending_.store(false, std::memory_order_release);
  const bool loop = loopEnd > loopStart && loopEnd <= frames;
  loopStart_.store(loop ? loopStart : 0, std::memory_order_release);
  loopEnd_.store(loop ? loopEnd : 0, std::memory_order_release);
}

bool PlaybackStream::Start(const float* samples, uint64_t frames, const AudioFormat& format, uint64_t startFrame,
                           const std::string& endpointId, std::string& error, uint64_t loopStart,
                           uint64_t loopEnd) {
  Stop();  // also releases a stream that played out by itself
  buffer_ = ContiguousSamples(samples, samples ? frames : 0, format.channels);
  return Start(&buffer_, format, startFrame, endpointId, error, loopStart, loopEnd);
}

bool PlaybackStream::Start(const SampleSource* source, const AudioFormat& format, uint64_t startFrame,
                           const std::string& endpointId, std::string& error, uint64_t loopStart,
                           uint64_t loopEnd) {
  Stop();
  error.clear();
  if (source == nullptr || source->Frames() == 0 || format.channels == 0 || format.sampleRate == 0) {
    error = "没有可播放的内容。";
    return false;
  }
  SetBuffer(source, format, startFrame, loopStart, loopEnd);
  endpointId_ = endpointId;
  opened_.store(false);
  running_.store(true);
  if (!StartDevice(error)) {
    running_.store(false);
    if (error.empty()) error = "打开播放设备失败。";
    ForgetBuffer();
    return false;
  }
  return true;
}

void PlaybackStream::ForgetBuffer() {
  pendingSamples_.store(nullptr, std::memory_order_release);
  source_ = nullptr;
  frames_ = 0;
  loopStart_.store(0);
  loopEnd_.store(0);
}

void PlaybackStream::SetLoop(uint64_t start, uint64_t end) {
  const bool loop = end > start && end <= frames_;
  if (!loop) start = end = 0;
  loopStart_.store(start, std::memory_order_release);
  loopEnd_.store(end, std::memory_order_release);
  if (!loop || !running_.load(std::memory_order_acquire)) return;
  const uint64_t pos = Position();
  if (pos >= start && pos < end) return;
  uint64_t target = std::min(start, frames_);
  target = std::clamp(target, start, end - 1);
  seekTarget_.store(target, std::memory_order_release);
  seekPending_.store(true, std::memory_order_release);
  position_.store(target, std::memory_order_release);
}

void PlaybackStream::SwapBuffer(const SampleSource* source) {
  if (source != nullptr) pendingSamples_.store(source, std::memory_order_release);
}

const float* PlaybackStream::Frame(uint64_t k) {
  if (k < spanStart_ || k >= spanEnd_ || span_ == nullptr) {
    uint64_t count = 0;
    span_ = source_->Span(k, count);
    if (span_ == nullptr && count > 0 && !window_.empty()) {
      count = std::min<uint64_t>(count, window_.size() / format_.channels);
      source_->ReadStretch(k, count, window_.data());
      span_ = window_.data();
    }
    spanStart_ = k;
    spanEnd_ = span_ ? k + count : k;
  }
  return span_ ? span_ + (k - spanStart_) * size_t(format_.channels) : held_.data();
}

void PlaybackStream::Seek(uint64_t frame) {
  uint64_t p = std::min(frame, frames_);
  const uint64_t ls = LoopStart(), le = LoopEnd();
  if (le > ls) p = std::clamp(p, ls, le - 1);
  seekTarget_.store(p, std::memory_order_release);
  seekPending_.store(true, std::memory_order_release);
  position_.store(p, std::memory_order_release);
}

void PlaybackStream::PrepareRender(uint32_t deviceRate, const DeviceSampleFormat& deviceFormat) {
  deviceRate_ = deviceRate;
  deviceFormat_ = deviceFormat;
  pos_ = double(Position());
  ratio_ = deviceRate > 0 ? double(format_.sampleRate) / deviceRate : 1.0;
  endCount_ = 0;
  // A surround buffer on a narrower device is heard as its stereo fold, not
  // as its front pair (a centre-only dialogue would be silent).
  // Room for about 85 ms of frames read from a file, and one frame held.
  window_.assign(size_t(4096) * std::max<uint16_t>(format_.channels, 1), 0.0f);
  held_.assign(std::max<uint16_t>(format_.channels, 1), 0.0f);
  span_ = nullptr;
  const bool fold = format_.channels > 2 && format_.channels > deviceFormat.channels;
  fold_ = fold ? StereoFoldFor(format_.channels) : StereoFold{};
}

bool PlaybackStream::Render(void* out, size_t count) {
  // Taken before any sample is read: once the swap is seen as done, no
  // callback reads the previous buffer any more.
  if (const SampleSource* next = pendingSamples_.load(std::memory_order_acquire)) {
    source_ = next;
    span_ = nullptr;
    pendingSamples_.store(nullptr, std::memory_order_release);
  }
  const uint64_t ls = LoopStart(), le = LoopEnd();
  const bool looping = le > ls;
  if (seekPending_.exchange(false, std::memory_order_acq_rel)) {
    pos_ = double(seekTarget_.load(std::memory_order_acquire));
    endCount_ = 0;
  }
  const int devCh = deviceFormat_.channels;
  const int srcCh = format_.channels;
  const bool folding = !fold_.left.empty();
  // What the device channels are taken from: the buffer's channels, or the
  // folded pair (its mean on a mono device).
  const int playCh = folding ? std::min(devCh, 2) : srcCh;
  float foldA[2] = {}, foldB[2] = {};
  const size_t sampleBytes = deviceFormat_.bits / 8;
  auto* bytes = static_cast<uint8_t*>(out);
  bool ended = false;
  bool counted = false;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* frame = bytes + i * deviceFormat_.BytesPerFrame();
    if (ended || source_ == nullptr || frames_ == 0) {
      std::memset(frame, 0, deviceFormat_.BytesPerFrame());
      continue;
    }
    if (looping && pos_ >= double(le)) pos_ = std::max(double(ls), pos_ - double(le - ls));
    const uint64_t k = uint64_t(std::floor(pos_));
    uint64_t next = k + 1;
    if (k + 1 >= frames_) {
      next = std::min(k, frames_ - 1);
      if (!looping) {
        ended = true;
        if (!counted) {
          ++endCount_;
          counted = true;
        }
      }
    }
    const uint64_t kk = std::min(k, frames_ - 1);
    const double f = pos_ - double(k);
    // Frame B may move the read window: frame A is held aside first.
    const float* a0 = Frame(kk);
    std::copy_n(a0, held_.size(), held_.begin());
    const float* frameA = held_.data();
    const float* frameB = Frame(next);
    if (folding) {
      FoldFrame(frameA, fold_, foldA[0], foldA[1]);
      FoldFrame(frameB, fold_, foldB[0], foldB[1]);
      if (playCh == 1) {
        foldA[0] = 0.5f * (foldA[0] + foldA[1]);
        foldB[0] = 0.5f * (foldB[0] + foldB[1]);
      }
    }
    for (int c = 0; c < devCh; ++c) {
      const int s = std::min(c, playCh - 1);
      const double a = folding ? foldA[s] : frameA[s];
      const double b = folding ? foldB[s] : frameB[s];
      double v = a + (b - a) * f;
      v = v < -1.0 ? -1.0 : (v > 1.0 ? 1.0 : v);
      uint8_t* p = frame + size_t(c) * sampleBytes;
      if (deviceFormat_.isFloat && deviceFormat_.bits == 32) {
        const float x = float(v);
        std::memcpy(p, &x, 4);
      } else if (!deviceFormat_.isFloat && deviceFormat_.bits == 16) {
        const int16_t x = int16_t(v * 32767.0);
        std::memcpy(p, &x, 2);
      } else if (!deviceFormat_.isFloat && deviceFormat_.bits == 32) {
        const double scaled = std::min(v * 2147483648.0, 2147483647.0);
        const int32_t x = int32_t(scaled);
        std::memcpy(p, &x, 4);
      } else {
        std::memset(p, 0, sampleBytes);  // other layouts are never asked for by the backends
      }
    }
    pos_ += ratio_;
    position_.store(uint64_t(std::floor(pos_)), std::memory_order_release);
  }
  if (Position() >= frames_ && !looping) {
    ++endCount_;
    if (endCount_ > kEndCallbacks) return false;
  }
  return true;
}

}  // namespace vesk
