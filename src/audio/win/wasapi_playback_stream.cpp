// Playback on Windows: WASAPI shared mode render stream on the mix format,
// event driven, the thread registered as "Audio".
#include <windows.h>
#include <avrt.h>

#include <thread>

#include "audio/playback_stream.h"
#include "audio/win/wasapi_common.h"
#include "platform/system.h"

namespace vesk {
namespace {

class WasapiPlaybackStream final : public PlaybackStream {
 public:
  ~WasapiPlaybackStream() override { Stop(); }

  void Stop() override {
    running_.store(false);
    if (event_ != nullptr) SetEvent(event_);
    if (thread_.joinable()) thread_.join();
    if (ready_ != nullptr) CloseHandle(ready_);
    ready_ = nullptr;
    ForgetBuffer();
  }

 protected:
  bool StartDevice(std::string& error) override {
    threadError_.clear();
    if (ready_ == nullptr) ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(ready_);
    try {
      thread_ = std::thread(&WasapiPlaybackStream::Run, this);
    } catch (...) {
      error = "创建播放线程失败。";
      return false;
    }
    WaitForSingleObject(ready_, 6000);
    if (opened_.load()) return true;
    running_.store(false);
    if (event_ != nullptr) SetEvent(event_);
    if (thread_.joinable()) thread_.join();
    error = threadError_.empty() ? std::string("打开播放设备失败。") : threadError_;
    return false;
  }

 private:
  void Fail(const char* step, HRESULT hr) {
    threadError_ = HresultStepError(step, hr);
    opened_.store(false);
    SetEvent(ready_);
  }

  void Run() {
    const bool com = InitComForThread(true);
    RunCom();
    running_.store(false);
    opened_.store(false);
    if (event_ != nullptr) CloseHandle(event_);
    event_ = nullptr;
    if (com) UninitComForThread();
  }

  void RunCom() {
    ComRef<IMMDeviceEnumerator> e;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  reinterpret_cast<void**>(e.Put()));
    if (FAILED(hr) || !e) return Fail("初始化播放设备枚举器", FAILED(hr) ? hr : E_POINTER);
    ComRef<IMMDevice> device;
    hr = endpointId_.empty() ? E_FAIL : GetEndpoint(e.Get(), endpointId_, eRender, device.Put());
    if (FAILED(hr) || !device) hr = e->GetDefaultAudioEndpoint(eRender, eConsole, device.Put());
    if (FAILED(hr) || !device) return Fail("取播放设备", FAILED(hr) ? hr : E_POINTER);
    ComRef<IAudioClient> client;
    hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client.Put()));
    if (FAILED(hr) || !client) return Fail("激活播放客户端", FAILED(hr) ? hr : E_POINTER);
    WAVEFORMATEX* mix = nullptr;
    hr = client->GetMixFormat(&mix);
    if (FAILED(hr) || mix == nullptr) return Fail("读取播放设备格式", FAILED(hr) ? hr : E_POINTER);
    hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0x40000, 1'000'000, 0, mix, nullptr);
    const DeviceSampleFormat format = ReadWaveFormat(mix);
    const uint32_t deviceRate = mix->nSamplesPerSec;
    CoTaskMemFree(mix);
    if (FAILED(hr)) return Fail("初始化播放流", hr);
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event_ == nullptr) return Fail("创建播放事件", E_FAIL);
    hr = client->SetEventHandle(event_);
    if (FAILED(hr)) return Fail("绑定播放事件", hr);
    ComRef<IAudioRenderClient> render;
    hr = client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(render.Put()));
    if (FAILED(hr) || !render) return Fail("获取播放服务", FAILED(hr) ? hr : E_POINTER);
    DWORD taskIndex = 0;
    HANDLE task = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex);
    UINT32 bufferFrames = 0;
    client->GetBufferSize(&bufferFrames);
    PrepareRender(deviceRate, format);
    hr = client->Start();
    if (FAILED(hr)) {
      if (task != nullptr) AvRevertMmThreadCharacteristics(task);
      return Fail("启动播放", hr);
    }
    opened_.store(true);
    SetEvent(ready_);
    while (running_.load()) {
      if (WaitForSingleObject(event_, 200) == WAIT_TIMEOUT) continue;
      if (!running_.load()) break;
      UINT32 queued = 0;
      if (FAILED(client->GetCurrentPadding(&queued))) continue;
      const UINT32 free = bufferFrames > queued ? bufferFrames - queued : 0;
      if (free == 0) continue;
      BYTE* data = nullptr;
      if (FAILED(render->GetBuffer(free, &data)) || data == nullptr) continue;
      const bool more = Render(data, free);
      render->ReleaseBuffer(free, 0);
      if (!more) break;
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

std::unique_ptr<PlaybackStream> CreatePlaybackStream() { return std::make_unique<WasapiPlaybackStream>(); }

}  // namespace vesk
