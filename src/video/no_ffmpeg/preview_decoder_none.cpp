// Builds without the FFmpeg libraries: no picture can be decoded.
#include "video/preview_decoder.h"

namespace vesk {

struct PreviewDecoder::Impl {};

PreviewDecoder::PreviewDecoder() = default;
PreviewDecoder::~PreviewDecoder() = default;

bool PreviewDecoder::Open(const std::filesystem::path& path, std::string& error) {
  Close();
  if (!CheckPreviewFile(path, error)) return false;
  error = "这个版本没有编进 FFmpeg 库，预览不了视频画面。";
  return false;
}

void PreviewDecoder::Close() { impl_.reset(); }
bool PreviewDecoder::IsOpen() const { return false; }
int PreviewDecoder::Width() const { return 0; }
int PreviewDecoder::Height() const { return 0; }
double PreviewDecoder::DurationSeconds() const { return 0; }
double PreviewDecoder::FrameRate() const { return 0; }
PreviewDecoder::Counters PreviewDecoder::Statistics() const { return {}; }

bool PreviewDecoder::PictureAt(double, int, int, PreviewPixels, PreviewPicture&, std::string& error) {
  error = "没有打开视频。";
  return false;
}

}  // namespace vesk
