#pragma once
// What the waveform view paints, fully decided: the views draw these
// rectangles, lines and texts in this order and decide nothing. Coordinates
// are 96-DPI units of the view's client area; colours are the views' choice
// per element kind.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/main_layout.h"

namespace vesk::ui {

struct RulerTick {
  int x = 0;
  bool major = false;  // majors are longer and carry a label
  std::string label;   // "0:05", "1:30.5", …
};

// The envelope of one channel lane: per column x (0 … width−1) the min and
// max in [-1, 1]; the lane spans [top, top + height).
struct EnvelopeLane {
  int top = 0;
  int height = 0;
  std::vector<float> mins;
  std::vector<float> maxs;
};

// One 512-frame column of the live waveform: a vertical line at x in each
// lane from min to max (lane 1 is unused for a mono recording).
struct LiveColumn {
  int x = 0;
  float mins[2] = {0, 0};
  float maxs[2] = {0, 0};
};

struct WaveScene {
  int width = 0;
  int height = 0;

  // Empty document: the two texts, nothing else.
  bool empty = true;
  std::string emptyText;  // several lines separated by "\r\n"
  std::string watermark;  // "剪 辑 区"

  // Recording: the scrolling live waveform instead of the document. The
  // lanes then carry only their place (no per-x values); the columns are in
  // liveColumns, the ruler holds the page's start, middle and end labels and
  // the play head is the written position.
  bool live = false;
  std::vector<LiveColumn> liveColumns;

  int rulerHeight = 0;
  std::vector<RulerTick> ruler;
  std::vector<EnvelopeLane> lanes;  // one or two

  bool hasSelection = false;
  int selectionLeft = 0;   // x of the first selected column
  int selectionRight = 0;  // x one past the last

  bool hasPlayHead = false;
  int playHeadX = 0;

  bool hasScrollStrip = false;
  LayoutRect scrollTrack;
  LayoutRect scrollThumb;

  std::string hint;  // "滚轮缩放 · 右键拖动平移" until used, else empty
};

// What the pointer looks like at a point of the view.
enum class PointerShape { Arrow, Hand, IBeam };

}  // namespace vesk::ui
