#include "doc/audio_doc.h"

#include <algorithm>
#include <cstdlib>

#include "media/audio_loader.h"
#include "media/sample_spill.h"
#include "media/wav_reader.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/text.h"

namespace vesk {

namespace {

constexpr uint64_t kMiB = 1048576;
constexpr const char* kNeedSelection = "请先在波形上拖出一段选区。";
constexpr const char* kTooLargeToUndo = "片段过大，本次操作不可撤销。";

// A positive decimal number of MiB, or 0 when the text is anything else.
uint64_t ParseMiB(const char* text) {
  if (!text) return 0;
  uint64_t value = 0;
  const char* p = text;
  while (*p == ' ') ++p;
  if (*p < '0' || *p > '9') return 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + uint64_t(*p - '0');
    if (value > (uint64_t(1) << 40)) return 0;  // far beyond any machine; refuse rather than overflow
  }
  while (*p == ' ') ++p;
  return *p == 0 ? value : 0;
}

}  // namespace

uint64_t GetUndoBudget() {
  if (const uint64_t mib = ParseMiB(std::getenv("VESK_UNDO_BUDGET_MB"))) return mib * kMiB;
  uint64_t available = 0;
  if (!AvailablePhysicalMemory(available)) return 512 * kMiB;
  return std::clamp<uint64_t>(available / 4, 512 * kMiB, 4096 * kMiB);
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AudioDoc::Clear() {
  samples_ = std::make_shared<const SampleSequence>();
  format_ = AudioFormat{};
  sourceBits_ = 16;
  displayName_.clear();
  sourcePath_.clear();
  ++revision_;
  selStart_ = selEnd_ = 0;
  modified_ = false;
  undo_.clear();
  redo_.clear();
  noise_ = {0, 0};
  undoBytes_ = redoBytes_ = 0;
  segments_.clear();
  sourceFrames_ = 0;
  SamplesChanged();
}

void AudioDoc::TakeOver(const AudioFormat& format, std::vector<float>&& samples, const std::filesystem::path& path,
                        uint16_t sourceBits) {
  format_ = format;
  samples_ = std::make_shared<const SampleSequence>(std::move(samples), format_.channels);
  FinishLoad(path, sourceBits);
}

void AudioDoc::FinishLoad(const std::filesystem::path& path, uint16_t sourceBits) {
  sourceBits_ = sourceBits;
  sourcePath_ = path;
  displayName_ = FileNamePart(PathToUtf8(path));
  modified_ = false;
  sourceFrames_ = Frames();
  noise_ = {0, 0};
  segments_ = {Segment{0, sourceFrames_}};
  SamplesChanged();
}

uint64_t SpillLimitBytes(int configuredMiB) {
  if (const uint64_t mib = ParseMiB(std::getenv("VESK_SPILL_MB"))) return mib * kMiB;
  return configuredMiB > 0 ? uint64_t(configuredMiB) * kMiB : kDefaultSpillBytes;
}

bool ReadAudioFile(const std::filesystem::path& path, LoadedAudio& loaded, std::string& error,
                   uint64_t spillBytes) {
  loaded = LoadedAudio{};
  bool isRiffWave = false;
  if (!IsSpecialFile(path)) {
    if (auto file = WavFileFrames::Open(path, error, isRiffWave)) {
      if (file->Layout().Frames() == 0) {
        error = "文件里没有可用的音频数据。";
        return false;
      }
      const WavLayout layout = file->Layout();
      loaded.format = AudioFormat{layout.rate, layout.channels, 16};
      loaded.sourceBits = layout.bits;
      loaded.samples = SampleSequence::OfFile(std::move(file));
      // A take or save longer than one WAV file goes on in the segment
      // files beside it (name_01.wav, …): they are the same clip.
      for (uint32_t n = 1; n < 1000; ++n) {
        std::string ignored;
        bool riff = false;
        const auto next = WavFileFrames::Open(SegmentPath(path, n), ignored, riff);
        if (!next || next->Layout().rate != layout.rate || next->Layout().channels != layout.channels ||
            next->Layout().bits != layout.bits || next->Layout().isFloat != layout.isFloat)
          break;
        const SampleSequence segment = SampleSequence::OfFile(next);
        loaded.samples.AppendRange(segment, 0, segment.Frames());
      }
      error.clear();
      return true;
    }
    if (isRiffWave) return false;
  }
  std::vector<float> samples;
  int bits = 0;
  SampleSpill spill(spillBytes);
  std::shared_ptr<const WavFileFrames> spilled;
  bool ok = LoadAudioFile(path, loaded.format, samples, error, &bits, &spill);
  if (ok && spill.Spilled()) ok = (spilled = spill.Finish(samples, loaded.format, error)) != nullptr;
  if (!ok && spill.Failed()) {
    // No room for the spill file: the whole clip in memory, as it always was.
    spill.Reset();
    ok = LoadAudioFile(path, loaded.format, samples, error, &bits);
  }
  if (!ok) return false;
  loaded.sourceBits = uint16_t(bits);
  if (spilled) {
    loaded.samples = SampleSequence::OfFile(std::move(spilled));
  } else if (samples.empty() || loaded.format.channels == 0 || samples.size() < loaded.format.channels) {
    error = "文件里没有可用的音频数据。";
    return false;
  } else {
    loaded.samples = SampleSequence(std::move(samples), loaded.format.channels);
  }
  error.clear();
  return true;
}

bool AudioDoc::Load(const std::filesystem::path& path, std::string& error, uint64_t spillBytes) {
  Clear();
  LoadedAudio loaded;
  return ReadAudioFile(path, loaded, error, spillBytes) && Adopt(std::move(loaded), path, error);
}

bool AudioDoc::Adopt(LoadedAudio&& loaded, const std::filesystem::path& path, std::string& error) {
  Clear();
  if (loaded.samples.Frames() == 0 || loaded.format.channels == 0) {
    error = "没有可用的音频数据。";
    return false;
  }
  format_ = loaded.format;
  samples_ = std::make_shared<const SampleSequence>(std::move(loaded.samples));
  FinishLoad(path, loaded.sourceBits);
  ++revision_;
  error.clear();
  return true;
}

bool AudioDoc::Adopt(const AudioFormat& format, std::vector<float>&& samples, const std::filesystem::path& path,
                     std::string& error, uint16_t sourceBits) {
  Clear();
  if (samples.empty() || format.channels == 0 || samples.size() < format.channels) {
    error = "没有可用的音频数据。";
    return false;
  }
  TakeOver(format, std::move(samples), path, sourceBits);
  ++revision_;
  error.clear();
  return true;
}

void AudioDoc::SetSelection(uint64_t a, uint64_t b) {
  const uint64_t frames = Frames();
  a = std::min(a, frames);
  b = std::min(b, frames);
  selStart_ = std::min(a, b);
  selEnd_ = std::max(a, b);
}

void AudioDoc::ClampSelection() {
  const uint64_t frames = Frames();
  selStart_ = std::min(selStart_, frames);
  selEnd_ = std::min(selEnd_, frames);
}

bool AudioDoc::SourceChanged() const {
  bool changed = false;
  auto check = [&](const SampleStorage* storage) {
    changed = changed || (storage->File() != nullptr && storage->File()->Changed());
  };
  samples_->ForEachStorage(check);
  for (const auto* side : {&undo_, &redo_})
    for (const State& state : *side) state.samples->ForEachStorage(check);
  return changed;
}

double AudioDoc::DurationSeconds() const {
  return format_.sampleRate ? double(Frames()) / double(format_.sampleRate) : 0.0;
}

bool AudioDoc::HasCuts() const {
  if (sourceFrames_ == 0) return false;
  return !(segments_.size() == 1 && segments_[0] == Segment{0, sourceFrames_});
}

void AudioDoc::SamplesChanged() {
  envelopeDirty_ = true;
  for (ViewSlot& slot : viewSlots_) slot.valid = false;
}

uint64_t AudioDoc::SideBytes(const std::deque<State>& side) const {
  std::vector<const SampleSequence*> states;
  for (const State& state : side) states.push_back(state.samples.get());
  return BytesBeyond(*samples_, states);
}

bool AudioDoc::PushHistory(std::deque<State>& side, uint64_t& bytes, State&& state) const {
  const uint64_t budget = GetUndoBudget();
  side.push_back(std::move(state));
  while (side.size() > kMaxSnapshots) side.pop_front();
  bytes = SideBytes(side);
  while (bytes > budget && side.size() > 1) {
    side.pop_front();
    bytes = SideBytes(side);
  }
  if (bytes <= budget) return true;
  side.clear();
  bytes = 0;
  return false;
}

void AudioDoc::SetNoiseSample(uint64_t a, uint64_t b) {
  const uint64_t frames = Frames();
  a = std::min(a, frames);
  b = std::min(b, frames);
  noise_ = a < b ? NoiseRange{a, b} : NoiseRange{0, 0};
}

void AudioDoc::MoveNoiseSample(uint64_t a, uint64_t b, bool keepInside, bool overwrite) {
  auto& [n0, n1] = noise_;
  if (n0 >= n1) return;
  const bool overlaps = n0 < b && a < n1;
  if (overwrite) {
    if (overlaps) noise_ = {0, 0};
  } else if (keepInside) {
    noise_ = n0 >= a && n1 <= b ? NoiseRange{n0 - a, n1 - a} : NoiseRange{0, 0};
  } else if (n0 >= b) {
    noise_ = {n0 - (b - a), n1 - (b - a)};
  } else if (overlaps) {
    noise_ = {0, 0};
  }
}

bool AudioDoc::Commit(SampleSequence&& next, State&& before) {
  samples_ = std::make_shared<const SampleSequence>(std::move(next));
  redo_.clear();
  redoBytes_ = 0;
  const bool undoable = PushHistory(undo_, undoBytes_, std::move(before));
  modified_ = true;
  ++revision_;
  SamplesChanged();
  return undoable;
}

uint64_t AudioDoc::RampFrames() const { return std::max<uint64_t>(1, uint64_t(format_.sampleRate * 0.005)); }

// Frame a + i is scaled by i / n, so the frame at the cut is silent.
void AudioDoc::FadeIn(SampleSequence& seq, uint64_t a, uint64_t n) const {
  if (n == 0) return;
  const size_t ch = seq.Channels();
  std::vector<float> frames = seq.Copy(a, a + n);
  for (uint64_t i = 0; i < n; ++i) {
    const double gain = double(i) / double(n);
    for (size_t c = 0; c < ch; ++c) frames[i * ch + c] = float(frames[i * ch + c] * gain);
  }
  seq = seq.Replaced(a, a + n, std::move(frames));
}

// Frame b − 1 − i is scaled by i / n.
void AudioDoc::FadeOut(SampleSequence& seq, uint64_t b, uint64_t n) const {
  if (n == 0) return;
  const size_t ch = seq.Channels();
  std::vector<float> frames = seq.Copy(b - n, b);
  for (uint64_t i = 0; i < n; ++i) {
    const double gain = double(i) / double(n);
    float* frame = frames.data() + (n - 1 - i) * ch;
    for (size_t c = 0; c < ch; ++c) frame[c] = float(frame[c] * gain);
  }
  seq = seq.Replaced(b - n, b, std::move(frames));
}
void AudioDoc::UpdateSegments(uint64_t a, uint64_t b, bool keepInside) {
  SegmentList out;
  uint64_t p = 0;
  for (const Segment& seg : segments_) {
    const uint64_t q = p + seg.length;
    const uint64_t lo = std::max(a, p);
    const uint64_t hi = std::min(b, q);
    if (keepInside) {
      if (hi > lo) out.push_back({seg.sourceStart + (lo - p), hi - lo});
    } else if (hi <= lo) {
      out.push_back(seg);
    } else {
      if (lo > p) out.push_back({seg.sourceStart, lo - p});
      if (hi < q) out.push_back({seg.sourceStart + (hi - p), q - hi});
    }
    p = q;
  }
  segments_ = std::move(out);
}

bool AudioDoc::TrimToSelection(std::string& error) {
  if (selEnd_ <= selStart_) {
    error = kNeedSelection;
    return false;
  }
  State before{samples_, segments_, noise_};
  SampleSequence next = samples_->Slice(selStart_, selEnd_);
  UpdateSegments(selStart_, selEnd_, true);
  MoveNoiseSample(selStart_, selEnd_, true);
  const uint64_t frames = next.Frames();
  const uint64_t n = std::min(frames / 2, RampFrames());
  FadeIn(next, 0, n);
  FadeOut(next, frames, n);
  selStart_ = 0;
  selEnd_ = frames;
  error = Commit(std::move(next), std::move(before)) ? "" : kTooLargeToUndo;
  return true;
}

bool AudioDoc::DeleteSelection(std::string& error) {
  if (selEnd_ <= selStart_) {
    error = kNeedSelection;
    return false;
  }
  State before{samples_, segments_, noise_};
  const uint64_t s = selStart_;
  SampleSequence next = samples_->Replaced(s, selEnd_, {});
  UpdateSegments(s, selEnd_, false);
  MoveNoiseSample(s, selEnd_, false);
  const uint64_t frames = next.Frames();
  const uint64_t n = std::min({s, frames - s, RampFrames()});
  FadeOut(next, s, n);
  FadeIn(next, s, n);
  selStart_ = selEnd_ = std::min(s, frames);
  error = Commit(std::move(next), std::move(before)) ? "" : kTooLargeToUndo;
  return true;
}

bool AudioDoc::SilenceSelection(std::string& error) {
  if (selEnd_ <= selStart_) {
    error = kNeedSelection;
    return false;
  }
  State before{samples_, segments_, noise_};
  SampleSequence next = samples_->Silenced(selStart_, selEnd_);
  MoveNoiseSample(selStart_, selEnd_, false, true);
  const uint64_t r = RampFrames();
  FadeOut(next, selStart_, std::min(r, selStart_));
  FadeIn(next, selEnd_, std::min(r, next.Frames() - selEnd_));
  error = Commit(std::move(next), std::move(before)) ? "" : kTooLargeToUndo;
  return true;
}

bool AudioDoc::ReplaceSelection(const std::vector<float>& processed, std::string& error) {
  return ReplaceRange(selStart_, selEnd_, processed, error);
}

bool AudioDoc::ReplaceRange(uint64_t a, uint64_t b, const std::vector<float>& processed, std::string& error) {
  const size_t ch = std::max<size_t>(format_.channels, 1);
  if (processed.size() % ch != 0) {
    error = vesk::Format("写回数据长度不符（应为 %llu，实得 %llu）。",
                         static_cast<unsigned long long>((std::min(b, Frames()) - std::min(a, b)) * ch),
                         static_cast<unsigned long long>(processed.size()));
    return false;
  }
  return ReplaceRange(a, b, SampleSequence(std::vector<float>(processed), ch), error);
}

bool AudioDoc::ReplaceRange(uint64_t a, uint64_t b, const SampleSequence& processed, std::string& error) {
  b = std::min(b, Frames());
  if (b <= a) {
    error = kNeedSelection;
    return false;
  }
  const size_t ch = std::max<size_t>(format_.channels, 1);
  const uint64_t expected = (b - a) * ch;
  const uint64_t got = processed.Frames() * processed.Channels();
  if (got != expected || (processed.Frames() > 0 && processed.Channels() != ch)) {
    error = vesk::Format("写回数据长度不符（应为 %llu，实得 %llu）。", static_cast<unsigned long long>(expected),
                         static_cast<unsigned long long>(got));
    return false;
  }
  State before{samples_, segments_, noise_};
  SampleSequence next(ch);
  next.AppendRange(*samples_, 0, a);
  next.AppendRange(processed, 0, processed.Frames());
  next.AppendRange(*samples_, b, Frames());
  MoveNoiseSample(a, b, false, true);
  error = Commit(std::move(next), std::move(before)) ? "" : kTooLargeToUndo;
  return true;
}

void AudioDoc::Restore(State&& state, std::deque<State>& to, uint64_t& toBytes, std::deque<State>& from,
                       uint64_t& fromBytes) {
  State leaving{samples_, std::move(segments_), noise_};
  samples_ = std::move(state.samples);
  segments_ = std::move(state.segments);
  noise_ = state.noise;
  PushHistory(to, toBytes, std::move(leaving));
  fromBytes = SideBytes(from);
  ++revision_;
  modified_ = true;
  ClampSelection();
  SamplesChanged();
}

bool AudioDoc::Undo() {
  if (undo_.empty()) return false;
  State back = std::move(undo_.back());
  undo_.pop_back();
  Restore(std::move(back), redo_, redoBytes_, undo_, undoBytes_);
  return true;
}

bool AudioDoc::Redo() {
  if (redo_.empty()) return false;
  State forward = std::move(redo_.back());
  redo_.pop_back();
  Restore(std::move(forward), undo_, undoBytes_, redo_, redoBytes_);
  return true;
}

bool AudioDoc::RenderToSourceTimeline(uint64_t sourceFrameCount, std::vector<float>& out) const {
  return LayOnSourceTimeline(*samples_, std::max<size_t>(format_.channels, 1), segments_, sourceFrameCount, out);
}

bool LayOnSourceTimeline(const SampleSource& samples, size_t channels, const SegmentList& segments,
                         uint64_t sourceFrameCount, std::vector<float>& out) {
  if (segments.empty() || sourceFrameCount == 0) return false;
  const size_t ch = std::max<size_t>(channels, 1);
  out.assign(sourceFrameCount * ch, 0.0f);
  const uint64_t frames = samples.Frames();
  uint64_t d = 0;
  for (const Segment& seg : segments) {
    if (seg.sourceStart < sourceFrameCount) {
      const uint64_t m = std::min(sourceFrameCount - seg.sourceStart, seg.length);
      if (d + m <= frames) ReadFrames(samples, d, m, ch, out.data() + seg.sourceStart * ch);
    }
    d += seg.length;
  }
  return true;
}

SampleSequence OnSourceTimeline(const SampleSequence& samples, const SegmentList& segments, uint64_t sourceFrameCount) {
  SampleSequence out(samples.Channels());
  if (segments.empty() || sourceFrameCount == 0) return out;
  uint64_t d = 0;
  for (const Segment& seg : segments) {
    // Segments run forwards through the source; one that would overlap what
    // is laid already or starts past the end adds nothing.
    if (seg.sourceStart >= out.Frames() && seg.sourceStart < sourceFrameCount) {
      const uint64_t m = std::min(sourceFrameCount - seg.sourceStart, seg.length);
      if (d + m <= samples.Frames()) {
        out.AppendSilence(seg.sourceStart - out.Frames());
        out.AppendRange(samples, d, d + m);
      }
    }
    d += seg.length;
  }
  out.AppendSilence(sourceFrameCount - out.Frames());
  return out;
}

}  // namespace vesk
