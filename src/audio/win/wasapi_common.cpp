#include "audio/win/wasapi_common.h"

#include <cstdio>

#include "platform/win/wide.h"

namespace vesk {

std::string HresultStepError(const char* step, HRESULT hr) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08X", unsigned(hr));
  return std::string(step) + " 失败（HRESULT " + code + "）。";
}

DeviceSampleFormat ReadWaveFormat(const WAVEFORMATEX* f) {
  DeviceSampleFormat d;
  d.channels = f->nChannels;
  d.bits = f->wBitsPerSample;
  d.isFloat = f->wFormatTag == 3;
  if (f->wFormatTag == 0xFFFE && f->cbSize >= 22) {
    const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f);
    d.isFloat = x->SubFormat.Data1 == 3;
  }
  return d;
}

HRESULT GetEndpoint(IMMDeviceEnumerator* e, const std::string& id, EDataFlow flow, IMMDevice** out) {
  if (!id.empty()) return e->GetDevice(Utf8ToWide(id).c_str(), out);
  return e->GetDefaultAudioEndpoint(flow, eConsole, out);
}

}  // namespace vesk
