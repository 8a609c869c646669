#include "media/mp3_sink.h"

#include <cstring>

#include "media/mp3_output_type.h"
#include "media/wav_sink.h"

namespace vesk {

bool Mp3Sink::Open(const std::filesystem::path& path, const AudioFormat& format, uint32_t bitrateKbps,
                   std::string& error) {
  format_ = format;
  encoder_.reset();
  std::unique_ptr<Mp3Encoder> encoder;
  if (!CreateMp3Encoder(encoder, error)) return false;

  const std::vector<Mp3OutputType> types = encoder->OutputTypes();
  const int chosen = ChooseMp3OutputType(types, format.sampleRate, format.channels, bitrateKbps);
  if (chosen < 0) {
    error = Mp3UnsupportedMessage(format.sampleRate, format.channels);
    return false;
  }
  actualBitrate_ = Mp3TypeKbps(types[size_t(chosen)]);
  if (!encoder->SetOutputType(size_t(chosen), error)) return false;
  if (!encoder->SetInputType(error)) return false;
  if (const uint32_t size = encoder->OutputBufferSize()) outputBufferSize_ = size;

  if (!file_.OpenWrite(path)) {
    error = "无法创建输出文件（路径可能不存在或没有写权限）。";
    return false;
  }
  encoder_ = std::move(encoder);
  pending_.clear();
  sampleTime_ = 0;
  bytesWritten_ = 0;
  finished_ = false;
  return true;
}

bool Mp3Sink::EncodeBlock(const int16_t* block, std::string& error) {
  const uint64_t duration = Mp3BlockDuration(format_.sampleRate);
  output_.clear();
  if (!encoder_->EncodeBlock(block, sampleTime_, duration, output_, error)) return false;
  sampleTime_ += duration;
  if (!output_.empty()) {
    if (!file_.Write(output_.data(), output_.size())) {
      error = "写盘失败（磁盘可能已满）。";
      return false;
    }
    bytesWritten_ += output_.size();
  }
  return true;
}

bool Mp3Sink::Write(const float* samples, size_t sampleCount, std::string& error) {
  if (finished_ || !encoder_) return true;
  const size_t old = pending_.size();
  pending_.resize(old + sampleCount);
  for (size_t i = 0; i < sampleCount; ++i) pending_[old + i] = FloatToPcm16(samples[i]);

  const size_t block = size_t(kMp3BlockFrames) * (format_.channels ? format_.channels : 1);
  size_t consumed = 0;
  bool ok = true;
  while (pending_.size() - consumed >= block) {
    if (!EncodeBlock(pending_.data() + consumed, error)) {
      ok = false;
      break;
    }
    consumed += block;
  }
  pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(consumed));
  return ok;
}

bool Mp3Sink::Close(std::string&) {
  if (finished_) return true;
  finished_ = true;
  if (!encoder_ || !file_.IsOpen()) {
    file_.Close();
    return true;
  }
  // Three blocks of trailing silence push the encoder's delayed frames out;
  // no drain command is sent.
  const size_t block = size_t(kMp3BlockFrames) * (format_.channels ? format_.channels : 1);
  pending_.resize(3 * block, 0);
  std::string ignored;
  for (size_t offset = 0; offset + block <= pending_.size(); offset += block)
    if (!EncodeBlock(pending_.data() + offset, ignored)) break;
  pending_.clear();
  output_.clear();
  encoder_->Finish(output_);
  if (!output_.empty() && file_.Write(output_.data(), output_.size())) bytesWritten_ += output_.size();
  file_.Close();
  return true;
}

bool WriteMp3File(const std::filesystem::path& path, const AudioFormat& format, const std::vector<float>& samples,
                  uint32_t bitrateKbps, std::string& error, const FramesProgress& progress) {
  const size_t channels = format.channels != 0 ? format.channels : 1;
  return WriteMp3File(path, format, ContiguousSamples(samples.data(), samples.size() / channels, channels),
                      bitrateKbps, error, progress);
}

bool WriteMp3File(const std::filesystem::path& path, const AudioFormat& format, const SampleSource& source,
                  uint32_t bitrateKbps, std::string& error, const FramesProgress& progress) {
  Mp3Sink sink;
  if (!sink.Open(path, format, bitrateKbps, error)) return false;
  const bool written = WriteInChunks(sink, format, source, error, progress);
  std::string ignored;
  sink.Close(ignored);
  return written;
}

}  // namespace vesk
