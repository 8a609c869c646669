#include "ui/source_timeline.h"

#include <algorithm>

namespace vesk::ui {

SourceTimeline::SourceTimeline(const SegmentList& segments) : segments_(segments) {
  uint64_t d = 0;
  for (const Segment& seg : segments_) {
    docStarts_.push_back(d);
    d += seg.length;
    sourceEnd_ = std::max(sourceEnd_, seg.sourceStart + seg.length);
  }
  docStarts_.push_back(d);
}

uint64_t SourceTimeline::ToSource(uint64_t documentFrame) const {
  if (segments_.empty() || documentFrame >= DocumentFrames()) return sourceEnd_;
  // The last segment starting at or before the frame.
  const size_t i =
      size_t(std::upper_bound(docStarts_.begin(), docStarts_.end() - 1, documentFrame) - docStarts_.begin()) - 1;
  return segments_[i].sourceStart + (documentFrame - docStarts_[i]);
}

uint64_t SourceTimeline::ToDocument(uint64_t sourceFrame) const {
  // The first segment that ends after the frame.
  const auto it = std::upper_bound(segments_.begin(), segments_.end(), sourceFrame,
                                   [](uint64_t f, const Segment& s) { return f < s.sourceStart + s.length; });
  if (it == segments_.end()) return DocumentFrames();
  const size_t i = size_t(it - segments_.begin());
  if (sourceFrame < it->sourceStart) return docStarts_[i];
  return docStarts_[i] + (sourceFrame - it->sourceStart);
}

}  // namespace vesk::ui
