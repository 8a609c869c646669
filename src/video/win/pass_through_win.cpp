// The pass-through export on Windows: the source reader hands out the H.264
// samples, the MPEG-4 sink writer takes them unchanged, and the edited audio
// goes through the system's AAC or FLAC encoder transform. A failed export
// removes the output it started, so no half-written MP4 is left looking
// like a finished one.
#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mftransform.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/app_log.h"
#include "platform/system.h"
#include "platform/win/com_ref.h"
#include "platform/text.h"
#include "video/pass_through.h"
#include "video/win/pcm_chunk.h"

namespace vesk {

namespace {

std::string WithCode(const char* what, HRESULT hr) { return Format("%s（HRESULT 0x%08X）", what, unsigned(hr)); }

// One reference for the length of the export; the probe holds its own.
class MediaFoundationScope {
 public:
  MediaFoundationScope() : ok_(AcquireMediaFoundation()) {}
  ~MediaFoundationScope() { ReleaseMediaFoundation(); }
  MediaFoundationScope(const MediaFoundationScope&) = delete;
  MediaFoundationScope& operator=(const MediaFoundationScope&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

struct MfAudioEncoder {
  uint32_t codec = 0;  // 1 = FLAC, else AAC
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint32_t inBits = 16;
  uint32_t inAlign = 4;
  uint32_t chunk = 1024;
  bool providesSamples = false;
  uint32_t outputSize = 65536;
  ComRef<IMFTransform> mft;
  ComRef<IMFMediaType> outType;
};

bool CreateAudioEncoder(uint32_t codec, uint32_t rate, uint16_t channels, uint32_t bitrate, MfAudioEncoder& enc,
                        std::string& error) {
  const bool flac = codec == 1;
  MFT_REGISTER_TYPE_INFO wanted{MFMediaType_Audio, flac ? MFAudioFormat_FLAC : MFAudioFormat_AAC};
  const UINT32 flags = MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_ASYNCMFT | MFT_ENUM_FLAG_HARDWARE |
                       MFT_ENUM_FLAG_FIELDOFUSE | MFT_ENUM_FLAG_LOCALMFT | MFT_ENUM_FLAG_TRANSCODE_ONLY;
  IMFActivate** list = nullptr;
  UINT32 count = 0;
  HRESULT hr = MFTEnumEx(MFT_CATEGORY_AUDIO_ENCODER, flags, nullptr, &wanted, &list, &count);
  if (FAILED(hr) || count == 0 || !list) {
    if (list) CoTaskMemFree(list);
    error = flac ? "系统没有 FLAC 编码器（需要 Windows 10 及以上）。" : "系统没有可用的 AAC 编码器。";
    return false;
  }
  hr = list[0]->ActivateObject(IID_PPV_ARGS(enc.mft.Put()));
  for (UINT32 i = 0; i < count; ++i) list[i]->Release();
  CoTaskMemFree(list);
  if (FAILED(hr) || !enc.mft) {
    error = WithCode("激活音频编码器失败", hr);
    return false;
  }

  // Output: the offered type of this rate and channel count whose average
  // byte rate is nearest the wanted bit rate.
  const int64_t wantedBytes = int64_t(bitrate) / 8;
  int64_t bestDistance = -1;
  for (DWORD i = 0; i < 512; ++i) {
    ComRef<IMFMediaType> type;
    if (FAILED(enc.mft->GetOutputAvailableType(0, i, type.Put())) || !type) break;
    if (MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0) != rate ||
        MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_NUM_CHANNELS, 0) != channels)
      continue;
    const int64_t distance =
        std::llabs(int64_t(MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 0)) - wantedBytes);
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      enc.outType = std::move(type);
    }
  }
  if (!enc.outType) {
    error = Format("编码器不支持 %u Hz / %d 声道 这个组合（换 48000 Hz 试）。", rate, int(channels));
    return false;
  }
  hr = enc.mft->SetOutputType(0, enc.outType.Get(), 0);
  if (FAILED(hr)) {
    error = WithCode("设置音频编码输出格式被拒绝", hr);
    return false;
  }

  // Input: the first offered integer PCM type the encoder accepts (the
  // feeder writes integers; a float type would get them as garbage).
  bool accepted = false;
  hr = MF_E_NO_MORE_TYPES;
  for (DWORD i = 0; i < 32 && !accepted; ++i) {
    ComRef<IMFMediaType> type;
    const HRESULT got = enc.mft->GetInputAvailableType(0, i, type.Put());
    if (FAILED(got) || !type) break;
    GUID subtype{};
    if (SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype != MFAudioFormat_PCM) continue;
    hr = enc.mft->SetInputType(0, type.Get(), 0);
    if (FAILED(hr)) continue;
    accepted = true;
    enc.inBits = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    enc.inAlign = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_BLOCK_ALIGNMENT, enc.inBits / 8 * channels);
  }
  if (!accepted || (enc.inBits != 16 && enc.inBits != 24 && enc.inBits != 32) ||
      enc.inAlign < enc.inBits / 8 * channels) {
    error = WithCode("设置音频编码输入格式被拒绝", accepted ? MF_E_INVALIDMEDIATYPE : hr);
    return false;
  }

  // A preferred input size that is a whole number of frames sets the chunk.
  MFT_INPUT_STREAM_INFO in{};
  if (SUCCEEDED(enc.mft->GetInputStreamInfo(0, &in)) && in.cbSize >= enc.inAlign && in.cbSize % enc.inAlign == 0 &&
      in.cbSize / enc.inAlign <= 65536)
    enc.chunk = in.cbSize / enc.inAlign;
  MFT_OUTPUT_STREAM_INFO out{};
  if (SUCCEEDED(enc.mft->GetOutputStreamInfo(0, &out))) {
    enc.providesSamples =
        (out.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES)) != 0;
    if (out.cbSize > 0) enc.outputSize = out.cbSize;
  }
  enc.mft->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
  enc.mft->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
  enc.codec = flac ? 1 : 0;
  enc.rate = rate;
  enc.channels = channels;
  AppLog("[enc] codec=%s rate=%u ch=%u inBits=%u inAlign=%u chunk=%u", flac ? "FLAC" : "AAC", rate, unsigned(channels),
         enc.inBits, enc.inAlign, enc.chunk);
  return true;
}

// Everything the encoder has ready; stops at "needs more input". A
// transform that never says so is cut off rather than looped on forever.
HRESULT CollectOutput(MfAudioEncoder& enc, std::vector<ComRef<IMFSample>>& outs) {
  for (int round = 0;; ++round) {
    if (round == 100000) return E_UNEXPECTED;
    ComRef<IMFSample> sample;
    if (!enc.providesSamples) {
      ComRef<IMFMediaBuffer> buffer;
      HRESULT hr = MFCreateSample(sample.Put());
      if (SUCCEEDED(hr)) hr = MFCreateMemoryBuffer(enc.outputSize, buffer.Put());
      if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer.Get());
      if (FAILED(hr)) return hr;
    }
    MFT_OUTPUT_DATA_BUFFER db{};
    db.dwStreamID = 0;
    db.pSample = sample.Get();
    DWORD status = 0;
    const HRESULT hr = enc.mft->ProcessOutput(0, 1, &db, &status);
    if (db.pEvents) db.pEvents->Release();
    if (enc.providesSamples && db.pSample) *sample.Put() = db.pSample;  // ours to release
    if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) return S_OK;
    if (FAILED(hr)) return hr;
    if (sample) outs.push_back(std::move(sample));
  }
}

// Writes collected samples over [start, start + span): the span is shared
// evenly (at least one unit each); empty samples are dropped.
HRESULT WriteAudio(IMFSinkWriter* writer, DWORD stream, std::vector<ComRef<IMFSample>>& outs, LONGLONG start,
                   LONGLONG span, bool oneUnitEach) {
  if (outs.empty()) return S_OK;
  const LONGLONG each = oneUnitEach ? 1 : std::max<LONGLONG>(span / LONGLONG(outs.size()), 1);
  LONGLONG at = start;
  for (ComRef<IMFSample>& s : outs) {
    DWORD length = 0;
    s->GetTotalLength(&length);
    if (length == 0) continue;
    s->SetSampleTime(at);
    s->SetSampleDuration(each);
    at += each;
    const HRESULT hr = writer->WriteSample(stream, s.Get());
    AppLog("[w] out len=%lu write hr=0x%08X", static_cast<unsigned long>(length), unsigned(hr));
    if (FAILED(hr)) {
      AppLog("[e] FAIL at write hr=0x%08X", unsigned(hr));
      return hr;
    }
  }
  outs.clear();
  return S_OK;
}

LONGLONG Time100ns(int64_t frames, uint32_t rate) { return LONGLONG(frames * 10000000LL / int64_t(rate)); }

// Feeds one chunk of frames [fed, fed + n) and writes what comes out.
HRESULT FeedChunk(MfAudioEncoder& enc, IMFSinkWriter* writer, DWORD stream, const std::vector<float>& samples,
                  int64_t fed, int64_t n, bool logThis) {
  std::vector<uint8_t> pcm;
  FillPcmChunk(samples, enc.channels, fed, n, enc.inBits, enc.inAlign, pcm);
  ComRef<IMFMediaBuffer> buffer;
  ComRef<IMFSample> sample;
  HRESULT hr = MFCreateMemoryBuffer(DWORD(pcm.size()), buffer.Put());
  BYTE* data = nullptr;
  if (SUCCEEDED(hr)) hr = buffer->Lock(&data, nullptr, nullptr);
  if (SUCCEEDED(hr)) {
    std::copy(pcm.begin(), pcm.end(), data);
    buffer->Unlock();
    hr = buffer->SetCurrentLength(DWORD(pcm.size()));
  }
  if (SUCCEEDED(hr)) hr = MFCreateSample(sample.Put());
  if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer.Get());
  if (FAILED(hr)) return hr;
  const LONGLONG start = Time100ns(fed, enc.rate);
  const LONGLONG span = Time100ns(fed + n, enc.rate) - start;
  sample->SetSampleTime(start);
  sample->SetSampleDuration(span);

  hr = enc.mft->ProcessInput(0, sample.Get(), 0);
  if (logThis || FAILED(hr))
    AppLog("[e] in fed=%lld n=%lld bytes=%llu ProcessInput hr=0x%08X", (long long)fed, (long long)n,
           (unsigned long long)pcm.size(), unsigned(hr));
  if (hr == MF_E_NOTACCEPTING) {
    std::vector<ComRef<IMFSample>> pending;
    hr = CollectOutput(enc, pending);
    AppLog("[e] NOTACCEPTING drain hr=0x%08X outs=%llu", unsigned(hr), (unsigned long long)pending.size());
    if (SUCCEEDED(hr)) {
      hr = enc.mft->ProcessInput(0, sample.Get(), 0);
      if (SUCCEEDED(hr)) hr = WriteAudio(writer, stream, pending, start, span, false);
      AppLog("[e] retry write hr=0x%08X", unsigned(hr));
    }
  }
  if (FAILED(hr)) {
    AppLog("[e] FAIL at processInput/refeed hr=0x%08X", unsigned(hr));
    return hr;
  }
  std::vector<ComRef<IMFSample>> outs;
  hr = CollectOutput(enc, outs);
  if (FAILED(hr)) {
    AppLog("[e] FAIL at drain hr=0x%08X", unsigned(hr));
    return hr;
  }
  return WriteAudio(writer, stream, outs, start, span, false);
}

}  // namespace

bool PassThroughWrite(const std::filesystem::path& source, uint32_t videoStream, const std::vector<float>& samples,
                      uint32_t rate, uint16_t channels, int64_t totalFrames, const VideoEditedExportOptions& options,
                      const std::filesystem::path& output, std::string& error) {
  error.clear();
  MediaFoundationScope mf;
  if (!mf.ok()) {
    error = "Media Foundation 启动失败，无法用 MF 直通导出。";
    return false;
  }
  ComForCall com;
  ComRef<IMFSourceReader> reader;
  ComRef<IMFSinkWriter> writer;
  MfAudioEncoder enc;
  bool created = false;
  // Releases the writer before the partial output is removed.
  auto fail = [&](std::string message) {
    error = std::move(message);
    writer.Reset();
    reader.Reset();
    if (created) DeleteFileW(output.wstring().c_str());
    return false;
  };

  if (FAILED(MFCreateSourceReaderFromURL(source.wstring().c_str(), nullptr, reader.Put())) || !reader)
    return fail("打不开源视频（可能被别的程序占用）。");
  reader->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE);
  if (FAILED(reader->SetStreamSelection(videoStream, TRUE))) return fail("读不出画面参数。");

  ComRef<IMFAttributes> attributes;
  HRESULT hr = MFCreateAttributes(attributes.Put(), 2);
  if (SUCCEEDED(hr)) hr = attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
  if (SUCCEEDED(hr)) hr = attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  if (SUCCEEDED(hr)) hr = MFCreateSinkWriterFromURL(output.wstring().c_str(), nullptr, attributes.Get(), writer.Put());
  if (FAILED(hr) || !writer) return fail("创建输出文件失败（目标位置不可写，或被别的程序占用）。");
  created = true;

  ComRef<IMFMediaType> videoType;
  if (FAILED(reader->GetNativeMediaType(videoStream, 0, videoType.Put())) || !videoType)
    return fail("读不出画面参数。");
  DWORD videoOut = 0;
  hr = writer->AddStream(videoType.Get(), &videoOut);
  if (SUCCEEDED(hr)) hr = writer->SetInputMediaType(videoOut, videoType.Get(), nullptr);
  if (FAILED(hr)) return fail(WithCode("画面直通不被支持（MP4 封装拒绝了这个编码）", hr));

  std::string encoderError;
  if (!CreateAudioEncoder(options.codec == 1 ? 1 : 0, rate, channels, options.aacBitrate, enc, encoderError))
    return fail(encoderError);
  DWORD audioOut = 0;
  hr = writer->AddStream(enc.outType.Get(), &audioOut);
  AppLog("[e1] audio AddStream(encoded) hr=0x%08X outRate=%u", unsigned(hr), rate);
  if (SUCCEEDED(hr)) {
    hr = writer->SetInputMediaType(audioOut, enc.outType.Get(), nullptr);
    AppLog("[e2] audio SetInputMediaType(encoded) hr=0x%08X", unsigned(hr));
  }
  if (FAILED(hr)) return fail(WithCode("编码后的音轨不被 MP4 封装接受", hr));
  if (FAILED(writer->BeginWriting())) return fail("输出文件初始化失败。");

  // The picture, sample by sample, unchanged.
  unsigned wrote = 0;
  for (;;) {
    DWORD actual = 0;
    DWORD flags = 0;
    LONGLONG timestamp = 0;
    ComRef<IMFSample> sample;
    hr = reader->ReadSample(videoStream, 0, &actual, &flags, &timestamp, sample.Put());
    if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR))
      return fail(WithCode("读取源视频画面失败", FAILED(hr) ? hr : E_FAIL));
    if (flags & MF_SOURCE_READERF_STREAMTICK) writer->SendStreamTick(videoOut, timestamp);
    if (sample) {
      hr = writer->WriteSample(videoOut, sample.Get());
      if (FAILED(hr)) return fail(WithCode("读取源视频画面失败", hr));
      if (++wrote % 500 == 0) AppLog("[e] video wrote=%u", wrote);
    }
    if (flags & MF_SOURCE_READERF_ENDOFSTREAM) break;
  }
  AppLog("[e3] video drained, total=%u", wrote);

  // The audio, chunk by chunk, zeros past the real samples.
  int64_t fed = 0;
  int64_t chunkNumber = 0;
  while (fed < totalFrames) {
    const int64_t n = std::min<int64_t>(totalFrames - fed, enc.chunk);
    const bool logThis = chunkNumber < 3 || chunkNumber % 500 == 0;
    hr = FeedChunk(enc, writer.Get(), audioOut, samples, fed, n, logThis);
    if (FAILED(hr)) return fail(WithCode("编码音轨失败", hr));
    fed += n;
    ++chunkNumber;
  }
  enc.mft->ProcessMessage(MFT_MESSAGE_NOTIFY_END_OF_STREAM, 0);
  enc.mft->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0);
  std::vector<ComRef<IMFSample>> tail;
  hr = CollectOutput(enc, tail);
  if (FAILED(hr)) {
    AppLog("[e] FAIL at drain hr=0x%08X", unsigned(hr));
    return fail(WithCode("编码音轨失败", hr));
  }
  hr = WriteAudio(writer.Get(), audioOut, tail, Time100ns(fed, rate), 0, true);
  if (FAILED(hr)) return fail(WithCode("编码音轨失败", hr));
  const int64_t real = int64_t(samples.size() / channels);
  AppLog("[e4] audio fed=%lld frames (real %lld + pad %lld), feedRate=%u", (long long)fed,
         (long long)std::min(real, fed), (long long)std::max<int64_t>(fed - real, 0), rate);

  hr = writer->Finalize();
  AppLog("[e5] Finalize hr=0x%08X", unsigned(hr));
  if (FAILED(hr)) return fail(WithCode("收尾写出失败（文件可能不完整）", hr));
  enc.mft->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0);
  return true;
}

}  // namespace vesk
