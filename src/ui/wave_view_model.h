#pragma once
// The waveform view's values and gestures without a document or a screen:
// which frames are visible, where the scroll strip and its thumb sit, and
// what a press, drag, release or wheel step does. EditArea applies the
// outcome of a gesture to the document and the playback.
//
// Units: x and y in 96-DPI units of the view's client area; frames are
// document frames. Threads: the user-interface thread only.
#include <cstdint>

#include "ui/input_events.h"
#include "ui/main_layout.h"

namespace vesk::ui {

inline constexpr int kStripHeight = 12;
inline constexpr int kStripMargin = 2;
inline constexpr int kThumbMinWidth = 28;
inline constexpr int kSelectSlop = 4;  // a drag further than this selects
inline constexpr int kClickWidth = 3;  // a selection narrower than this on screen is a click
inline constexpr uint64_t kZoomFloorFrames = 1000;
inline constexpr double kLiveSpanMinSeconds = 5;
inline constexpr double kLiveSpanMaxSeconds = 300;
inline constexpr double kLiveSpanDefaultSeconds = 30;

enum class PressState { Idle, PendingClick, Selecting, ThumbDrag, PanDrag };

struct StripGeometry {
  bool shown = false;  // only while zoomed in
  LayoutRect track;    // the bottom strip less the side margins
  LayoutRect thumb;
};

// What a mouse event asks of the document and the playback.
struct GestureOutcome {
  bool changed = false;        // anything to repaint
  bool viewMoved = false;      // pan, scroll or zoom (the hint counts as used)
  bool playHeadMoved = false;  // PlayHead() is new
  bool seek = false;           // playing: move the playback to `seekFrame`
  uint64_t seekFrame = 0;
  bool selectionChanged = false;  // hand [selStart, selEnd) to the document
  uint64_t selStart = 0;
  uint64_t selEnd = 0;
  bool selectAll = false;
  bool released = false;  // pointer released: the view takes the focus
  bool contextMenu = false;  // a right click that did not pan: the window's context menu
};

class WaveViewModel {
 public:
  // The document length changed, or a finished recording / a trim: the whole
  // clip in view.
  void ShowWhole(uint64_t frames);
  // After delete, silence, undo, redo and selection denoise: the zoom span
  // stays when it still fits, otherwise the whole clip.
  void KeepZoom(uint64_t frames);

  uint64_t Length() const { return n_; }
  uint64_t Start() const { return s_; }
  uint64_t ZoomSpan() const { return z_; }
  uint64_t Visible() const { return z_ > 0 && z_ <= n_ ? z_ : n_; }
  bool Zoomed() const { return Visible() < n_; }

  uint64_t PlayHead() const { return playHead_; }
  void SetPlayHead(uint64_t frame) { playHead_ = frame < n_ ? frame : n_; }
  PressState Press() const { return press_; }
  // A recording starts or the document is replaced: any drag ends.
  void CancelPress() { press_ = PressState::Idle; }

  // frame(x) over a client width `width`.
  uint64_t FrameAt(int x, int width) const;
  // The x of a frame (may lie outside [0, width]).
  double XOf(uint64_t frame, int width) const;
  StripGeometry Strip(int width, int height) const;
  bool OnStrip(int y, int height) const { return Zoomed() && y >= height - kStripHeight; }

  // A mouse event on a non-empty document; `playing` turns a plain left
  // press into a seek.
  GestureOutcome Mouse(const MouseEvent& event, int width, int height, bool playing);
  // Wheel steps over the document (positive = away from the user = zoom in).
  // True when handled (the document is not empty).
  bool Wheel(int steps, int x, int width);

  // Seconds of live waveform shown while recording.
  double LiveSpan() const { return liveSpan_; }
  void WheelLiveSpan(int steps);

 private:
  void PressLeft(int x, int y, int width, int height, bool playing, GestureOutcome& out);
  void MoveTo(int x, int width, int height, GestureOutcome& out);
  void ScrollTo(int64_t start);

  uint64_t n_ = 0;
  uint64_t s_ = 0;
  uint64_t z_ = 0;
  uint64_t playHead_ = 0;
  uint64_t anchor_ = 0;
  uint64_t selStart_ = 0;  // the selection of the drag in progress
  uint64_t selEnd_ = 0;
  PressState press_ = PressState::Idle;
  int pressX_ = 0;
  uint64_t pressS_ = 0;
  double liveSpan_ = kLiveSpanDefaultSeconds;
};

}  // namespace vesk::ui
