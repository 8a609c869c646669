#pragma once
// An opened AAC or FLAC encoder of the FFmpeg libraries with what the feeder
// needs to know about its input.
#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vesk {

struct AudioEncoder {
  uint32_t codec = 0;  // 1 = FLAC, else AAC
  uint32_t rate = 0;
  uint16_t channels = 0;
  AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
  int chunkFrames = 1024;
  AVCodecContext* context = nullptr;

  AudioEncoder() = default;
  AudioEncoder(const AudioEncoder&) = delete;
  AudioEncoder& operator=(const AudioEncoder&) = delete;
  ~AudioEncoder() { avcodec_free_context(&context); }
};

// bitrate in kbps (AAC only). `globalHeader` for containers that keep the
// codec setup outside the packets (MP4).
bool CreateAudioEncoder(uint32_t codec, uint32_t rate, uint16_t channels, uint32_t bitrateKbps, bool globalHeader,
                        AudioEncoder& encoder, std::string& error);

}  // namespace vesk
