// Capture on Windows: WASAPI shared mode, event driven, loopback flag for
// render endpoints, the thread registered as "Audio".
#include <windows.h>
#include <avrt.h>

#include <thread>

#include "audio/capture_stream.h"
#include "audio/win/wasapi_common.h"
#include "core/app_log.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace vesk {
namespace {

constexpr HRESULT kDeviceInvalidated = HRESULT(0x88890004);
// IEEE float sub-format, spelled out so no GUID library is needed.
const GUID kSubtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

class WasapiCaptureStream final : public CaptureStream {
 public:
  ~WasapiCaptureStream() override { Stop(); }

  bool Start(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate,
             std::string& error) override {
    if (running_.load()) return false;
    ResetForStart(endpointId, loopback, channels, rate);
    threadError_.clear();
    if (ready_ == nullptr) ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(ready_);
    try {
      thread_ = std::thread(&WasapiCaptureStream::Run, this);
    } catch (...) {
      running_.store(false);
      error = "创建采集线程失败。";
      return false;
    }
    WaitForSingleObject(ready_, 8000);
    if (opened_.load()) return true;
    running_.store(false);
    if (event_ != nullptr) SetEvent(event_);
    if (thread_.joinable()) thread_.join();
    error = threadError_.empty() ? std::string("打开录音设备失败。") : threadError_;
    return false;
  }

  void Stop() override {
    running_.store(false);
    if (event_ != nullptr) SetEvent(event_);
    if (thread_.joinable()) thread_.join();
    if (ready_ != nullptr) CloseHandle(ready_);
    ready_ = nullptr;
    ZeroMeters();
  }

 private:
  void Fail(const char* step, HRESULT hr) {
    threadError_ = HresultStepError(step, hr);
    opened_.store(false);
    AppLog("[cap] 打开失败 id=%s loopback=%d：%s", endpointId_.c_str(), loopback_ ? 1 : 0, threadError_.c_str());
    SetEvent(ready_);
  }

  void Run() {
    const bool com = InitComForThread(true);
    RunCom();
    if (event_ != nullptr) CloseHandle(event_);
    event_ = nullptr;
    if (com) UninitComForThread();
  }

  void RunCom() {
    ComRef<IMMDeviceEnumerator> e;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  reinterpret_cast<void**>(e.Put()));
    if (FAILED(hr) || !e) return Fail("初始化音频设备枚举器", FAILED(hr) ? hr : E_POINTER);
    ComRef<IMMDevice> device;
    hr = GetEndpoint(e.Get(), endpointId_, loopback_ ? eRender : eCapture, device.Put());
    if (FAILED(hr) || !device) return Fail("打开所选录音设备", FAILED(hr) ? hr : E_POINTER);
    ComRef<IAudioClient> client;
    hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client.Put()));
    if (FAILED(hr) || !client) return Fail("激活音频客户端", FAILED(hr) ? hr : E_POINTER);
    WAVEFORMATEX* mix = nullptr;
    hr = client->GetMixFormat(&mix);
    if (FAILED(hr) || mix == nullptr) return Fail("读取设备混音格式", FAILED(hr) ? hr : E_POINTER);
    const uint32_t deviceRate = mix->nSamplesPerSec;
    DWORD flags = 0x40000 | (loopback_ ? 0x20000 : 0);
    WAVEFORMATEXTENSIBLE convert{};
    const WAVEFORMATEX* used = mix;
    uint32_t streamRate = deviceRate;
    bool resample = false;
    const char* initStep = loopback_ ? "打开回环采集（设备可能被独占或已禁用）" : "初始化采集流";
    if (targetRate_ != 0 && targetRate_ != deviceRate) {
      convert.Format.wFormatTag = 0xFFFE;
      convert.Format.nChannels = mix->nChannels;
      convert.Format.nSamplesPerSec = targetRate_;
      convert.Format.wBitsPerSample = 32;
      convert.Format.nBlockAlign = WORD(mix->nChannels * 4);
      convert.Format.nAvgBytesPerSec = convert.Format.nBlockAlign * targetRate_;
      convert.Format.cbSize = 22;
      convert.Samples.wValidBitsPerSample = 32;
      convert.dwChannelMask = 0;
      convert.SubFormat = kSubtypeFloat;
      hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags | 0x80000000 | 0x08000000, 2'000'000, 0,
                              &convert.Format, nullptr);
      if (SUCCEEDED(hr)) {
        used = &convert.Format;
        streamRate = targetRate_;
        resample = true;
      } else {
        // Retry once on the device's own format.
        client.Reset();
        hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client.Put()));
        if (SUCCEEDED(hr)) hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 2'000'000, 0, mix, nullptr);
      }
    } else {
      hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 2'000'000, 0, mix, nullptr);
    }
    const DeviceSampleFormat format = ReadWaveFormat(used);
    CoTaskMemFree(mix);
    if (FAILED(hr)) return Fail(initStep, hr);
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event_ == nullptr) return Fail("创建采集事件", E_FAIL);
    hr = client->SetEventHandle(event_);
    if (FAILED(hr)) return Fail("绑定采集事件", hr);
    ComRef<IAudioCaptureClient> capture;
    hr = client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(capture.Put()));
    if (FAILED(hr) || !capture) return Fail("获取采集服务", FAILED(hr) ? hr : E_POINTER);
    BeginCapture(streamRate, deviceRate, format);
    DWORD taskIndex = 0;
    HANDLE task = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex);
    hr = client->Start();
    if (FAILED(hr)) {
      if (task != nullptr) AvRevertMmThreadCharacteristics(task);
      return Fail("启动采集", hr);
    }
    opened_.store(true);
    AppLog("[cap] 打开%s成功 id=%s 引擎率=%u 目标率=%u 声道=%u(设备%u) srcBits=%u%s", loopback_ ? "回环采集" : "采集",
           endpointId_.c_str(), deviceRate, streamRate, unsigned(targetChannels_), unsigned(format.channels),
           unsigned(format.bits), resample ? " [重采样]" : "");
    SetEvent(ready_);

    while (running_.load()) {
      WaitForSingleObject(event_, 200);
      if (!running_.load()) break;
      UINT32 packet = 0;
      hr = capture->GetNextPacketSize(&packet);
      if (hr == kDeviceInvalidated) {
        MarkDeviceLost();
        break;
      }
      if (FAILED(hr)) continue;
      bool lost = false;
      while (packet != 0) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD bufferFlags = 0;
        UINT64 qpc = 0;
        hr = capture->GetBuffer(&data, &frames, &bufferFlags, nullptr, &qpc);
        if (hr == kDeviceInvalidated) {
          MarkDeviceLost();
          lost = true;
          break;
        }
        if (FAILED(hr)) break;
        // The engine's buffer overran (a thread held up too long): audio
        // is missing before this packet.
        if ((bufferFlags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0) NoteDiscontinuity();
        // The performance-counter position is in 100-ns units of the same
        // counter the process clock scales.
        OnPacket(data, frames, (bufferFlags & 2) != 0, int64_t(qpc));
        capture->ReleaseBuffer(frames);
        if (FAILED(capture->GetNextPacketSize(&packet))) break;
      }
      if (lost) break;
    }
    client->Stop();
    if (task != nullptr) AvRevertMmThreadCharacteristics(task);
  }

  std::thread thread_;
  HANDLE ready_ = nullptr;
  HANDLE event_ = nullptr;
  std::string threadError_;
};

}  // namespace

std::unique_ptr<CaptureStream> CreateCaptureStream() { return std::make_unique<WasapiCaptureStream>(); }

}  // namespace vesk
