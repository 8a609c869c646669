#pragma once
// Pictures of a video for the preview window: open a file, learn its picture
// size and duration, and get the picture shown at a given time, scaled to the
// size the window asks for. Built on libavcodec and libswscale; a build
// without the FFmpeg libraries gets a stand-in whose Open fails with a
// message.
//
// Threads: one PreviewDecoder is used by one thread at a time (the preview
// follower's thread, or the self-test). Nothing here touches a window.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vesk {

enum class PreviewPixels {
  Rgb24,  // R, G, B bytes (Qt's QImage::Format_RGB888)
  Bgrx32  // B, G, R, unused bytes (a top-down 32-bit GDI DIB section)
};

struct PreviewPicture {
  int width = 0;
  int height = 0;
  PreviewPixels pixels = PreviewPixels::Rgb24;
  size_t stride = 0;  // bytes per row; rows run top to bottom without padding
  std::vector<uint8_t> data;
  double frameTime = 0;  // seconds from the start of the video of the frame shown
  double requested = 0;  // the time that was asked for
};

// Whatever can hand out preview pictures: the decoder, and fakes in tests.
class PreviewPictureSource {
 public:
  virtual ~PreviewPictureSource() = default;
  // The picture on screen at `seconds` (the last frame starting at or before
  // it; the first frame before the start, the last one beyond the end),
  // scaled to width × height (each 1–8192). False with a Chinese reason.
  virtual bool PictureAt(double seconds, int width, int height, PreviewPixels pixels, PreviewPicture& out,
                         std::string& error) = 0;
};

class PreviewDecoder final : public PreviewPictureSource {
 public:
  PreviewDecoder();
  ~PreviewDecoder() override;
  PreviewDecoder(const PreviewDecoder&) = delete;
  PreviewDecoder& operator=(const PreviewDecoder&) = delete;

  // Opens the first picture stream of `path` (cover images do not count).
  // On failure returns false with a Chinese reason and the decoder is as
  // after Close: nothing open, nothing cached. Opening again closes the
  // previous file first.
  bool Open(const std::filesystem::path& path, std::string& error);
  void Close();
  bool IsOpen() const;

  // Of the open video (0 when none): picture size in pixels with the sample
  // aspect ratio applied to the width, duration and nominal frame rate.
  int Width() const;
  int Height() const;
  double DurationSeconds() const;
  double FrameRate() const;

  // Seeks to the nearest earlier key frame and decodes forward, or decodes
  // straight on when the time lies a little ahead of the last picture. The
  // last scaled picture is kept: asking for the same frame at the same size
  // again costs a copy.
  bool PictureAt(double seconds, int width, int height, PreviewPixels pixels, PreviewPicture& out,
                 std::string& error) override;

  // Counters for tests and the benchmark.
  struct Counters {
    uint64_t seeks = 0;
    uint64_t framesDecoded = 0;
    uint64_t cacheHits = 0;
  };
  Counters Statistics() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The size a picture of srcWidth × srcHeight takes inside a box of
// boxWidth × boxHeight keeping its shape (each at least 1; 0 × 0 when any
// input is below 1).
struct PreviewSize {
  int width = 0;
  int height = 0;
};
PreviewSize FitPreviewSize(int srcWidth, int srcHeight, int boxWidth, int boxHeight);

// The checks every backend makes before opening: the path names an existing
// file, not a folder. False with the message the decoder reports.
bool CheckPreviewFile(const std::filesystem::path& path, std::string& error);

}  // namespace vesk
