#pragma once
// Writes an MP4, then a Matroska header for one stream with the given codec
// parameters into memory; true when a container accepts it.
extern "C" {
#include <libavcodec/codec_par.h>
#include <libavutil/rational.h>
}

namespace vesk {

bool MuxHeaderTest(const AVCodecParameters* params, AVRational timeBase, AVRational frameRate);

}  // namespace vesk
