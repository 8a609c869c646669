#include "media/wav_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "media/sample_convert.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/text.h"

namespace vesk {
namespace {

// Far more chunks than any real file carries; bounds the walk.
constexpr size_t kMaxChunks = 10000;
// The highest sample rate accepted; larger figures come from damaged headers.
constexpr uint32_t kMaxRate = 768000;
constexpr size_t kBlockFrames = 65536;
// A block never exceeds this many bytes, whatever the channel count claims.
constexpr size_t kMaxBlockBytes = size_t(16) << 20;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

struct FileSource {
  File& file;
  int64_t Size() { return file.Size(); }
  bool Seek(int64_t pos) { return file.Seek(pos); }
  int64_t Read(void* buf, size_t n) { return file.Read(buf, n); }
};

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  int64_t Size() { return int64_t(size); }
  bool Seek(int64_t p) {
    if (p < 0 || size_t(p) > size) return false;
    pos = size_t(p);
    return true;
  }
  int64_t Read(void* buf, size_t n) {
    const size_t take = std::min(n, size - pos);
    if (take) std::memcpy(buf, data + pos, take);
    pos += take;
    return int64_t(take);
  }
};

// Sample decoders. Multi-byte loads go through memcpy (little-endian targets
// only), which the compiler turns into plain loads; with the flags this file
// gets (see CMakeLists.txt) the contiguous loops below vectorise.
inline float SampleToFloat8(const uint8_t* s) { return float(int(s[0]) - 128) * (1.0f / 128.0f); }
inline float SampleToFloat16(const uint8_t* s) {
  int16_t v;
  std::memcpy(&v, s, 2);
  return float(v) * (1.0f / 32768.0f);
}
inline float SampleToFloat24(const uint8_t* s) {
  // Place the three bytes in the top of a 32-bit word; the arithmetic shift
  // sign-extends.
  const int32_t x = int32_t((uint32_t(s[0]) << 8) | (uint32_t(s[1]) << 16) | (uint32_t(s[2]) << 24)) >> 8;
  return float(x) * (1.0f / 8388608.0f);
}
// The same from a 4-byte load whose top byte (the next sample's) is shifted
// out; never used on the last sample of a block.
inline float SampleToFloat24Wide(const uint8_t* s) {
  uint32_t w;
  std::memcpy(&w, s, 4);
  return float(int32_t(w << 8) >> 8) * (1.0f / 8388608.0f);
}
inline float SampleToFloat32(const uint8_t* s) {
  int32_t v;
  std::memcpy(&v, s, 4);
  return float(double(v) * (1.0 / 2147483648.0));
}
inline float SampleToFloatF(const uint8_t* s) {
  float v;
  std::memcpy(&v, s, 4);
  // NaN stays out of the document: treat it as silence. Written as selects
  // (no branch) so the loop vectorises.
  v = v < -1.0f ? -1.0f : v;
  v = v > 1.0f ? 1.0f : v;
  return v == v ? v : 0.0f;
}

// Converts `n` samples into dst in one contiguous run.
template <size_t Bytes, float (*Convert)(const uint8_t*)>
void ConvertBlock(const uint8_t* __restrict bytes, size_t n, float* __restrict dst) {
  for (size_t i = 0; i < n; ++i) dst[i] = Convert(bytes + i * Bytes);
}

// 24-bit runs read four bytes a sample except for the last one.
void ConvertBlock24(const uint8_t* __restrict bytes, size_t n, float* __restrict dst) {
  if (n == 0) return;
  for (size_t i = 0; i + 1 < n; ++i) dst[i] = SampleToFloat24Wide(bytes + 3 * i);
  dst[n - 1] = SampleToFloat24(bytes + 3 * (n - 1));
}

// Appends every sample of the whole frames in `bytes`.
void ConvertFrames(const uint8_t* bytes, size_t frames, size_t channels, int bits, bool isFloat,
                   std::vector<float>& out) {
  const size_t start = out.size();
  const size_t n = frames * channels;
  out.resize(start + n);
  float* dst = out.data() + start;
  switch (bits) {
    case 8: ConvertBlock<1, SampleToFloat8>(bytes, n, dst); break;
    case 16: ConvertBlock<2, SampleToFloat16>(bytes, n, dst); break;
    case 24: ConvertBlock24(bytes, n, dst); break;
    default:
      if (isFloat) ConvertBlock<4, SampleToFloatF>(bytes, n, dst);
      else ConvertBlock<4, SampleToFloat32>(bytes, n, dst);
  }
}

const char kIncomplete[] = "WAV 文件结构不完整（缺少 fmt 或 data 块）。";
const char kOutOfMemory[] = "内存不足。";

std::string ChunkName(const uint8_t* id) {
  std::string name;
  for (int i = 0; i < 4; ++i) name += (id[i] >= 0x20 && id[i] < 0x7F) ? char(id[i]) : '?';
  return name;
}

// Walks the header to the data: false without a message for a file that is
// no RIFF WAVE, with one for a WAV this reader refuses.
template <typename Source>
bool WalkWav(Source& src, WavLayout& layout, std::string& error, bool& isRiffWave) {
  const int64_t fileSize = src.Size();
  uint8_t head[12];
  if (fileSize < 12 || src.Read(head, sizeof head) != int64_t(sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0)
    return false;
  isRiffWave = true;

  // The chunk list is walked to the end of the file: field recorders put
  // bext, iXML, JUNK or LIST chunks of any size before the data. Every step
  // moves forward by at least one chunk header and the count is capped, so a
  // hostile file cannot make the walk long.
  bool haveFmt = false, haveData = false;
  uint16_t tag = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  int64_t dataStart = 0, dataBytes = 0;
  std::string walkProblem;
  int64_t pos = 12;
  for (size_t chunks = 0; pos + 8 <= fileSize; ++chunks) {
    if (chunks == kMaxChunks) {
      walkProblem = Format("WAV 文件的块多得不正常（超过 %u 个），读不下去。", unsigned(kMaxChunks));
      break;
    }
    uint8_t chunk[8];
    if (!src.Seek(pos) || src.Read(chunk, sizeof chunk) != int64_t(sizeof chunk)) {
      walkProblem = "WAV 文件读取失败（读块头时出错）。";
      break;
    }
    const uint32_t size = Get32(chunk + 4);
    const int64_t body = pos + 8;
    if (std::memcmp(chunk, "data", 4) == 0) {
      haveData = true;
      dataStart = body;
      const int64_t available = std::max<int64_t>(0, fileSize - dataStart);
      dataBytes = (size != 0 && size != 0xFFFFFFFFu) ? std::min<int64_t>(size, available) : available;
      break;
    }
    if (body + int64_t(size) > fileSize) {
      walkProblem = "WAV 文件不完整：「" + ChunkName(chunk) + Format("」块声明 %u 字节，超出了文件末尾。", size);
      break;
    }
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      uint8_t fmt[40] = {};
      const size_t want = std::min<size_t>(size, sizeof fmt);
      if (size < 16 || src.Read(fmt, want) != int64_t(want)) {
        walkProblem = Format("WAV 文件的 fmt 块不完整（%u 字节，至少要 16 字节）。", size);
        break;
      }
      haveFmt = true;
      tag = Get16(fmt);
      channels = Get16(fmt + 2);
      rate = Get32(fmt + 4);
      bits = Get16(fmt + 14);
      if (tag == 0xFFFE && size >= 40) tag = Get16(fmt + 24);
    }
    pos = body + int64_t(size) + int64_t(size & 1u);
  }

  if (!haveFmt || !haveData) {
    error = walkProblem.empty() ? kIncomplete : walkProblem;
    return false;
  }
  if (channels == 0 || rate == 0) {
    error = kIncomplete;
    return false;
  }
  if (rate > kMaxRate) {
    error = Format("WAV 文件的采样率不合理（%u Hz，支持 1～%u Hz），文件可能已损坏。", rate, kMaxRate);
    return false;
  }
  if (tag != 1 && tag != 3) {
    error = "这个 WAV 用的是压缩编码，暂不支持。";
    return false;
  }
  if (tag == 3 && bits != 32) {
    error = Format("这个 WAV 的浮点数据是 %u 位的，只支持 32 位浮点。", unsigned(bits));
    return false;
  }
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    error = "不支持的 WAV 位深。";
    return false;
  }

  layout.rate = rate;
  layout.channels = channels;
  layout.bits = bits;
  layout.isFloat = tag == 3;
  layout.dataStart = dataStart;
  layout.dataBytes = dataBytes;
  return true;
}

template <typename Source>
bool ReadWav(Source& src, AudioFormat& format, std::vector<float>& samples, std::string& error,
             bool& isRiffWave, int* sourceBits) {
  WavLayout layout;
  if (!WalkWav(src, layout, error, isRiffWave)) return false;
  const uint32_t rate = layout.rate;
  const uint16_t channels = layout.channels, bits = layout.bits;
  const bool isFloat = layout.isFloat;
  const int64_t dataStart = layout.dataStart, dataBytes = layout.dataBytes;
  const size_t blockAlign = layout.BlockAlign();
  const uint64_t frames = layout.Frames();
  // Sizes below come from the file: a header may claim far more than this
  // machine can hold (a sparse file of many gigabytes).
  try {
    if (frames * channels > samples.max_size()) throw std::bad_alloc();
    RequireAvailableMemory(size_t(frames * channels) * sizeof(float));
    samples.reserve(size_t(frames * channels));
    // No large-page hint here: with the usual madvise defrag setting each
    // fault of a hinted buffer compacts memory first, which tripled the
    // system time of opening a one-hour file. The pages are committed in
    // large calls instead of a fault per page, on a second core ahead of the
    // conversion below.
    PrefaultAhead prefault(samples.data(), samples.capacity() * sizeof(float));

    const size_t framesPerBlock = std::clamp<size_t>(kMaxBlockBytes / blockAlign, 1, kBlockFrames);
    std::vector<uint8_t> block(size_t(std::min<uint64_t>(uint64_t(framesPerBlock) * blockAlign,
                                                         std::max<int64_t>(int64_t(blockAlign), dataBytes))));
    int64_t remaining = dataBytes;
    if (src.Seek(dataStart)) {
      while (remaining >= int64_t(blockAlign)) {
        const size_t want = size_t(std::min<int64_t>(int64_t(block.size()), remaining));
        const int64_t read = src.Read(block.data(), want);
        if (read <= 0) break;
        ConvertFrames(block.data(), size_t(read) / blockAlign, channels, bits, isFloat, samples);
        remaining -= read;
        // A short read that split a frame leaves the file position mid-frame;
        // only the end of the file or a failure does that, so stop here.
        if (size_t(read) % blockAlign != 0) break;
      }
    }
  } catch (const std::bad_alloc&) {
    samples.clear();
    samples.shrink_to_fit();
    error = kOutOfMemory;
    return false;
  }

  format.sampleRate = rate;
  format.channels = channels;
  format.bits = 16;
  if (sourceBits) *sourceBits = bits;
  return true;
}

}  // namespace

bool ReadWavFile(const std::filesystem::path& path, AudioFormat& format, std::vector<float>& samples,
                 std::string& error, bool& isRiffWave, int* sourceBits) {
  samples.clear();
  isRiffWave = false;
  File file;
  if (!file.OpenRead(path)) {
    error = "打不开文件（可能被占用或没有读权限）。";
    return false;
  }
  FileSource src{file};
  return ReadWav(src, format, samples, error, isRiffWave, sourceBits);
}

bool ProbeWavFile(const File& file, WavLayout& layout, std::string& error, bool& isRiffWave) {
  isRiffWave = false;
  struct {
    const File& file;
    int64_t pos = 0;
    int64_t Size() { return file.Size(); }
    bool Seek(int64_t to) {
      pos = to;
      return to >= 0;
    }
    int64_t Read(void* buf, size_t n) {
      const int64_t got = file.ReadAt(pos, buf, n);
      if (got > 0) pos += got;
      return got;
    }
  } src{file};
  return WalkWav(src, layout, error, isRiffWave);
}

void ConvertWavFrames(const WavLayout& layout, const uint8_t* bytes, size_t frames, float* out) {
  const size_t n = frames * layout.channels;
  switch (layout.bits) {
    case 8: ConvertBlock<1, SampleToFloat8>(bytes, n, out); break;
    case 16: ConvertBlock<2, SampleToFloat16>(bytes, n, out); break;
    case 24: ConvertBlock24(bytes, n, out); break;
    default:
      if (layout.isFloat) ConvertBlock<4, SampleToFloatF>(bytes, n, out);
      else ConvertBlock<4, SampleToFloat32>(bytes, n, out);
  }
}

std::shared_ptr<const WavFileFrames> WavFileFrames::Open(const std::filesystem::path& path, std::string& error,
                                                        bool& isRiffWave) {
  isRiffWave = false;
  auto frames = std::make_shared<WavFileFrames>();
  frames->file_ = std::make_unique<File>();
  if (!frames->file_->OpenRead(path)) {
    error = "打不开文件（可能被占用或没有读权限）。";
    return nullptr;
  }
  if (!ProbeWavFile(*frames->file_, frames->layout_, error, isRiffWave)) return nullptr;
  if (!frames->file_->Stamp(frames->size_, frames->time_)) {
    error = "WAV 文件读取失败。";
    return nullptr;
  }
  return frames;
}

std::shared_ptr<const WavFileFrames> WavFileFrames::OverFile(std::unique_ptr<File> file, const WavLayout& layout) {
  auto frames = std::make_shared<WavFileFrames>();
  frames->file_ = std::move(file);
  frames->layout_ = layout;
  if (!frames->file_->Stamp(frames->size_, frames->time_)) return nullptr;
  return frames;
}

void WavFileFrames::Read(uint64_t frame, uint64_t count, float* out) const {
  const size_t align = layout_.BlockAlign();
  const uint64_t total = layout_.Frames();
  const uint64_t have = frame < total ? std::min(count, total - frame) : 0;
  std::fill(out + have * layout_.channels, out + count * layout_.channels, 0.0f);
  std::vector<uint8_t> bytes;
  constexpr uint64_t kChunk = 16384;
  for (uint64_t done = 0; done < have;) {
    const uint64_t n = std::min(kChunk, have - done);
    bytes.resize(size_t(n) * align);
    const int64_t got = file_->ReadAt(layout_.dataStart + int64_t((frame + done) * align), bytes.data(), bytes.size());
    const uint64_t whole = got > 0 ? uint64_t(got) / align : 0;
    ConvertWavFrames(layout_, bytes.data(), size_t(whole), out + done * layout_.channels);
    if (whole < n) {
      // The file got shorter under us: the rest is silence, never garbage.
      std::fill(out + (done + whole) * layout_.channels, out + have * layout_.channels, 0.0f);
      return;
    }
    done += n;
  }
}

bool WavFileFrames::Changed() const {
  int64_t size = 0, time = 0;
  return !file_->Stamp(size, time) || size != size_ || time != time_;
}

bool ReadWavMemory(const uint8_t* data, size_t size, AudioFormat& format, std::vector<float>& samples,
                   std::string& error, bool& isRiffWave, int* sourceBits) {
  samples.clear();
  isRiffWave = false;
  MemorySource src{data, size};
  return ReadWav(src, format, samples, error, isRiffWave, sourceBits);
}

}  // namespace vesk
