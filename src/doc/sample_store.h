#pragma once
// The edit document's samples as a sequence of pieces over immutable
// storages. An edit builds a new sequence that reuses every piece it does not
// touch and stores only the frames it writes (cut-point ramps, silence,
// processed stretches), so a delete in a three-hour clip costs what it
// touches and undo and redo swap sequences instead of copying samples.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/sample_source.h"
#include "media/wav_reader.h"

namespace vesk {

// Min/max of every block of a storage's frames at two sizes, for channel 0,
// channel 1 and their mean (a wider layout: its stereo fold's), so a view
// of many frames per column reads blocks instead of samples. Built once per
// storage, the first time a view needs it; an edit's new storages are small.
struct StoragePeaks {
  struct Level {
    uint64_t blockFrames = 0;
    std::array<std::vector<float>, 3> mins;
    std::array<std::vector<float>, 3> maxs;
  };
  std::array<Level, 2> levels;  // fine, coarse
};

// Interleaved float frames that never change once made: its own, or the
// frames of a WAV file read from the file when asked.
class SampleStorage {
 public:
  explicit SampleStorage(std::vector<float>&& samples)
      : samples_(std::move(samples)), data_(samples_.data()), count_(samples_.size()) {}
  explicit SampleStorage(std::shared_ptr<const WavFileFrames> file);
  // The frames in memory; nullptr for a file's, which Read copies out.
  const float* Data() const { return data_; }
  // Frames [frame, frame + count) of `channels` channels into `out`.
  void Read(uint64_t frame, uint64_t count, size_t channels, float* out) const;
  uint64_t Values() const { return count_; }
  // What it keeps in memory (a file's frames: nothing).
  uint64_t Bytes() const { return data_ ? count_ * sizeof(float) : 0; }
  const WavFileFrames* File() const { return file_.get(); }
  // The peak cache: asked and filled on the window's thread only.
  const StoragePeaks* Peaks() const { return peaks_.get(); }
  void KeepPeaks(std::unique_ptr<StoragePeaks> peaks) const { peaks_ = std::move(peaks); }

 private:
  std::vector<float> samples_;
  const float* data_ = nullptr;
  uint64_t count_ = 0;
  std::shared_ptr<const WavFileFrames> file_;
  mutable std::unique_ptr<StoragePeaks> peaks_;
};

struct SamplePiece {
  std::shared_ptr<const SampleStorage> storage;
  uint64_t offset = 0;  // first frame within the storage
  uint64_t frames = 0;
};

class SampleSequence final : public SampleSource {
 public:
  explicit SampleSequence(size_t channels = 1) : channels_(channels ? channels : 1) {}
  // Takes over a whole buffer (a trailing partial frame is dropped).
  SampleSequence(std::vector<float>&& samples, size_t channels);
  // All frames of a WAV file, read from it when asked.
  static SampleSequence OfFile(std::shared_ptr<const WavFileFrames> file);

  uint64_t Frames() const override { return frames_; }
  const float* Span(uint64_t frame, uint64_t& count) const override;
  void ReadStretch(uint64_t frame, uint64_t count, float* out) const override;
  size_t Channels() const override { return channels_; }
  size_t PieceCount() const { return pieces_.size(); }

  // Frames [a, b) (clamped to the sequence).
  SampleSequence Slice(uint64_t a, uint64_t b) const;
  // Frames [a, b) give way to `samples` (any whole number of frames, none
  // for a delete).
  SampleSequence Replaced(uint64_t a, uint64_t b, std::vector<float>&& samples) const;
  // Frames [a, b) become silence, stored once however long.
  SampleSequence Silenced(uint64_t a, uint64_t b) const;

  // Building: frames [a, b) of `from` (same channels), or silence, at the end.
  void AppendRange(const SampleSequence& from, uint64_t a, uint64_t b);
  void AppendSilence(uint64_t frames);

  void Read(uint64_t start, uint64_t count, float* out) const { ReadFrames(*this, start, count, channels_, out); }
  std::vector<float> Copy(uint64_t a, uint64_t b) const;

  // Calls fn(storage, from, to) for the storage frames [from, to) that make
  // up the sequence's frames [a, b), in order.
  template <class Fn>
  void ForEachPiece(uint64_t a, uint64_t b, Fn&& fn) const {
    b = b < frames_ ? b : frames_;
    if (a >= b) return;
    for (size_t i = PieceAt(a); i < pieces_.size() && starts_[i] < b; ++i) {
      const uint64_t lo = a > starts_[i] ? a : starts_[i];
      const uint64_t end = starts_[i] + pieces_[i].frames;
      const uint64_t hi = b < end ? b : end;
      fn(*pieces_[i].storage, pieces_[i].offset + (lo - starts_[i]), pieces_[i].offset + (hi - starts_[i]));
    }
  }

  // Calls fn(storage) once for each storage this sequence reads.
  template <class Fn>
  void ForEachStorage(Fn&& fn) const {
    const SampleStorage* last = nullptr;
    for (const SamplePiece& piece : pieces_) {
      if (piece.storage.get() == last) continue;
      last = piece.storage.get();
      fn(last);
    }
  }

 private:
  void Append(const SamplePiece& piece);
  size_t PieceAt(uint64_t frame) const;  // the piece holding `frame` (< Frames())

  size_t channels_ = 1;
  std::vector<SamplePiece> pieces_;
  std::vector<uint64_t> starts_;  // the sequence frame each piece starts at
  uint64_t frames_ = 0;
};

// Bytes of the storages `states` read that `current` does not, each counted
// once: what keeping those states costs on top of the document itself.
uint64_t BytesBeyond(const SampleSequence& current, const std::vector<const SampleSequence*>& states);

}  // namespace vesk
