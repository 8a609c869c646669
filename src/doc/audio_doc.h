#pragma once
// The edit area's document: one decoded clip as interleaved floats held in
// shared pieces (doc/sample_store.h), a selection, destructive edits whose
// undo and redo states share every piece they did not touch under a memory
// budget, and an edit list that maps the document back to the source file's
// frames. Single-threaded: every call comes from the window's thread; other
// threads read a Snapshot() (immutable) or a copy and compare Revision() to
// tell whether theirs is current.
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "doc/sample_store.h"
#include "media/audio_format.h"

namespace vesk {

struct StereoFold;

// A run of document frames taken from the source file's frames
// [sourceStart, sourceStart + length).
struct Segment {
  uint64_t sourceStart = 0;
  uint64_t length = 0;
  bool operator==(const Segment&) const = default;
};
using SegmentList = std::vector<Segment>;

// Renders `in` at the given rate into `out` (same length; a long one may be
// read from a temporary file); false on failure (the callback keeps its own
// error text for the caller).
using DenoiseCallback = std::function<bool(const SampleSource& in, uint32_t sampleRate, SampleSequence& out)>;
// (percentage, stage text) → false to cancel.
using SaveProgress = std::function<bool(int32_t percent, const std::string& stage)>;

// Bytes the undo and redo states may each keep beyond the document itself:
// VESK_UNDO_BUDGET_MB when set to a positive decimal number, else a quarter
// of the available physical memory within [512 MiB, 4 GiB] (512 MiB when the
// memory status is unknown).
uint64_t GetUndoBudget();

// What a file holds, ready for a document. A PCM or float WAV (with the
// segment files beside it) is read from the file as the document needs its
// frames; other formats are decoded, and the part of a decode past
// `spillBytes` goes to a private temporary file (media/sample_spill.h), so a
// long clip never has to fit in memory. Touches no document: safe on a
// worker thread.
struct LoadedAudio {
  AudioFormat format;
  SampleSequence samples = SampleSequence(1);
  uint16_t sourceBits = 16;
};
// The spill limit: VESK_SPILL_MB when set to a positive decimal number, else
// `configuredMiB` when positive, else 512 MiB.
uint64_t SpillLimitBytes(int configuredMiB = 0);
bool ReadAudioFile(const std::filesystem::path& path, LoadedAudio& loaded, std::string& error,
                   uint64_t spillBytes);

class AudioDoc {
 public:
  static constexpr size_t kMaxSnapshots = 12;

  AudioDoc() { Clear(); }

  void Clear();
  // Opens a file through ReadAudioFile.
  bool Load(const std::filesystem::path& path, std::string& error, uint64_t spillBytes = SpillLimitBytes());
  // Takes over a buffer already in memory (a finished recording).
  bool Adopt(const AudioFormat& format, std::vector<float>&& samples, const std::filesystem::path& path,
             std::string& error, uint16_t sourceBits);
  // Takes over what ReadAudioFile read.
  bool Adopt(LoadedAudio&& loaded, const std::filesystem::path& path, std::string& error);

  // Writes the document as MP3 (more than two channels as their stereo fold)
  // or WAV (every channel; see audio_doc_save.cpp). `requested`
  // gives the target rate (0 = keep) and the WAV depth. The document changes
  // only on success (clean, new name); a failed or cancelled save leaves any
  // existing file at `path` untouched. A WAV too big for one file goes on
  // in path's segment names (SegmentPath); `files`, when given, receives
  // every file written, `path` first.
  bool Save(const std::filesystem::path& path, bool mp3, uint32_t mp3Kbps, std::string& error,
            const AudioFormat* requested = nullptr, const DenoiseCallback& denoise = {},
            const SaveProgress& progress = {}, std::vector<std::filesystem::path>* files = nullptr);

  void SetSelection(uint64_t a, uint64_t b);
  bool TrimToSelection(std::string& error);
  bool DeleteSelection(std::string& error);
  bool SilenceSelection(std::string& error);
  bool ReplaceSelection(const std::vector<float>& processed, std::string& error);
  // Frames [a, b) become `processed` (the same number of frames): one
  // undoable edit. True on success; `error` then holds the undo-budget
  // warning when the edit could not be made undoable.
  bool ReplaceRange(uint64_t a, uint64_t b, const std::vector<float>& processed, std::string& error);
  // The same with frames of a sequence (of the document's channels), which
  // the document then shares rather than copies.
  bool ReplaceRange(uint64_t a, uint64_t b, const SampleSequence& processed, std::string& error);
  // The stretch the built-in noise reduction measures its noise profile on
  // (a == b: none, the quietest stretch is used). It moves with the audio
  // it marks: a delete before it shifts it, an edit over it drops it, and
  // undo and redo bring back the stretch that belonged to that state.
  void SetNoiseSample(uint64_t a, uint64_t b);
  uint64_t NoiseSampleStart() const { return noise_.first; }
  uint64_t NoiseSampleEnd() const { return noise_.second; }
  bool Undo();
  bool Redo();

  bool IsModified() const { return modified_; }
  // A file the document (or its undo and redo) reads its frames from was
  // rewritten or cut short in place since it was opened.
  bool SourceChanged() const;
  double DurationSeconds() const;
  bool HasCuts() const;
  bool RenderToSourceTimeline(uint64_t sourceFrameCount, std::vector<float>& out) const;

  // Min/max per column over [start, end) for channel 0 (request 0), channel 1
  // (request ≥ 1) or the mean of both (request < 0); a document of more than
  // two channels is drawn as its stereo fold (media/fold_down.h), as it is
  // played. Cached per channel choice.
  void ViewEnvelope(int32_t channelRequest, uint64_t start, uint64_t end, uint64_t columns, std::vector<float>& mins,
                    std::vector<float>& maxs);
  // The mix envelope of the whole clip in 256 columns, cached until the next change.
  void Envelope(std::vector<float>& mins, std::vector<float>& maxs);

  // The current samples, immutable: safe to read on another thread for as
  // long as the pointer is held, whatever the document does meanwhile.
  std::shared_ptr<const SampleSequence> Snapshot() const { return samples_; }
  const SampleSequence& Samples() const { return *samples_; }
  // Frames [a, b) (clamped) as one buffer; CopySamples the whole clip.
  std::vector<float> CopyRange(uint64_t a, uint64_t b) const { return samples_->Copy(a, b); }
  std::vector<float> CopySamples() const { return samples_->Copy(0, Frames()); }
  const AudioFormat& Format() const { return format_; }
  uint16_t SourceBits() const { return sourceBits_; }
  const std::string& DisplayName() const { return displayName_; }
  const std::filesystem::path& SourcePath() const { return sourcePath_; }
  uint64_t Frames() const { return samples_->Frames(); }
  uint64_t SelectionStart() const { return selStart_; }
  uint64_t SelectionEnd() const { return selEnd_; }
  uint64_t Revision() const { return revision_; }
  const SegmentList& Segments() const { return segments_; }
  uint64_t SourceFrames() const { return sourceFrames_; }
  size_t UndoCount() const { return undo_.size(); }
  size_t RedoCount() const { return redo_.size(); }
  // Bytes the undo states keep that the document does not read.
  uint64_t UndoBytes() const { return undoBytes_; }
  // Full scans done by the envelope operations so far (a cache miss counts one).
  uint64_t EnvelopeScans() const { return envelopeScans_; }

 private:
  struct ViewSlot {
    bool valid = false;
    int32_t request = 0;
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t columns = 0;
    std::vector<float> mins;
    std::vector<float> maxs;
  };

  using NoiseRange = std::pair<uint64_t, uint64_t>;
  using Sequence = std::shared_ptr<const SampleSequence>;
  // What undo and redo bring back.
  struct State {
    Sequence samples;
    SegmentList segments;
    NoiseRange noise;
  };

  void TakeOver(const AudioFormat& format, std::vector<float>&& samples, const std::filesystem::path& path,
                uint16_t sourceBits);
  // The rest of taking a clip over once format_ and samples_ are set.
  void FinishLoad(const std::filesystem::path& path, uint16_t sourceBits);
  // Makes `next` the document's samples as one step `before` is the undo
  // of; false when `before` could not be kept under the budget.
  bool Commit(SampleSequence&& next, State&& before);
  void SamplesChanged();
  // Min/max of the chosen value over frames [s, e), from each piece's
  // storage peaks; {+1e9, -1e9} when empty. `fold` is the document's stereo
  // fold when it has more than two channels.
  std::pair<float, float> RangeMinMax(size_t choice, uint64_t s, uint64_t e, const StereoFold& fold) const;
  uint64_t RampFrames() const;
  // Frames [a, a + n) fade in from silence at a; frames [b − n, b) fade out
  // to silence at b (each in its own stored piece).
  void FadeIn(SampleSequence& seq, uint64_t a, uint64_t n) const;
  void FadeOut(SampleSequence& seq, uint64_t b, uint64_t n) const;
  void UpdateSegments(uint64_t a, uint64_t b, bool keepInside);
  void ClampSelection();
  // Keeps `state` on one history side under the count and byte limits;
  // `bytes` becomes what that side keeps beyond the document. False when the
  // state alone is over the budget (the side is then emptied).
  bool PushHistory(std::deque<State>& side, uint64_t& bytes, State&& state) const;
  uint64_t SideBytes(const std::deque<State>& side) const;
  // Brings back `state`; the state left goes onto `to`, and `from` (where
  // `state` came from) is counted again against the new document.
  void Restore(State&& state, std::deque<State>& to, uint64_t& toBytes, std::deque<State>& from, uint64_t& fromBytes);
  // The noise sample after frames [a, b) were removed (keepInside false) or
  // kept alone (true), or overwritten (overwrite).
  void MoveNoiseSample(uint64_t a, uint64_t b, bool keepInside, bool overwrite = false);

  Sequence samples_;
  AudioFormat format_;
  uint16_t sourceBits_ = 16;
  std::string displayName_;
  std::filesystem::path sourcePath_;
  uint64_t selStart_ = 0;
  uint64_t selEnd_ = 0;
  bool modified_ = false;
  uint64_t revision_ = 0;
  std::deque<State> undo_;
  uint64_t undoBytes_ = 0;
  std::deque<State> redo_;
  uint64_t redoBytes_ = 0;
  SegmentList segments_;
  uint64_t sourceFrames_ = 0;
  NoiseRange noise_{0, 0};

  std::vector<float> wholeMin_;  // the whole clip's mix envelope
  std::vector<float> wholeMax_;
  bool envelopeDirty_ = true;
  std::array<ViewSlot, 3> viewSlots_;
  uint64_t envelopeScans_ = 0;
};

// Lays a buffer on the document timeline (the document's samples, or a
// processed copy of the same length) onto the source timeline: `out` gets
// sourceFrameCount frames of silence with every segment's frames copied to
// its source position. False when `segments` is empty or the count is 0.
bool LayOnSourceTimeline(const SampleSource& samples, size_t channels, const SegmentList& segments,
                         uint64_t sourceFrameCount, std::vector<float>& out);
// The same without copying: the segments' pieces at their source positions
// with silence between them, sourceFrameCount frames long (none when
// `segments` is empty or the count is 0).
SampleSequence OnSourceTimeline(const SampleSequence& samples, const SegmentList& segments, uint64_t sourceFrameCount);

// The file-name part of a path as the document shows it: after the last "\"
// or "/", or the whole text.
std::string FileNamePart(const std::string& path);

}  // namespace vesk
