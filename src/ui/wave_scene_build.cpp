#include "ui/wave_scene_build.h"

#include <algorithm>
#include <cmath>

#include "doc/audio_doc.h"
#include "platform/text.h"
#include "record/play_head_servo.h"

namespace vesk::ui {

namespace {

constexpr double kTickStepsMs[] = {1,      2,      5,      10,     20,      50,      100,    200,
                                   500,    1000,   2000,   5000,   10000,   15000,   30000,  60000,
                                   120000, 300000, 600000, 900000, 1800000, 3600000, 7200000};

// A label fine enough to tell ticks `stepMs` apart: "1:05", "1:05.5",
// "1:05.25", "1:05.125".
std::string TickLabel(double ms, double stepMs) {
  const long long t = std::llround(ms);
  const long long m = t / 60000, sec = t / 1000 % 60, frac = t % 1000;
  if (stepMs >= 1000) return Format("%lld:%02lld", m, sec);
  if (stepMs >= 100) return Format("%lld:%02lld.%lld", m, sec, frac / 100);
  if (stepMs >= 10) return Format("%lld:%02lld.%02lld", m, sec, frac / 10);
  return Format("%lld:%02lld.%03lld", m, sec, frac);
}

// Lanes below the ruler down to `bottom`, one or two.
std::vector<EnvelopeLane> PlaceLanes(int lanes, int bottom) {
  std::vector<EnvelopeLane> out(static_cast<size_t>(lanes));
  const int area = std::max(bottom - kRulerHeight, 0);
  const int each = lanes == 1 ? area : std::max((area - kLaneGap) / 2, 0);
  for (int i = 0; i < lanes; ++i) {
    out[size_t(i)].top = kRulerHeight + i * (each + kLaneGap);
    out[size_t(i)].height = each;
  }
  return out;
}

}  // namespace

std::vector<RulerTick> RulerTicks(uint64_t start, uint64_t visible, uint32_t rate, int width) {
  std::vector<RulerTick> ticks;
  if (visible == 0 || width <= 0) return ticks;
  const double r = rate ? rate : 48000;
  const double unitsPerMs = r / 1000.0 * double(width) / double(visible);
  double step = kTickStepsMs[std::size(kTickStepsMs) - 1];
  for (double s : kTickStepsMs) {
    if (s * unitsPerMs >= kMajorTickSpacing) {
      step = s;
      break;
    }
  }
  const int sub = step * unitsPerMs / 5 >= 8 ? 5 : 2;
  const double minor = step / sub;
  const double startMs = double(start) * 1000.0 / r;
  const double endMs = double(start + visible) * 1000.0 / r;
  for (long long k = (long long)std::ceil(startMs / minor); double(k) * minor <= endMs; ++k) {
    const double ms = double(k) * minor;
    RulerTick tick;
    tick.x = int(std::floor((ms - startMs) * unitsPerMs));
    tick.major = k % sub == 0;
    if (tick.major) tick.label = TickLabel(ms, step);
    ticks.push_back(std::move(tick));
  }
  return ticks;
}

WaveScene EmptyScene(int width, int height) {
  WaveScene s;
  s.width = width;
  s.height = height;
  s.empty = true;
  s.emptyText =
      "剪辑区是空的。\r\n点上面「打开音视频」载入文件，或直接把音频/视频文件拖进这个窗口。\r\n录完音也会自动载入。";
  s.watermark = "剪 辑 区";
  return s;
}

WaveScene BuildEditScene(AudioDoc& doc, const WaveViewModel& view, int width, int height, bool hintUsed) {
  if (doc.Frames() == 0) return EmptyScene(width, height);
  WaveScene s;
  s.width = width;
  s.height = height;
  s.empty = false;
  const uint64_t start = view.Start(), visible = view.Visible();
  const uint32_t rate = doc.Format().sampleRate;
  s.rulerHeight = kRulerHeight;
  s.ruler = RulerTicks(start, visible, rate, width);

  const StripGeometry strip = view.Strip(width, height);
  const bool mono = doc.Format().channels == 1;
  s.lanes = PlaceLanes(mono ? 1 : 2, height - (strip.shown ? kStripHeight : 0));
  const uint64_t columns = uint64_t(std::max(width, 1));
  for (size_t i = 0; i < s.lanes.size(); ++i)
    doc.ViewEnvelope(mono ? -1 : int32_t(i), start, start + visible, columns, s.lanes[i].mins, s.lanes[i].maxs);

  const uint64_t a = doc.SelectionStart(), b = doc.SelectionEnd();
  if (b > a && b > start && a < start + visible) {
    const double left = std::max(view.XOf(a, width), 0.0);
    const double right = std::min(view.XOf(b, width), double(width));
    s.hasSelection = true;
    s.selectionLeft = int(std::floor(left));
    s.selectionRight = std::max(int(std::ceil(right)), s.selectionLeft + 1);
  }
  const uint64_t head = view.PlayHead();
  if (head >= start && head <= start + visible) {
    s.hasPlayHead = true;
    s.playHeadX = std::clamp(int(std::floor(view.XOf(head, width))), 0, std::max(width - 1, 0));
  }
  if (strip.shown) {
    s.hasScrollStrip = true;
    s.scrollTrack = strip.track;
    s.scrollThumb = strip.thumb;
  }
  if (!hintUsed) s.hint = kHintPanZoom;
  return s;
}

WaveScene BuildLiveScene(const PlayHeadServo& servo, int64_t displayed, uint32_t rate, int channels, double spanSeconds,
                         int width, int height) {
  WaveScene s;
  s.width = width;
  s.height = height;
  s.empty = false;
  s.live = true;
  const int lanes = channels == 1 ? 1 : 2;
  s.rulerHeight = kRulerHeight;
  s.lanes = PlaceLanes(lanes, height);
  const int64_t r = rate ? rate : 48000;
  const int64_t span = std::max<int64_t>(int64_t(double(r) * spanSeconds), 1);
  displayed = std::max<int64_t>(displayed, 0);
  const int64_t page = displayed - displayed % span;
  const double stepMs = double(span) * 500.0 / double(r);
  for (int i = 0; i <= 2; ++i) {
    RulerTick tick;
    tick.x = width * i / 2;
    tick.major = true;
    tick.label = TickLabel(double(page + span * i / 2) * 1000.0 / double(r), stepMs);
    s.ruler.push_back(std::move(tick));
  }
  const int64_t count = servo.ColumnCount();
  const int64_t first = std::max(page / PlayHeadServo::kColumnFrames, count - PlayHeadServo::kColumnSlots);
  const double unitsPerFrame = double(width) / double(span);
  for (int64_t k = std::max<int64_t>(first, 0); k < count; ++k) {
    const int64_t from = k * PlayHeadServo::kColumnFrames;
    if (from > displayed) break;
    const double xs = double(from - page) * unitsPerFrame;
    const double xe = double(from + PlayHeadServo::kColumnFrames - page) * unitsPerFrame;
    const WaveColumn c = servo.Column(k);
    LiveColumn col;
    col.x = int((xs + xe) / 2);
    col.mins[0] = float(c.minLeft) / 32767.0f;
    col.maxs[0] = float(c.maxLeft) / 32767.0f;
    col.mins[1] = float(c.minRight) / 32767.0f;
    col.maxs[1] = float(c.maxRight) / 32767.0f;
    s.liveColumns.push_back(col);
  }
  s.hasPlayHead = true;
  s.playHeadX = std::min(int(double(displayed - page) * unitsPerFrame), std::max(width - 1, 0));
  return s;
}

}  // namespace vesk::ui
