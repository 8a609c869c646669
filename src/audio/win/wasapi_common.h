#pragma once
// Small helpers shared by the Core Audio backends: reading a mix format and
// the step error text. COM pointers are held by ComRef.
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <string>

#include "audio/capture_stream.h"
#include "platform/win/com_ref.h"

namespace vesk {

// "%s 失败（HRESULT 0x%08X）。"
std::string HresultStepError(const char* step, HRESULT hr);
// Channels, bits and the float flag of a wave format (tag 3, or the
// extensible tag with an IEEE-float sub-format).
DeviceSampleFormat ReadWaveFormat(const WAVEFORMATEX* f);
// The endpoint by id, or the default of the flow when the id is empty.
HRESULT GetEndpoint(IMMDeviceEnumerator* e, const std::string& id, EDataFlow flow, IMMDevice** out);

}  // namespace vesk
