#include "app/edit_decisions.h"

#include <algorithm>

#include "doc/audio_doc.h"

namespace vesk {

bool ApplyDeleteRanges(std::vector<float>& samples, AudioFormat& format, const std::vector<FrameRange>& ranges,
                       std::string& error) {
  error.clear();
  AudioDoc doc;
  std::string docError;
  if (!doc.Adopt(format, std::vector<float>(samples), {}, docError, 16)) {
    error = "装进剪辑区失败：" + docError;
    return false;
  }
  const uint64_t sourceFrames = doc.Frames();
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
    const uint64_t frames = doc.Frames();
    uint64_t a = std::min<uint64_t>(uint64_t(std::max<int64_t>(it->start, 0)), frames);
    uint64_t b = std::min<uint64_t>(uint64_t(std::max<int64_t>(it->end, 0)), frames);
    if (a > b) std::swap(a, b);
    doc.SetSelection(a, b);
    std::string ignored;
    doc.DeleteSelection(ignored);  // an empty selection deletes nothing
  }
  std::vector<float> rendered;
  if (doc.Frames() == 0 && sourceFrames > 0) {
    // Everything was deleted: the edited track is silence for the whole
    // source, not the untouched original.
    rendered.assign(size_t(sourceFrames) * doc.Format().channels, 0.0f);
  } else if (!doc.RenderToSourceTimeline(sourceFrames, rendered)) {
    error = "按编辑决策表展开音频失败。";
    return false;
  }
  samples = std::move(rendered);
  format.sampleRate = doc.Format().sampleRate;
  return true;
}

}  // namespace vesk
