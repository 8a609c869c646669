#include "ui/edit_area.h"

#include "audio/playback_stream.h"
#include "doc/audio_doc.h"

namespace vesk::ui {

EditArea::EditArea(EditContext context) : ctx_(std::move(context)) {}
EditArea::~EditArea() = default;

void EditArea::OnRecordingLoaded() {}
void EditArea::OnRecordingStarted() { StopPlayback(); }
bool EditArea::HandleCommand(int id) { return HandleFileCommand(id); }
void EditArea::ResetViewAfterOpen() {}
void EditArea::Tick() {}
void EditArea::UpdateControls() {}
bool EditArea::Playing() const { return ctx_.playback != nullptr && ctx_.playback->Running(); }
void EditArea::StopPlayback() {
  if (Playing()) ctx_.playback->Stop();
}
void EditArea::RestartPlaybackOnNewDevice() {}
bool EditArea::OnKey(const KeyEvent&) { return false; }
void EditArea::OnMouse(const MouseEvent&, int, int) {}
void EditArea::OnWheel(const WheelEvent&, int, int) {}
PointerShape EditArea::PointerAt(int, int, int, int) const { return PointerShape::Arrow; }
WaveScene EditArea::Scene(int viewWidth, int viewHeight) {
  WaveScene s;
  s.width = viewWidth;
  s.height = viewHeight;
  s.emptyText =
      "剪辑区是空的。\r\n点上面「打开音视频」载入文件，或直接把音频/视频文件拖进这个窗口。\r\n录完音也会自动载入。";
  s.watermark = "剪 辑 区";
  return s;
}
std::string EditArea::InfoLine() const { return {}; }

}  // namespace vesk::ui
