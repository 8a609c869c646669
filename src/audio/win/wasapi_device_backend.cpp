// The device catalogue on Windows Core Audio, with the endpoint
// notification client.
#include <initguid.h>

#include "audio/win/wasapi_common.h"

#include <functiondiscoverykeys_devpkey.h>

#include <atomic>

#include "audio/audio_backend.h"
#include "platform/system.h"
#include "platform/win/wide.h"

namespace vesk {
namespace {

// Every endpoint event only calls the callback (which sets a flag).
class DeviceNotifyClient final : public IMMNotificationClient {
 public:
  explicit DeviceNotifyClient(std::function<void()> changed) : changed_(std::move(changed)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IMMNotificationClient)) {
      *out = static_cast<IMMNotificationClient*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Post(); }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Post(); }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Post(); }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override { return Post(); }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

 private:
  HRESULT Post() {
    if (changed_) changed_();
    return S_OK;
  }
  std::atomic<ULONG> refs_{1};
  std::function<void()> changed_;
};

std::string DefaultId(IMMDeviceEnumerator* e, EDataFlow flow) {
  ComRef<IMMDevice> d;
  if (FAILED(e->GetDefaultAudioEndpoint(flow, eConsole, d.Put())) || !d) return {};
  LPWSTR id = nullptr;
  if (FAILED(d->GetId(&id)) || id == nullptr) return {};
  std::string s = WideToUtf8(id);
  CoTaskMemFree(id);
  return s;
}

class WasapiDeviceBackend final : public AudioDeviceBackend {
 public:
  ~WasapiDeviceBackend() override { StopNotifications(); }

  std::vector<DeviceEntry> Enumerate() override {
    std::vector<DeviceEntry> out;
    InitComForThread(true);
    ComRef<IMMDeviceEnumerator> e;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(e.Put()))))
      return out;
    for (EDataFlow flow : {eCapture, eRender}) {
      const std::string def = DefaultId(e.Get(), flow);
      ComRef<IMMDeviceCollection> list;
      if (FAILED(e->EnumAudioEndpoints(flow, 11, list.Put())) || !list) continue;
      UINT count = 0;
      list->GetCount(&count);
      for (UINT i = 0; i < count; ++i) {
        ComRef<IMMDevice> d;
        if (FAILED(list->Item(i, d.Put())) || !d) continue;
        DeviceEntry entry;
        entry.loopback = flow == eRender;
        LPWSTR id = nullptr;
        if (SUCCEEDED(d->GetId(&id)) && id != nullptr) {
          entry.id = WideToUtf8(id);
          CoTaskMemFree(id);
        }
        DWORD state = 1;
        if (FAILED(d->GetState(&state))) state = 1;
        entry.state = state;
        ComRef<IPropertyStore> props;
        if (SUCCEEDED(d->OpenPropertyStore(STGM_READ, props.Put())) && props) {
          PROPVARIANT v;
          PropVariantInit(&v);
          if (SUCCEEDED(props->GetValue(PKEY_Device_FriendlyName, &v)) && v.vt == VT_LPWSTR && v.pwszVal != nullptr)
            entry.name = WideToUtf8(v.pwszVal);
          PropVariantClear(&v);
        }
        if (entry.name.empty()) entry.name = entry.loopback ? "(未知输出设备)" : "(未知输入设备)";
        entry.isDefault = !def.empty() && entry.id == def;
        out.push_back(std::move(entry));
      }
    }
    return out;
  }

  uint32_t GetMixRate(const std::string& id, bool loopback) override {
    InitComForThread(true);
    ComRef<IMMDeviceEnumerator> e;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(e.Put()))))
      return 0;
    ComRef<IMMDevice> d;
    if (FAILED(GetEndpoint(e.Get(), id, loopback ? eRender : eCapture, d.Put())) || !d) return 0;
    ComRef<IAudioClient> client;
    if (FAILED(d->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client.Put()))))
      return 0;
    WAVEFORMATEX* mix = nullptr;
    if (FAILED(client->GetMixFormat(&mix)) || mix == nullptr) return 0;
    const uint32_t rate = mix->nSamplesPerSec;
    CoTaskMemFree(mix);
    return rate;
  }

  bool StartNotifications(std::function<void()> changed) override {
    StopNotifications();
    InitComForThread(true);
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(enumerator_.Put()))))
      return false;
    client_ = new DeviceNotifyClient(std::move(changed));
    if (FAILED(enumerator_->RegisterEndpointNotificationCallback(client_))) {
      client_->Release();
      client_ = nullptr;
      return false;
    }
    return true;
  }

  void StopNotifications() override {
    if (client_ != nullptr && enumerator_) enumerator_->UnregisterEndpointNotificationCallback(client_);
    if (client_ != nullptr) client_->Release();
    client_ = nullptr;
    enumerator_.Reset();
  }

 private:
  ComRef<IMMDeviceEnumerator> enumerator_;
  DeviceNotifyClient* client_ = nullptr;
};

}  // namespace

std::unique_ptr<AudioDeviceBackend> CreateAudioDeviceBackend() { return std::make_unique<WasapiDeviceBackend>(); }

}  // namespace vesk
