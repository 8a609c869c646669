#include "video/preview_follower.h"

#include <chrono>

namespace vesk {

PreviewFollower::PreviewFollower(std::unique_ptr<PreviewPictureSource> source, Delivery deliver)
    : source_(std::move(source)), deliver_(std::move(deliver)), thread_([this] { Run(); }) {}

PreviewFollower::~PreviewFollower() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    waiting_.reset();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PreviewFollower::Request(double seconds, int width, int height, PreviewPixels pixels) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    ++counts_.requested;
    if (waiting_) ++counts_.superseded;
    waiting_ = Job{seconds, width, height, pixels};
  }
  wake_.notify_one();
}

bool PreviewFollower::WaitIdle(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !waiting_ && !busy_; });
}

PreviewFollower::Counts PreviewFollower::Statistics() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

void PreviewFollower::Run() {
  std::shared_ptr<const PreviewPicture> last;
  std::string lastError;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      busy_ = false;
      idle_.notify_all();
      wake_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
      if (stopping_) return;
      job = *waiting_;
      waiting_.reset();
      busy_ = true;
    }
    // Decoding runs without the lock, so requests keep replacing each other
    // meanwhile and the next round takes only the newest.
    auto picture = std::make_shared<PreviewPicture>();
    std::string error;
    const bool ok = source_->PictureAt(job.seconds, job.width, job.height, job.pixels, *picture, error);
    bool send = false;
    if (ok) {
      send = !last || last->frameTime != picture->frameTime || last->width != picture->width ||
             last->height != picture->height || last->pixels != picture->pixels;
      lastError.clear();
    } else {
      send = error != lastError;
      lastError = error;
      last.reset();  // the picture after an error is shown again
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++counts_.decoded;
      if (send) ++counts_.delivered;
    }
    if (!send) continue;
    if (ok) {
      last = picture;
      deliver_(std::move(picture), std::string());
    } else {
      deliver_(nullptr, error);
    }
  }
}

}  // namespace vesk
