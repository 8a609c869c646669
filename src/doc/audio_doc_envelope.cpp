// Min/max envelopes of the document for painting, with their caches.
#include <algorithm>
#include <thread>

#include "doc/audio_doc.h"
#include "media/fold_down.h"

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

// A wider frame is drawn as its stereo fold (as it is played): `choice` 0
// and 1 are the folded sides, 2 their mean.
float FoldedValue(const float* frame, const StereoFold& fold, size_t choice) {
  float l, r;
  FoldFrame(frame, fold, l, r);
  return choice == 0 ? l : (choice == 1 ? r : (l + r) / 2);
}

MinMax ScanFolded(const float* p, uint64_t count, size_t stride, const StereoFold& fold, size_t choice) {
  MinMax m;
  for (uint64_t i = 0; i < count; ++i, p += stride) {
    const float v = FoldedValue(p, fold, choice);
    m.mn = v < m.mn ? v : m.mn;
    m.mx = v > m.mx ? v : m.mx;
  }
  return m;
}

void Merge(float& mn, float& mx, float a, float b) {
  mn = a < mn ? a : mn;
  mx = b > mx ? b : mx;
}

// Min/max of channel `choice` (2: the mean of the first two, or of the fold)
// over frames [s, e), across the pieces they lie in.
MinMax ScanFrames(const SampleSource& samples, size_t ch, size_t choice, const StereoFold& fold, uint64_t s,
                  uint64_t e) {
  MinMax out;
  ForEachSpan(samples, s, e, [&](const float* p, uint64_t n) {
    const MinMax m = ch > 2                     ? ScanFolded(p, n, ch, fold, choice)
                     : (ch > 1 && choice == 2) ? ScanMix(p, n, ch)
                                               : ScanStrided(p + (ch > 1 ? choice : 0), n, ch);
    Merge(out.mn, out.mx, m.mn, m.mx);
  });
  return out;
}

constexpr uint64_t kPeakBlock = 256;          // frames per block of the fine level
constexpr uint64_t kPeakBlockCoarse = 16384;  // frames per block of the coarse level
// Columns this wide read the blocks; narrower ones scan, which is as cheap.
constexpr uint64_t kPeakMinColumnFrames = 4 * kPeakBlock;

// The fine blocks [b0, b1) of a storage's `ch`-channel frames.
void BuildFineBlocks(const SampleStorage& storage, size_t ch, const StereoFold& fold, StoragePeaks::Level& fine,
                     uint64_t b0, uint64_t b1) {
  // A file's frames are read a stretch of whole blocks at a time.
  constexpr uint64_t kStretchBlocks = 256;
  std::vector<float> stretch;
  uint64_t stretchStart = 0, stretchEnd = 0;
  auto block = [&](uint64_t b) -> const float* {
    if (storage.Data() != nullptr) return storage.Data() + b * kPeakBlock * ch;
    if (b < stretchStart || b >= stretchEnd) {
      stretchStart = b;
      stretchEnd = std::min(b + kStretchBlocks, b1);
      stretch.resize((stretchEnd - stretchStart) * kPeakBlock * ch);
      storage.Read(stretchStart * kPeakBlock, (stretchEnd - stretchStart) * kPeakBlock, ch, stretch.data());
    }
    return stretch.data() + (b - stretchStart) * kPeakBlock * ch;
  };
  for (uint64_t b = b0; b < b1; ++b) {
    const float* p = block(b);
    if (ch == 1) {
      const MinMax m = ScanStrided(p, kPeakBlock, 1);
      fine.mins[0][b] = m.mn;
      fine.maxs[0][b] = m.mx;
      continue;
    }
    float mn0 = 1e9f, mx0 = -1e9f, mn1 = 1e9f, mx1 = -1e9f, mnm = 1e9f, mxm = -1e9f;
    if (ch == 2) {
      // Lanes the compiler can keep in vector registers: even ones left,
      // odd ones right.
      float mn[8], mx[8];
      std::fill(mn, mn + 8, 1e9f);
      std::fill(mx, mx + 8, -1e9f);
      for (uint64_t i = 0; i < 2 * kPeakBlock; i += 8)
        for (int k = 0; k < 8; ++k) {
          mn[k] = p[i + k] < mn[k] ? p[i + k] : mn[k];
          mx[k] = p[i + k] > mx[k] ? p[i + k] : mx[k];
        }
      for (int k = 0; k < 8; k += 2) {
        Merge(mn0, mx0, mn[k], mx[k]);
        Merge(mn1, mx1, mn[k + 1], mx[k + 1]);
      }
      const MinMax m = ScanMix(p, kPeakBlock, 2);
      mnm = m.mn;
      mxm = m.mx;
    } else {
      for (uint64_t f = 0; f < kPeakBlock; ++f, p += ch) {
        float l = p[0], r = p[1];
        FoldFrame(p, fold, l, r);
        const float mid = (l + r) / 2;
        Merge(mn0, mx0, l, l);
        Merge(mn1, mx1, r, r);
        Merge(mnm, mxm, mid, mid);
      }
    }
    fine.mins[0][b] = mn0;
    fine.maxs[0][b] = mx0;
    fine.mins[1][b] = mn1;
    fine.maxs[1][b] = mx1;
    fine.mins[2][b] = mnm;
    fine.maxs[2][b] = mxm;
  }
}

// The peaks of a storage's `ch`-channel frames. A long storage (a take of
// hours opened from its file) is scanned by every core at once, each over
// its own stretch, so the first view of it waits as little as it can.
std::unique_ptr<StoragePeaks> BuildStoragePeaks(const SampleStorage& storage, size_t ch, const StereoFold& fold) {
  auto peaks = std::make_unique<StoragePeaks>();
  const uint64_t frames = storage.Values() / ch;
  const size_t choices = ch == 1 ? 1 : 3;
  StoragePeaks::Level& fine = peaks->levels[0];
  StoragePeaks::Level& coarse = peaks->levels[1];
  fine.blockFrames = kPeakBlock;
  coarse.blockFrames = kPeakBlockCoarse;
  const uint64_t blocks = frames / kPeakBlock;
  for (size_t k = 0; k < choices; ++k) {
    fine.mins[k].resize(blocks);
    fine.maxs[k].resize(blocks);
  }
  constexpr uint64_t kBlocksPerWorker = (uint64_t(1) << 22) / kPeakBlock;  // 4 Mi frames
  const uint64_t workers =
      std::clamp<uint64_t>(blocks / kBlocksPerWorker, 1, std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  std::vector<std::thread> threads;
  for (uint64_t w = 1; w < workers; ++w)
    threads.emplace_back(BuildFineBlocks, std::cref(storage), ch, std::cref(fold), std::ref(fine),
                         blocks * w / workers, blocks * (w + 1) / workers);
  BuildFineBlocks(storage, ch, fold, fine, 0, blocks / workers);
  for (std::thread& t : threads) t.join();
  const uint64_t per = kPeakBlockCoarse / kPeakBlock;
  const uint64_t coarseBlocks = blocks / per;
  for (size_t k = 0; k < choices; ++k) {
    coarse.mins[k].resize(coarseBlocks);
    coarse.maxs[k].resize(coarseBlocks);
    for (uint64_t b = 0; b < coarseBlocks; ++b) {
      float mn = 1e9f, mx = -1e9f;
      for (uint64_t i = b * per; i < (b + 1) * per; ++i) Merge(mn, mx, fine.mins[k][i], fine.maxs[k][i]);
      coarse.mins[k][b] = mn;
      coarse.maxs[k][b] = mx;
    }
  }
  return peaks;
}

// Min/max of the chosen value over a storage's frames [s, e): whole blocks
// from its peaks, the ragged ends scanned.
void StorageMinMax(const SampleStorage& storage, size_t ch, size_t choice, const StereoFold& fold, uint64_t s,
                   uint64_t e, float& mn, float& mx) {
  std::vector<float> read;
  auto scan = [&](uint64_t a, uint64_t b) {
    if (a >= b) return;
    const float* p = storage.Data() ? storage.Data() + a * ch : nullptr;
    if (p == nullptr) {
      read.resize((b - a) * ch);
      storage.Read(a, b - a, ch, read.data());
      p = read.data();
    }
    const MinMax m = ch > 2                     ? ScanFolded(p, b - a, ch, fold, choice)
                     : (ch > 1 && choice == 2) ? ScanMix(p, b - a, ch)
                                               : ScanStrided(p + (ch > 1 ? choice : 0), b - a, ch);
    Merge(mn, mx, m.mn, m.mx);
  };
  const uint64_t a0 = (s + kPeakBlock - 1) / kPeakBlock * kPeakBlock;
  const uint64_t b0 = e / kPeakBlock * kPeakBlock;
  if (a0 >= b0) {
    scan(s, e);
    return;
  }
  if (storage.Peaks() == nullptr) storage.KeepPeaks(BuildStoragePeaks(storage, ch, fold));
  const StoragePeaks& peaks = *storage.Peaks();
  const size_t slot = ch == 1 ? 0 : choice;
  auto blocks = [&](const StoragePeaks::Level& level, uint64_t a, uint64_t b) {
    for (uint64_t i = a; i < b; ++i) Merge(mn, mx, level.mins[slot][i], level.maxs[slot][i]);
  };
  scan(s, a0);
  scan(b0, e);
  const uint64_t a1 = (a0 + kPeakBlockCoarse - 1) / kPeakBlockCoarse * kPeakBlockCoarse;
  const uint64_t b1 = b0 / kPeakBlockCoarse * kPeakBlockCoarse;
  if (a1 >= b1) {
    blocks(peaks.levels[0], a0 / kPeakBlock, b0 / kPeakBlock);
  } else {
    blocks(peaks.levels[0], a0 / kPeakBlock, a1 / kPeakBlock);
    blocks(peaks.levels[1], a1 / kPeakBlockCoarse, b1 / kPeakBlockCoarse);
    blocks(peaks.levels[0], b1 / kPeakBlock, b0 / kPeakBlock);
  }
}

}  // namespace

std::pair<float, float> AudioDoc::RangeMinMax(size_t choice, uint64_t s, uint64_t e, const StereoFold& fold) const {
  const size_t ch = format_.channels ? format_.channels : 1;
  float mn = 1e9f, mx = -1e9f;
  samples_->ForEachPiece(s, e, [&](const SampleStorage& storage, uint64_t a, uint64_t b) {
    StorageMinMax(storage, ch, choice, fold, a, b, mn, mx);
  });
  return {mn, mx};
}

void AudioDoc::ViewEnvelope(int32_t channelRequest, uint64_t start, uint64_t end, uint64_t columns,
                            std::vector<float>& mins, std::vector<float>& maxs) {
  mins.assign(columns, 0.0f);
  maxs.assign(columns, 0.0f);
  if (columns == 0 || Frames() == 0) return;
  const size_t ch = format_.channels ? format_.channels : 1;
  end = std::min(end, Frames());
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
  const StereoFold fold = ch > 2 ? StereoFoldFor(unsigned(ch)) : StereoFold{};
  const size_t choice = mix ? 2 : c;
  const double step = double(end - start) / double(columns);
  if ((end - start) / columns >= kPeakMinColumnFrames) {
    for (uint64_t i = 0; i < columns; ++i) {
      const uint64_t s = start + uint64_t(double(i) * step);
      if (s >= end) break;
      const uint64_t e = std::min(std::max(start + uint64_t(double(i + 1) * step), s + 1), end);
      const auto [mn, mx] = RangeMinMax(choice, s, e, fold);
      if (mn > mx) continue;
      mins[i] = mn;
      maxs[i] = mx;
    }
  } else {
    for (uint64_t i = 0; i < columns; ++i) {
      const uint64_t s = start + uint64_t(double(i) * step);
      if (s >= end) break;
      uint64_t e = start + uint64_t(double(i + 1) * step);
      e = std::min(std::max(e, s + 1), end);
      const MinMax m = ScanFrames(*samples_, ch, choice, fold, s, e);
      if (m.mn > m.mx) continue;  // both stay 0
      mins[i] = m.mn;
      maxs[i] = m.mx;
    }
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
  if (Frames() == 0) return;
  if (!envelopeDirty_ && wholeMin_.size() == kColumns && wholeMax_.size() == kColumns) {
    mins = wholeMin_;
    maxs = wholeMax_;
    return;
  }

  ++envelopeScans_;
  const size_t ch = format_.channels ? format_.channels : 1;
  const StereoFold fold = ch > 2 ? StereoFoldFor(unsigned(ch)) : StereoFold{};
  const uint64_t frames = Frames();
  for (uint64_t col = 0; col < kColumns; ++col) {
    const uint64_t first = col * frames / kColumns;
    const uint64_t last = std::min(std::max((col + 1) * frames / kColumns, first + 1), frames);
    // The mean of the (folded) pair; a mono clip is its own mix.
    const auto [lo, hi] = RangeMinMax(2, first, last, fold);
    const float mn = std::min(1.0f, lo), mx = std::max(-1.0f, hi);
    if (mn <= mx) {
      mins[col] = mn;
      maxs[col] = mx;
    }
  }
  wholeMin_ = mins;
  wholeMax_ = maxs;
  envelopeDirty_ = false;
}

}  // namespace vesk
