// The system-reader stage of the probe on Windows: the Media Foundation
// source reader says whether there is a picture, its native subtype and the
// presentation duration. The portable side turns that into the answer.
#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstring>
#include <mutex>

#include "platform/system.h"
#include "platform/win/com_ref.h"
#include "video/probe_stages.h"

namespace vesk {

namespace {

// Started once per run; the probe keeps its reference for the process.
void StartMediaFoundationOnce() {
  static std::once_flag once;
  std::call_once(once, [] { AcquireMediaFoundation(); });
}

}  // namespace

bool SystemReaderProbe(const std::filesystem::path& path, SystemProbeInfo& info) {
  info = SystemProbeInfo{};
  StartMediaFoundationOnce();
  ComForCall com;
  ComRef<IMFSourceReader> reader;
  if (FAILED(MFCreateSourceReaderFromURL(path.wstring().c_str(), nullptr, reader.Put())) || !reader.Get()) return false;

  PROPVARIANT value;
  PropVariantInit(&value);
  if (SUCCEEDED(reader->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE, MF_PD_DURATION, &value)) &&
      value.vt == VT_UI8)
    info.duration = double(value.uhVal.QuadPart) / 1e7;
  PropVariantClear(&value);

  // Stream numbers run from 0 until the reader says there is no such stream.
  for (DWORD stream = 0; stream < 1024; ++stream) {
    ComRef<IMFMediaType> type;
    const HRESULT hr = reader->GetNativeMediaType(stream, 0, type.Put());
    if (hr == MF_E_INVALIDSTREAMNUMBER) break;
    if (FAILED(hr) || !type.Get()) continue;
    GUID major{};
    if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Video) continue;
    GUID subtype{};
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    info.hasVideo = true;
    info.videoStream = stream;
    static_assert(sizeof(GUID) == sizeof(MediaSubtype));
    std::memcpy(info.subtype.data(), &subtype, sizeof subtype);
    break;
  }
  return true;
}

// Only a system-reader answer carries the stream index and subtype the
// sink-writer pass-through needs.
bool PassThroughFromLibProbe() { return false; }

}  // namespace vesk
