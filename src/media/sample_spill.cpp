#include "media/sample_spill.h"

#include <algorithm>
#include <system_error>

#include "media/wav_reader.h"
#include "platform/file.h"
#include "platform/temp_files.h"

namespace vesk {

namespace {
const char kSpillFailed[] = "写临时文件失败（磁盘可能已满）。";
constexpr uint64_t kEarlyFlushBytes = uint64_t(8) << 20;
}  // namespace

SampleSpill::SampleSpill(uint64_t limitBytes)
    : limit_(std::max<uint64_t>(limitBytes, 1u << 20)), flushBytes_(limit_) {}

SampleSpill::~SampleSpill() { Reset(); }

void SampleSpill::Reset() {
  written_ = 0;
  failed_ = false;
  if (!writer_) return;
  writer_.reset();
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

void SampleSpill::Expect(uint64_t values) {
  if (values * sizeof(float) > limit_) flushBytes_ = std::min(flushBytes_, kEarlyFlushBytes);
}

size_t SampleSpill::ReserveValues() const { return size_t(flushBytes_ / sizeof(float)) + (size_t(1) << 16); }

bool SampleSpill::Write(const float* values, size_t count, std::string& error) {
  if (!writer_) {
    path_ = PrivateTempPath("spill.f32");
    auto file = std::make_unique<File>();
    if (path_.empty() || !file->CreateNew(path_)) {
      error = kSpillFailed;
      failed_ = true;
      return false;
    }
    writer_ = std::move(file);
  }
  if (count && !writer_->Write(values, count * sizeof(float))) {
    error = kSpillFailed;
    failed_ = true;
    return false;
  }
  written_ += count;
  return true;
}

bool SampleSpill::Offer(std::vector<float>& samples, size_t channels, std::string& error) {
  if (channels == 0 || uint64_t(samples.size()) * sizeof(float) < flushBytes_) return true;
  const size_t whole = samples.size() - samples.size() % channels;
  if (!Write(samples.data(), whole, error)) return false;
  samples.erase(samples.begin(), samples.begin() + ptrdiff_t(whole));
  return true;
}

std::shared_ptr<const WavFileFrames> SampleSpill::Finish(std::vector<float>& rest, const AudioFormat& format,
                                                         std::string& error) {
  if (format.channels == 0 || !Write(rest.data(), rest.size() - rest.size() % format.channels, error))
    return nullptr;
  rest.clear();
  rest.shrink_to_fit();
  writer_->Close();
  writer_.reset();
  auto reader = std::make_unique<File>();
  const bool opened = reader->OpenRead(path_);
  // Open or not, the name goes: the reader keeps the frames until it closes.
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  if (!opened) {
    error = kSpillFailed;
    failed_ = true;
    return nullptr;
  }
  WavLayout layout;
  layout.rate = format.sampleRate;
  layout.channels = format.channels;
  layout.bits = 32;
  layout.isFloat = true;
  layout.dataStart = 0;
  layout.dataBytes = int64_t(written_ * sizeof(float));
  return WavFileFrames::OverFile(std::move(reader), layout);
}

}  // namespace vesk
