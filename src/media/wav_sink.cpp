#include "media/wav_sink.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

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

// The RIFF size (data + header - 8) must fit 32 bits whatever threshold a
// caller sets, for the longer extensible header too.
constexpr uint64_t kLargestSegment = 0xFFFFFFFFull - (kWavExtensibleHeaderBytes - 8);

std::atomic<uint64_t> gSegmentThreshold{kDefaultSegmentThreshold};

// One stored integer of a `Scale`-step depth: clamped to the depth's range,
// rounded half away from zero, NaN as 0. Scaling by a power of two is exact;
// adding just under one half (one half would round x = 0.49999997 up to 1)
// then truncating rounds half away from zero for every float, and clamping
// after the addition equals clamping the input to [-1, 1] first (both
// checked over all 2^32 inputs). The clamps turn NaN into a finite value so
// the conversion is defined; the last select makes it 0. No branches, so the
// loops vectorise (see CMakeLists.txt for this file's flags).
template <int Scale>
inline int32_t StoredInteger(float v) {
  float x = v * float(Scale) + std::copysign(0x1.fffffep-2f, v);
  x = x < float(Scale - 1) ? x : float(Scale - 1);
  x = x > -float(Scale) ? x : -float(Scale);
  const int32_t stored = int32_t(x);
  return v == v ? stored : 0;
}

void Convert16(const float* __restrict in, size_t n, uint8_t* __restrict out) {
  for (size_t i = 0; i < n; ++i) {
    const int16_t stored = int16_t(StoredInteger<32768>(in[i]));
    std::memcpy(out + 2 * i, &stored, 2);  // little-endian targets only
  }
}

// Converted a block at a time into 32-bit values (a loop the compiler
// vectorises), then packed with overlapping 4-byte stores.
void Convert24(const float* __restrict in, size_t n, uint8_t* __restrict out) {
  constexpr size_t kBlock = 1024;
  int32_t values[kBlock];
  for (size_t base = 0; base < n; base += kBlock) {
    const size_t m = std::min(kBlock, n - base);
    for (size_t i = 0; i < m; ++i) values[i] = StoredInteger<8388608>(in[base + i]);
    uint8_t* o = out + 3 * base;
    // Each store writes one byte past its sample, which the next one
    // overwrites; the last sample of the whole run goes byte by byte.
    const size_t wide = base + m == n ? m - 1 : m;
    for (size_t i = 0; i < wide; ++i) std::memcpy(o + 3 * i, &values[i], 4);  // little-endian targets only
    for (size_t i = wide; i < m; ++i) {
      o[3 * i] = uint8_t(values[i]);
      o[3 * i + 1] = uint8_t(values[i] >> 8);
      o[3 * i + 2] = uint8_t(values[i] >> 16);
    }
  }
}

}  // namespace

void EncodeSamples(const float* samples, size_t count, int bits, uint8_t* out) {
  if (bits == 24)
    Convert24(samples, count, out);
  else
    Convert16(samples, count, out);
}

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
  std::error_code ec;
  if (IsSpecialFile(path) || fs::is_directory(path, ec)) {
    error = kNotRegularOutputText;
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
  const std::vector<uint8_t> header = rf64_ ? BuildRf64Header(format_, 0) : BuildWavHeader(format_, 0);
  if (!file_.Write(header.data(), header.size())) {
    error = kHeaderFailed;
    file_.Close();
    return false;
  }
  headerBytes_ = header.size();
  segmentBytes_ = 0;
  bytesAtLastRefill_ = 0;
  return true;
}

bool WavSink::Write(const float* samples, size_t count, std::string& error) {
  return WritePieces(samples, nullptr, count, error);
}

bool WavSink::WriteEncoded(const uint8_t* bytes, size_t count, std::string& error) {
  return WritePieces(nullptr, bytes, count, error);
}

bool WavSink::WritePieces(const float* samples, const uint8_t* encoded, size_t count, std::string& error) {
  if (!file_.IsOpen() || count == 0) return true;
  const size_t sampleBytes = format_.bits / 8;
  const uint64_t threshold = Threshold();
  // A block bigger than a whole segment is split at frames; normal blocks
  // (a fraction of a second) go out in one piece and one write call.
  const uint64_t frameBytes = uint64_t(sampleBytes) * format_.channels;
  const uint64_t pieceFrames = std::max<uint64_t>(1, threshold / frameBytes);
  const size_t pieceSamples = size_t(std::min<uint64_t>(pieceFrames * format_.channels, count));
  for (size_t offset = 0; offset < count; offset += pieceSamples) {
    if (!file_.IsOpen()) return true;
    const size_t n = std::min(pieceSamples, count - offset);
    const uint8_t* data = encoded ? encoded + offset * sampleBytes : nullptr;
    if (!data && format_.bits == 32) {
      // Float goes out as it is (little-endian targets): no copy needed.
      data = reinterpret_cast<const uint8_t*>(samples + offset);
    } else if (!data) {
      buffer_.resize(n * sampleBytes);
      EncodeSamples(samples + offset, n, format_.bits, buffer_.data());
      data = buffer_.data();
    }
    if (!WriteBytes(data, n * sampleBytes, error)) return false;
  }
  return true;
}

uint64_t WavSink::Threshold() const {
  return rf64_ ? UINT64_MAX / 2 : std::min(SegmentThreshold(), kLargestSegment);
}

bool WavSink::WriteBytes(const uint8_t* data, size_t bytes, std::string& error) {
  const uint64_t threshold = Threshold();
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
  if (headerRefresh_ && segmentBytes_ - bytesAtLastRefill_ >= refillInterval_) {
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
  const std::vector<uint8_t> header =
      rf64_ ? BuildRf64Header(format_, segmentBytes_) : BuildWavHeader(format_, uint32_t(segmentBytes_));
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

namespace {

bool WriteSourceInChunks(AudioSink& sink, const AudioFormat& format, const SampleSource& source, std::string& error,
                         const FramesProgress& progress) {
  const uint64_t totalFrames = source.Frames();
  if (totalFrames == 0) return true;
  const size_t channels = format.channels != 0 ? format.channels : 1;
  uint64_t chunk = format.sampleRate / 2;
  if (chunk == 0 || chunk > totalFrames) chunk = totalFrames;
  std::vector<float> gathered;  // a chunk that spans pieces
  for (uint64_t at = 0; at < totalFrames; at += chunk) {
    const uint64_t frames = std::min(chunk, totalFrames - at);
    uint64_t run = 0;
    const float* p = source.Span(at, run);
    if (p == nullptr || run < frames) {
      gathered.resize(frames * channels);
      ReadFrames(source, at, frames, channels, gathered.data());
      p = gathered.data();
    }
    if (!sink.Write(p, size_t(frames * channels), error)) return false;
    if (progress && !progress(at + frames, totalFrames)) {
      error.clear();
      return false;
    }
  }
  return true;
}

}  // namespace

bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const SampleSource& source, std::string& error,
                   const FramesProgress& progress) {
  return WriteSourceInChunks(sink, format, source, error, progress);
}

bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const std::vector<float>& samples,
                   std::string& error, const FramesProgress& progress) {
  const size_t channels = format.channels != 0 ? format.channels : 1;
  return WriteSourceInChunks(sink, format, ContiguousSamples(samples.data(), samples.size() / channels, channels), error,
                             progress);
}

namespace {

// The whole-buffer writer converts on a second core: a helper encodes blocks
// of this many half-second chunks into a ring of slots ahead of the writing
// thread, which converts blocks too whenever the one it needs is not ready
// (converting costs more than writing). Big blocks keep the hand-overs few;
// three slots let both threads fill one while the writer drains another.
constexpr size_t kChunksPerBlock = 8;
constexpr size_t kSlots = 3;

class EncodeAhead {
 public:
  EncodeAhead(const SampleSource& source, size_t channels, size_t count, int bits, size_t blockSamples)
      : source_(source), channels_(channels), count_(count), bits_(bits), block_(blockSamples),
        blocks_((count + blockSamples - 1) / blockSamples),
        ring_(kSlots * blockSamples * size_t(bits / 8)) {
    helper_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      for (;;) {
        changed_.wait(lock, [&] { return stop_ || CanClaim(); });
        if (stop_) return;
        EncodeNext(lock);
      }
    });
  }
  ~EncodeAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    helper_.join();
  }
  EncodeAhead(const EncodeAhead&) = delete;
  EncodeAhead& operator=(const EncodeAhead&) = delete;

  size_t Blocks() const { return blocks_; }
  // Returns block b's bytes (blocks are taken in order), converting blocks
  // on this thread while b is not ready.
  const uint8_t* Take(size_t b) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (ready_[b % kSlots] != b + 1) {
      if (CanClaim())
        EncodeNext(lock);
      else
        changed_.wait(lock);
    }
    return Slot(b);
  }
  // The writer is done with block b: its slot may be refilled.
  void Release(size_t b) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      released_ = b + 1;
    }
    changed_.notify_all();
  }

 private:
  uint8_t* Slot(size_t b) { return ring_.data() + (b % kSlots) * block_ * size_t(bits_ / 8); }
  bool CanClaim() const { return next_ < blocks_ && next_ < released_ + kSlots; }
  // Claims the next block and converts it without holding the lock.
  void EncodeNext(std::unique_lock<std::mutex>& lock) {
    const size_t b = next_++;
    lock.unlock();
    const size_t first = b * block_;
    uint8_t* out = Slot(b);
    const size_t width = size_t(bits_ / 8);
    ForEachSpan(source_, first / channels_, (first + std::min(block_, count_ - first)) / channels_,
                [&](const float* p, uint64_t frames) {
                  EncodeSamples(p, size_t(frames) * channels_, bits_, out);
                  out += size_t(frames) * channels_ * width;
                });
    lock.lock();
    ready_[b % kSlots] = b + 1;
    changed_.notify_all();
  }

  const SampleSource& source_;
  const size_t channels_;
  const size_t count_;
  const int bits_;
  const size_t block_;
  const size_t blocks_;
  std::vector<uint8_t> ring_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;                 // first block nobody has claimed
  size_t released_ = 0;             // blocks written; their slots are free
  size_t ready_[kSlots] = {};       // per slot: converted block + 1
  bool stop_ = false;
  std::thread helper_;
};

// WriteInChunks for a 16- or 24-bit sink with the conversion on the helper:
// the same chunks, write calls, progress reports and cancel points.
bool WriteEncodedInChunks(WavSink& sink, EncodeAhead& ahead, size_t total, size_t chunk, unsigned channels,
                          std::string& error, const FramesProgress& progress) {
  const size_t width = sink.Format().bits / 8;
  const uint64_t totalFrames = total / channels;
  for (size_t b = 0; b < ahead.Blocks(); ++b) {
    const uint8_t* slot = ahead.Take(b);
    const size_t first = b * chunk * kChunksPerBlock;
    const size_t end = std::min(total, first + chunk * kChunksPerBlock);
    for (size_t offset = first; offset < end; offset += chunk) {
      const size_t length = std::min(chunk, end - offset);
      if (!sink.WriteEncoded(slot + (offset - first) * width, length, error)) return false;
      if (progress) {
        const uint64_t done = std::min<uint64_t>((offset + length) / channels, totalFrames);
        if (!progress(done, totalFrames)) {
          error.clear();
          return false;
        }
      }
    }
    ahead.Release(b);
  }
  return true;
}

// Converting on a helper pays from a few blocks on, with a core to spare.
bool WorthEncodingAhead(const AudioFormat& stored, size_t samples, size_t chunk) {
  static const unsigned cores = std::thread::hardware_concurrency();
  return stored.bits != 32 && cores > 1 && chunk > 0 && samples / chunk >= 2 * kChunksPerBlock;
}

}  // namespace

bool WriteWavFile(const fs::path& path, const AudioFormat& format, const float* samples, size_t count,
                  std::string& error, int bits, const FramesProgress& progress, bool rf64) {
  const size_t channels = format.channels != 0 ? format.channels : 1;
  return WriteWavFile(path, format, ContiguousSamples(samples, count / channels, channels), error, bits, progress, rf64);
}

bool WriteWavFile(const fs::path& path, const AudioFormat& format, const SampleSource& source, std::string& error,
                  int bits, const FramesProgress& progress, bool rf64) {
  AudioFormat stored = format;
  stored.bits = uint16_t(bits == 24 || bits == 32 ? bits : 16);
  WavSink sink;
  // A whole buffer is written far faster than real time and sealed (and
  // flushed) at Close. Rewriting the header every second of audio would only
  // slow it: each rewrite may wait for the first page's write-back.
  sink.SetHeaderRefresh(false);
  sink.SetRf64(rf64);
  if (!sink.Open(path, stored, 0, error)) return false;
  const size_t channels = stored.channels != 0 ? stored.channels : 1;
  const size_t chunk = size_t(stored.sampleRate / 2) * channels;
  const size_t count = size_t(source.Frames() * channels);
  std::unique_ptr<EncodeAhead> ahead;
  if (WorthEncodingAhead(stored, count, chunk)) {
    try {
      ahead = std::make_unique<EncodeAhead>(source, channels, count, stored.bits, chunk * kChunksPerBlock);
    } catch (const std::exception&) {
      // No memory for the ring or no thread: convert on this thread.
    }
  }
  const bool written =
      ahead ? WriteEncodedInChunks(sink, *ahead, count, chunk, unsigned(channels), error, progress)
            : WriteSourceInChunks(sink, stored, source, error, progress);
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
