#pragma once
// The preview decoding thread: it follows the play head (while playing and
// while scrubbing) by decoding the picture of the newest requested position.
// A request that arrives while another is still waiting replaces it — the
// newest position wins, so a slow decode never builds a queue behind the play
// head. Finished pictures go to a callback on the follower's thread; a window
// posts them to its user-interface thread (ViewPort::PostToUi) and draws.
//
// Threads: Request, WaitIdle, Statistics and the destructor from any one owner thread (the
// window's); the callback runs on the follower's own thread and must not call
// back into the follower except Request (destroying it from there would wait
// for itself).
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "video/preview_decoder.h"

namespace vesk {

class PreviewFollower {
 public:
  // `picture` is null when the decode failed; `error` then says why. The
  // same picture (same frame, size and pixels) is not handed out twice in a
  // row, nor the same error.
  using Delivery = std::function<void(std::shared_ptr<const PreviewPicture> picture, const std::string& error)>;

  struct Counts {
    uint64_t requested = 0;
    uint64_t superseded = 0;  // replaced by a newer request before decoding began
    uint64_t decoded = 0;     // requests served (successfully or not)
    uint64_t delivered = 0;   // callbacks made
  };

  // Takes over an opened source and starts the thread.
  PreviewFollower(std::unique_ptr<PreviewPictureSource> source, Delivery deliver);
  // Stops the thread: a decode in progress finishes, nothing waiting is
  // served, and no callback runs after the destructor returns.
  ~PreviewFollower();
  PreviewFollower(const PreviewFollower&) = delete;
  PreviewFollower& operator=(const PreviewFollower&) = delete;

  // Asks for the picture at `seconds` scaled to width × height pixels (the
  // caller keeps the shape with FitPreviewSize).
  void Request(double seconds, int width, int height, PreviewPixels pixels = PreviewPixels::Rgb24);

  // Waits until no request is waiting or being decoded; false after
  // `timeoutMs` (tests, benchmark).
  bool WaitIdle(int timeoutMs);
  Counts Statistics() const;

 private:
  struct Job {
    double seconds = 0;
    int width = 0, height = 0;
    PreviewPixels pixels = PreviewPixels::Rgb24;
  };
  void Run();

  std::unique_ptr<PreviewPictureSource> source_;
  Delivery deliver_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::optional<Job> waiting_;
  bool busy_ = false;
  bool stopping_ = false;
  Counts counts_;
  std::thread thread_;  // last: starts after every other member exists
};

}  // namespace vesk
