// Min/max envelopes of the document for painting, with their caches.
#include <algorithm>

#include "doc/audio_doc.h"

namespace vesk {

namespace {

struct MinMax {
  float mn = 1e9f;
  float mx = -1e9f;
};

// Scans `count` values spaced `stride` floats apart. Four independent
// accumulator pairs keep the loop bound by memory rather than by the
// compare latency chain.
MinMax ScanStrided(const float* p, uint64_t count, size_t stride) {
  float mn0 = 1e9f, mn1 = 1e9f, mn2 = 1e9f, mn3 = 1e9f;
  float mx0 = -1e9f, mx1 = -1e9f, mx2 = -1e9f, mx3 = -1e9f;
  uint64_t i = 0;
  for (; i + 4 <= count; i += 4, p += 4 * stride) {
    const float a = p[0], b = p[stride], c = p[2 * stride], d = p[3 * stride];
    mn0 = a < mn0 ? a : mn0;
    mx0 = a > mx0 ? a : mx0;
    mn1 = b < mn1 ? b : mn1;
    mx1 = b > mx1 ? b : mx1;
    mn2 = c < mn2 ? c : mn2;
    mx2 = c > mx2 ? c : mx2;
    mn3 = d < mn3 ? d : mn3;
    mx3 = d > mx3 ? d : mx3;
  }
  for (; i < count; ++i, p += stride) {
    mn0 = *p < mn0 ? *p : mn0;
    mx0 = *p > mx0 ? *p : mx0;
  }
  return {std::min(std::min(mn0, mn1), std::min(mn2, mn3)), std::max(std::max(mx0, mx1), std::max(mx2, mx3))};
}

// The mean of channels 0 and 1 of `count` frames.
MinMax ScanMix(const float* p, uint64_t count, size_t stride) {
  float mn0 = 1e9f, mn1 = 1e9f, mx0 = -1e9f, mx1 = -1e9f;
  uint64_t i = 0;
  for (; i + 2 <= count; i += 2, p += 2 * stride) {
    const float a = (p[0] + p[1]) / 2;
    const float b = (p[stride] + p[stride + 1]) / 2;
    mn0 = a < mn0 ? a : mn0;
    mx0 = a > mx0 ? a : mx0;
    mn1 = b < mn1 ? b : mn1;
    mx1 = b > mx1 ? b : mx1;
  }
  if (i < count) {
    const float a = (p[0] + p[1]) / 2;
    mn0 = a < mn0 ? a : mn0;
    mx0 = a > mx0 ? a : mx0;
  }
  return {std::min(mn0, mn1), std::max(mx0, mx1)};
}

}  // namespace

void AudioDoc::ViewEnvelope(int32_t channelRequest, uint64_t start, uint64_t end, uint64_t columns,
                            std::vector<float>& mins, std::vector<float>& maxs) {
  mins.assign(columns, 0.0f);
  maxs.assign(columns, 0.0f);
  if (columns == 0 || samples_.empty()) return;
  const size_t ch = format_.channels ? format_.channels : 1;
  const uint64_t frames = samples_.size() / ch;
  end = std::min(end, frames);
  if (start >= end) return;

  bool mix = channelRequest < 0;
  size_t c = 0;
  if (!mix) {
    c = size_t(std::min(channelRequest, 1));
    if (c >= ch) c = ch > 1 ? 1 : 0;
  }
  if (ch == 1) mix = false;  // a single channel is its own mix
  ViewSlot& slot = viewSlots_[channelRequest < 0 ? 2 : c];
  if (slot.valid && slot.request == channelRequest && slot.start == start && slot.end == end &&
      slot.columns == columns && slot.mins.size() == columns && slot.maxs.size() == columns) {
    std::copy(slot.mins.begin(), slot.mins.end(), mins.begin());
    std::copy(slot.maxs.begin(), slot.maxs.end(), maxs.begin());
    return;
  }

  ++envelopeScans_;
  const double step = double(end - start) / double(columns);
  for (uint64_t i = 0; i < columns; ++i) {
    const uint64_t s = start + uint64_t(double(i) * step);
    if (s >= end) break;
    uint64_t e = start + uint64_t(double(i + 1) * step);
    e = std::min(std::max(e, s + 1), end);
    const float* p = samples_.data() + s * ch;
    const MinMax m = mix ? ScanMix(p, e - s, ch) : ScanStrided(p + c, e - s, ch);
    if (m.mn > m.mx) continue;  // both stay 0
    mins[i] = m.mn;
    maxs[i] = m.mx;
  }

  slot.valid = true;
  slot.request = channelRequest;
  slot.start = start;
  slot.end = end;
  slot.columns = columns;
  slot.mins = mins;
  slot.maxs = maxs;
}

void AudioDoc::Envelope(std::vector<float>& mins, std::vector<float>& maxs) {
  constexpr uint64_t kColumns = 256;
  mins.assign(kColumns, 0.0f);
  maxs.assign(kColumns, 0.0f);
  if (samples_.empty()) return;
  if (!envelopeDirty_ && wholeColumns_ == kColumns && wholeMin_[2].size() == kColumns &&
      wholeMax_[2].size() == kColumns) {
    mins = wholeMin_[2];
    maxs = wholeMax_[2];
    return;
  }

  ++envelopeScans_;
  for (auto& v : wholeMin_) v.assign(kColumns, 1.0f);
  for (auto& v : wholeMax_) v.assign(kColumns, -1.0f);
  const size_t ch = format_.channels ? format_.channels : 1;
  const size_t used = std::min<size_t>(ch, 2);
  const uint64_t frames = samples_.size() / ch;
  for (uint64_t col = 0; col < kColumns; ++col) {
    const uint64_t first = col * frames / kColumns;
    const uint64_t last = std::min(std::max((col + 1) * frames / kColumns, first + 1), frames);
    float mn[3] = {1.0f, 1.0f, 1.0f};
    float mx[3] = {-1.0f, -1.0f, -1.0f};
    for (uint64_t f = first; f < last; ++f) {
      const float* p = samples_.data() + f * ch;
      float sum = 0;
      for (size_t k = 0; k < used; ++k) {
        mn[k] = std::min(mn[k], p[k]);
        mx[k] = std::max(mx[k], p[k]);
        sum += p[k];
      }
      const float m = sum / float(ch);
      mn[2] = std::min(mn[2], m);
      mx[2] = std::max(mx[2], m);
    }
    for (size_t k = 0; k < 3; ++k) {
      wholeMin_[k][col] = mn[k];
      wholeMax_[k][col] = mx[k];
    }
  }
  for (size_t k = 0; k < 3; ++k)
    for (uint64_t col = 0; col < kColumns; ++col)
      if (wholeMin_[k][col] > wholeMax_[k][col]) wholeMin_[k][col] = wholeMax_[k][col] = 0.0f;
  wholeColumns_ = kColumns;
  envelopeDirty_ = false;
  mins = wholeMin_[2];
  maxs = wholeMax_[2];
}

}  // namespace vesk
