#pragma once
// Frames of the document against frames of the source file, through the
// document's segment list. Full-length playback plays on the source timeline
// (deleted ranges silent) while the play head, the selection and the seeks
// stay on the document timeline.
#include <cstdint>
#include <vector>

#include "doc/audio_doc.h"

namespace vesk::ui {

class SourceTimeline {
 public:
  SourceTimeline() = default;
  // The segments in document order (as the edits keep them: rising source
  // starts).
  explicit SourceTimeline(const SegmentList& segments);

  // segment start + (d − frames of the segments before it); at or beyond the
  // document's end: the largest segment end.
  uint64_t ToSource(uint64_t documentFrame) const;
  // Inside a segment: its document frame; inside a deleted range: where the
  // next kept segment begins; beyond the last segment: the document length.
  uint64_t ToDocument(uint64_t sourceFrame) const;
  uint64_t DocumentFrames() const { return docStarts_.empty() ? 0 : docStarts_.back(); }

 private:
  SegmentList segments_;
  std::vector<uint64_t> docStarts_;  // one per segment, plus the total
  uint64_t sourceEnd_ = 0;
};

}  // namespace vesk::ui
