// MP3 encoding through the system's Media Foundation encoder transform, found
// by enumeration (it is not linked and may be missing, as under Wine).
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mftransform.h>

#include <cstring>
#include <mutex>

#include "media/mp3_encoder.h"
#include "media/mp3_output_type.h"
#include "platform/system.h"
#include "platform/win/com_ref.h"
#include "platform/text.h"

namespace vesk {
namespace {

std::string WithCode(const char* what, HRESULT hr) { return Format("%s（HRESULT 0x%08X）", what, unsigned(hr)); }

// Started once for the life of the process; encoders never release it.
void StartMediaFoundationOnce() {
  static std::once_flag once;
  std::call_once(once, [] { AcquireMediaFoundation(); });
}

// Every MP3 encoder transform of any kind; the caller frees the list.
HRESULT EnumerateMp3Encoders(IMFActivate*** list, UINT32* count) {
  MFT_REGISTER_TYPE_INFO output{MFMediaType_Audio, MFAudioFormat_MP3};
  const UINT32 flags = MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_ASYNCMFT | MFT_ENUM_FLAG_HARDWARE |
                       MFT_ENUM_FLAG_FIELDOFUSE | MFT_ENUM_FLAG_LOCALMFT | MFT_ENUM_FLAG_TRANSCODE_ONLY;
  *list = nullptr;
  *count = 0;
  return MFTEnumEx(MFT_CATEGORY_AUDIO_ENCODER, flags, nullptr, &output, list, count);
}

void FreeActivates(IMFActivate** list, UINT32 count, UINT32 keep) {
  for (UINT32 i = 0; i < count; ++i)
    if (i != keep && list[i]) list[i]->Release();
  CoTaskMemFree(list);
}

class MfMp3Encoder final : public Mp3Encoder {
 public:
  explicit MfMp3Encoder(ComRef<IMFTransform> transform) : mft_(std::move(transform)) {}

  std::vector<Mp3OutputType> OutputTypes() override {
    offered_.clear();
    std::vector<Mp3OutputType> types;
    for (DWORD i = 0; i < 512; ++i) {
      ComRef<IMFMediaType> type;
      if (FAILED(mft_->GetOutputAvailableType(0, i, type.Put()))) break;
      Mp3OutputType t;
      t.channels = uint16_t(MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_NUM_CHANNELS, 0));
      t.sampleRate = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
      t.averageBytesPerSecond = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 0);
      types.push_back(t);
      offered_.push_back(std::move(type));
    }
    return types;
  }

  bool SetOutputType(size_t index, std::string& error) override {
    const HRESULT hr = index < offered_.size() ? mft_->SetOutputType(0, offered_[index].Get(), 0) : E_INVALIDARG;
    if (FAILED(hr)) {
      error = WithCode("设置 MP3 输出格式被拒绝", hr);
      return false;
    }
    return true;
  }

  bool SetInputType(std::string& error) override {
    ComRef<IMFMediaType> type;
    if (FAILED(mft_->GetInputAvailableType(0, 0, type.Put())) || !type) {
      error = "MP3 编码器没有给出可用的输入格式。";
      return false;
    }
    const HRESULT hr = mft_->SetInputType(0, type.Get(), 0);
    if (FAILED(hr)) {
      error = WithCode("设置 MP3 输入格式被拒绝", hr);
      return false;
    }
    MFT_OUTPUT_STREAM_INFO info{};
    if (SUCCEEDED(mft_->GetOutputStreamInfo(0, &info))) outputSize_ = info.cbSize ? info.cbSize : 65536;
    return true;
  }

  uint32_t OutputBufferSize() override { return outputSize_; }

  bool EncodeBlock(const int16_t* pcm, uint64_t sampleTime, uint64_t duration, std::vector<uint8_t>& out,
                   std::string& error) override {
    const DWORD bytes = DWORD(2 * kMp3BlockFrames * channels());
    ComRef<IMFMediaBuffer> buffer;
    HRESULT hr = MFCreateMemoryBuffer(bytes, buffer.Put());
    if (FAILED(hr)) {
      error = WithCode("分配编码输入缓冲失败", hr);
      return false;
    }
    BYTE* data = nullptr;
    hr = buffer->Lock(&data, nullptr, nullptr);
    if (FAILED(hr)) {
      error = WithCode("分配编码输入缓冲失败", hr);
      return false;
    }
    std::memcpy(data, pcm, bytes);
    buffer->Unlock();
    buffer->SetCurrentLength(bytes);
    ComRef<IMFSample> sample;
    hr = MFCreateSample(sample.Put());
    if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer.Get());
    if (FAILED(hr)) {
      error = WithCode("分配编码输入缓冲失败", hr);
      return false;
    }
    sample->SetSampleTime(LONGLONG(sampleTime));
    sample->SetSampleDuration(LONGLONG(duration));

    hr = mft_->ProcessInput(0, sample.Get(), 0);
    if (hr == MF_E_NOTACCEPTING) {
      if (!Collect(out, error)) return false;
      hr = mft_->ProcessInput(0, sample.Get(), 0);
    }
    if (FAILED(hr)) {
      error = WithCode("MP3 编码输入失败", hr);
      return false;
    }
    return Collect(out, error);
  }

 private:
  uint32_t channels() {
    ComRef<IMFMediaType> type;
    if (channels_ == 0 && SUCCEEDED(mft_->GetInputCurrentType(0, type.Put())))
      channels_ = MFGetAttributeUINT32(type.Get(), MF_MT_AUDIO_NUM_CHANNELS, 0);
    return channels_ ? channels_ : 1;
  }

  bool Collect(std::vector<uint8_t>& out, std::string& error) {
    for (;;) {
      ComRef<IMFSample> sample;
      ComRef<IMFMediaBuffer> buffer;
      HRESULT hr = MFCreateSample(sample.Put());
      if (SUCCEEDED(hr)) hr = MFCreateMemoryBuffer(outputSize_, buffer.Put());
      if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer.Get());
      if (FAILED(hr)) {
        error = WithCode("MP3 编码输出失败", hr);
        return false;
      }
      MFT_OUTPUT_DATA_BUFFER db{};
      db.dwStreamID = 0;
      db.pSample = sample.Get();
      DWORD status = 0;
      hr = mft_->ProcessOutput(0, 1, &db, &status);
      if (db.pEvents) db.pEvents->Release();
      if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) return true;
      if (hr == MF_E_TRANSFORM_STREAM_CHANGE) {
        ComRef<IMFMediaType> type;
        if (SUCCEEDED(mft_->GetOutputAvailableType(0, 0, type.Put()))) mft_->SetOutputType(0, type.Get(), 0);
        continue;
      }
      if (FAILED(hr)) {
        error = WithCode("MP3 编码输出失败", hr);
        return false;
      }
      ComRef<IMFMediaBuffer> contiguous;
      if (FAILED(sample->ConvertToContiguousBuffer(contiguous.Put()))) continue;
      BYTE* data = nullptr;
      DWORD length = 0;
      if (SUCCEEDED(contiguous->Lock(&data, nullptr, &length))) {
        out.insert(out.end(), data, data + length);
        contiguous->Unlock();
      }
    }
  }

  ComRef<IMFTransform> mft_;
  std::vector<ComRef<IMFMediaType>> offered_;
  uint32_t outputSize_ = 65536;
  uint32_t channels_ = 0;
};

}  // namespace

bool CreateMp3Encoder(std::unique_ptr<Mp3Encoder>& encoder, std::string& error) {
  StartMediaFoundationOnce();
  IMFActivate** list = nullptr;
  UINT32 count = 0;
  if (FAILED(EnumerateMp3Encoders(&list, &count)) || count == 0) {
    if (list) CoTaskMemFree(list);
    error = Mp3NoEncoderMessage();
    return false;
  }
  IMFActivate* first = list[0];
  FreeActivates(list, count, 0);
  ComRef<IMFTransform> transform;
  const HRESULT hr = first->ActivateObject(IID_PPV_ARGS(transform.Put()));
  first->Release();
  if (FAILED(hr)) {
    error = WithCode("激活 MP3 编码器失败", hr);
    return false;
  }
  encoder = std::make_unique<MfMp3Encoder>(std::move(transform));
  return true;
}

bool Mp3EncoderAvailable() {
  StartMediaFoundationOnce();
  IMFActivate** list = nullptr;
  UINT32 count = 0;
  const HRESULT hr = EnumerateMp3Encoders(&list, &count);
  if (list) FreeActivates(list, count, UINT32(-1));
  return SUCCEEDED(hr) && count > 0;
}

}  // namespace vesk
