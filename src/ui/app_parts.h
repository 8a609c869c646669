#pragma once
// The engines the application controller runs over: the system's
// (CreateSystemAppParts) or the in-memory ones of src/audio/ in tests.
#include <memory>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/playback_stream.h"

namespace vesk::ui {

struct AppParts {
  std::unique_ptr<AudioDeviceBackend> devices;
  std::unique_ptr<CaptureStream> microphone;
  std::unique_ptr<CaptureStream> loopback;
  std::unique_ptr<PlaybackStream> playback;
};
AppParts CreateSystemAppParts();

}  // namespace vesk::ui
