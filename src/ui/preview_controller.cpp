#include "ui/preview_controller.h"

#include <cmath>

#include "core/app_log.h"
#include "platform/text.h"
#include "ui/control_ids.h"

namespace vesk::ui {
namespace {

// A dragged window reports every step; the file is written once it rests
// this many ticks (about half a second).
constexpr int kSaveAfterTicks = 15;

// The follower owns its source; the decoder stays with the controller so a
// preview opened again needs no second open of the file.
class SharedSource final : public PreviewPictureSource {
 public:
  explicit SharedSource(std::shared_ptr<PreviewDecoder> decoder) : decoder_(std::move(decoder)) {}
  bool PictureAt(double seconds, int width, int height, PreviewPixels pixels, PreviewPicture& out,
                 std::string& error) override {
    return decoder_->PictureAt(seconds, width, height, pixels, out, error);
  }

 private:
  std::shared_ptr<PreviewDecoder> decoder_;
};

}  // namespace

PreviewController::PreviewController(PreviewContext context) : ctx_(std::move(context)) {}

PreviewController::~PreviewController() { Close(false); }

void PreviewController::Describe(WindowFacts& facts) const {
  facts.previewOpen = IsOpen();
  facts.previewAvailable = decoder_ != nullptr;
}

void PreviewController::MediaChanged(const std::filesystem::path& file) {
  // Another file (or the same one opened again) starts a new preview.
  Close(true);
  decoder_.reset();
  decoderFile_.clear();
  if (!file.empty() && ctx_.port->Preview() != nullptr) {
    auto decoder = std::make_shared<PreviewDecoder>();
    std::string error;
    if (decoder->Open(file, error)) {
      decoder_ = std::move(decoder);
      decoderFile_ = file;
    } else {
      AppLog("[preview] %s 没有可预览的画面：%s", PathToUtf8(file).c_str(), error.c_str());
    }
  }
}

void PreviewController::Toggle(double seconds) {
  if (IsOpen())
    Close(true);
  else
    Open(seconds);
}

void PreviewController::Open(double seconds) {
  PreviewView* window = ctx_.port->Preview();
  if (window == nullptr || decoder_ == nullptr) return;
  session_.Renew();
  follower_ = std::make_unique<PreviewFollower>(
      std::make_unique<SharedSource>(decoder_),
      [this, port = ctx_.port, session = session_.Watched()](std::shared_ptr<const PreviewPicture> picture,
                                                             const std::string& error) {
        // Follower thread: only the post happens here.
        port->PostToUi(session, [this, picture = std::move(picture), error] { OnDelivered(picture, error); });
      });
  lastError_.clear();
  shown_.requestedSeconds = -1;
  const std::optional<WindowRect> rect = ctx_.app->SavedPreviewRect(window->Screen());
  window->Show(rect, {[this] { ticksSinceMove_ = 0; },
                      [this] {
                        Close(true);
                        ctx_.port->Flush();  // the button, at once
                      }});
  AppLog("[preview] 打开预览：%s", PathToUtf8(decoderFile_).c_str());
  RequestPicture(true, seconds);
}

void PreviewController::Close(bool save) {
  if (!IsOpen()) return;
  // Saved while the window is still up: PreviewRect is written only then.
  if (save) ctx_.app->SaveSettings();
  ticksSinceMove_ = -1;
  session_.Expire();
  follower_.reset();  // waits for a decode in progress; nothing is delivered after
  if (PreviewView* window = ctx_.port->Preview()) window->Hide();
}

void PreviewController::Shutdown() { Close(false); }

std::optional<WindowRect> PreviewController::OpenRect() const {
  if (!IsOpen()) return std::nullopt;
  PreviewView* window = ctx_.port->Preview();
  if (window == nullptr || !window->Shown()) return std::nullopt;
  return window->Frame();
}

void PreviewController::RequestPicture(bool always, double seconds) {
  PreviewView* window = ctx_.port->Preview();
  if (!IsOpen() || window == nullptr) return;
  const PreviewSize box = window->ClientSize();
  const PreviewSize size = FitPreviewSize(decoder_->Width(), decoder_->Height(), box.width, box.height);
  if (size.width < 1 || size.height < 1) return;
  if (!always && seconds == shown_.requestedSeconds && size.width == shown_.width && size.height == shown_.height)
    return;
  shown_.requestedSeconds = seconds;
  shown_.width = size.width;
  shown_.height = size.height;
  ++shown_.requests;
  follower_->Request(seconds, size.width, size.height, window->Pixels());
}

void PreviewController::Tick(double seconds) {
  if (!IsOpen()) return;
  RequestPicture(false, seconds);
  if (ticksSinceMove_ >= 0 && ++ticksSinceMove_ >= kSaveAfterTicks) {
    ticksSinceMove_ = -1;
    ctx_.app->SaveSettings();
  }
}

void PreviewController::OnDelivered(const std::shared_ptr<const PreviewPicture>& picture, const std::string& error) {
  PreviewView* window = ctx_.port->Preview();
  if (!IsOpen() || window == nullptr) return;
  if (picture == nullptr) {
    if (error != lastError_) {
      lastError_ = error;
      AppLog("[preview] 画面解码失败：%s", error.c_str());
      ctx_.port->Status("预览画面解不出来：" + error);
    }
    return;
  }
  lastError_.clear();
  ++shown_.pictures;
  window->ShowPicture(picture);
}

}  // namespace vesk::ui
