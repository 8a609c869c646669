// The Media Foundation source reader as the system stage of the decode
// cascade. Only moves bytes; the portable side configures and converts.
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <mutex>
#include <utility>

#include "media/system_reader.h"
#include "platform/system.h"
#include "platform/win/wide.h"

namespace vesk {

namespace {

// Attribute keys declared by the SDK headers but not exported by every
// import library.
const GUID kSdLanguage = {0x00af2180, 0xbdc2, 0x423c, {0xab, 0xca, 0xf5, 0x03, 0x59, 0x3b, 0xc1, 0x21}};
const GUID kSdStreamName = {0x4f1b099d, 0xd314, 0x41e5, {0xa7, 0x81, 0x7f, 0xef, 0xaa, 0x4c, 0x50, 0x1f}};
const GUID kPdDuration = {0x6c990d33, 0xbb8e, 0x477a, {0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a}};

template <class T>
class Com {
 public:
  Com() = default;
  ~Com() { Reset(); }
  Com(Com&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  T** Put() {
    Reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// Decoders keep their Media Foundation reference for the life of the process.
void EnsureMediaFoundation() {
  static std::once_flag once;
  std::call_once(once, [] { AcquireMediaFoundation(); });
}

bool CreateReader(const std::filesystem::path& path, Com<IMFSourceReader>& reader) {
  EnsureMediaFoundation();
  return SUCCEEDED(MFCreateSourceReaderFromURL(path.wstring().c_str(), nullptr, reader.Put()));
}

std::string StringAttribute(IMFAttributes* attributes, const GUID& key) {
  WCHAR* text = nullptr;
  UINT32 length = 0;
  if (FAILED(attributes->GetAllocatedString(key, &text, &length)) || !text) return {};
  std::string out = WideToUtf8(text);
  CoTaskMemFree(text);
  return out;
}

class MfAudioReader final : public SystemAudioReader {
 public:
  MfAudioReader(Com<IMFSourceReader> reader, DWORD stream) : reader_(std::move(reader)), stream_(stream) {}

  bool NativeFormat(uint32_t& rate, uint32_t& channels) override {
    Com<IMFMediaType> type;
    if (FAILED(reader_->GetNativeMediaType(stream_, 0, type.Put()))) return false;
    rate = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
    channels = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_NUM_CHANNELS, 0);
    return true;
  }

  bool SetOutput(bool asFloat, uint32_t rate, uint32_t channels, uint32_t& code) override {
    Com<IMFMediaType> type;
    HRESULT hr = MFCreateMediaType(type.Put());
    const uint32_t bytes = asFloat ? 4 : 2;
    if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_SUBTYPE, asFloat ? MFAudioFormat_Float : MFAudioFormat_PCM);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bytes * 8);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * bytes);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, rate * channels * bytes);
    if (SUCCEEDED(hr)) hr = reader_->SetCurrentMediaType(stream_, nullptr, type.Get());
    code = uint32_t(hr);
    return SUCCEEDED(hr);
  }

  bool ReadSample(const std::function<void(const uint8_t*, size_t)>& consume, bool& endOfStream,
                  uint32_t& code) override {
    endOfStream = false;
    DWORD flags = 0;
    Com<IMFSample> sample;
    HRESULT hr = reader_->ReadSample(stream_, 0, nullptr, &flags, nullptr, sample.Put());
    code = uint32_t(hr);
    if (FAILED(hr)) return false;
    if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
      endOfStream = true;
      return true;
    }
    if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) || !sample) return true;
    Com<IMFMediaBuffer> buffer;
    hr = sample->ConvertToContiguousBuffer(buffer.Put());
    code = uint32_t(hr);
    if (FAILED(hr)) return false;
    BYTE* data = nullptr;
    DWORD length = 0;
    hr = buffer->Lock(&data, nullptr, &length);
    code = uint32_t(hr);
    if (FAILED(hr)) return false;
    try {
      consume(data, length);
    } catch (...) {
      buffer->Unlock();
      throw;
    }
    buffer->Unlock();
    return true;
  }

  double DurationSeconds() override {
    PROPVARIANT value;
    PropVariantInit(&value);
    double seconds = 0;
    if (SUCCEEDED(reader_->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE, kPdDuration, &value)) &&
        value.vt == VT_UI8)
      seconds = double(value.uhVal.QuadPart) / 1e7;
    PropVariantClear(&value);
    return seconds;
  }

 private:
  Com<IMFSourceReader> reader_;
  DWORD stream_;
};

}  // namespace

std::unique_ptr<SystemAudioReader> OpenSystemAudioReader(const std::filesystem::path& path, int32_t streamIndex) {
  Com<IMFSourceReader> reader;
  if (!CreateReader(path, reader)) return nullptr;
  const DWORD stream = DWORD(streamIndex);
  if (FAILED(reader->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE))) return nullptr;
  if (FAILED(reader->SetStreamSelection(stream, TRUE))) return nullptr;
  return std::make_unique<MfAudioReader>(std::move(reader), stream);
}

SystemListing ListAudioTracksWithSystemReader(const std::filesystem::path& path, std::vector<AudioTrack>& tracks) {
  tracks.clear();
  Com<IMFSourceReader> reader;
  if (!CreateReader(path, reader)) return SystemListing::Unavailable;
  Com<IMFMediaSource> source;
  Com<IMFPresentationDescriptor> descriptor;
  DWORD count = 0;
  if (FAILED(reader->GetServiceForStream(DWORD(MF_SOURCE_READER_MEDIASOURCE), GUID_NULL, IID_IMFMediaSource,
                                         reinterpret_cast<void**>(source.Put()))) ||
      FAILED(source->CreatePresentationDescriptor(descriptor.Put())) ||
      FAILED(descriptor->GetStreamDescriptorCount(&count)))
    return SystemListing::Failed;
  int32_t ordinal = 0;
  for (DWORD i = 0; i < count; ++i) {
    BOOL selected = FALSE;
    Com<IMFStreamDescriptor> stream;
    Com<IMFMediaTypeHandler> handler;
    GUID major = GUID_NULL;
    if (FAILED(descriptor->GetStreamDescriptorByIndex(i, &selected, stream.Put())) ||
        FAILED(stream->GetMediaTypeHandler(handler.Put())) || FAILED(handler->GetMajorType(&major)))
      return SystemListing::Failed;
    if (major != MFMediaType_Audio) continue;
    AudioTrack track;
    track.streamIndex = int32_t(i);
    track.ordinal = ordinal++;
    Com<IMFMediaType> type;
    if (SUCCEEDED(reader->GetNativeMediaType(i, 0, type.Put()))) {
      track.sampleRate = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
      track.channels = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_NUM_CHANNELS, 0);
    }
    track.name = StringAttribute(stream.Get(), kSdStreamName);
    track.language = StringAttribute(stream.Get(), kSdLanguage);
    tracks.push_back(std::move(track));
  }
  return SystemListing::Listed;
}

}  // namespace vesk
