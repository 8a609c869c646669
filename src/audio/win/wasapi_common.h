#pragma once
// Small helpers shared by the Core Audio backends: COM pointers, the format
// reading of a mix format and the step error text.
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <string>

#include "audio/capture_stream.h"

namespace vesk {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** Out() {
    Reset();
    return &p_;
  }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// "%s 失败（HRESULT 0x%08X）。"
std::string HresultStepError(const char* step, HRESULT hr);
// Channels, bits and the float flag of a wave format (tag 3, or the
// extensible tag with an IEEE-float sub-format).
DeviceSampleFormat ReadWaveFormat(const WAVEFORMATEX* f);
// The endpoint by id, or the default of the flow when the id is empty.
HRESULT GetEndpoint(IMMDeviceEnumerator* e, const std::string& id, EDataFlow flow, IMMDevice** out);

}  // namespace vesk
