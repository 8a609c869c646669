#include "doc/sample_store.h"

#include <algorithm>
#include <unordered_set>

namespace vesk {

namespace {

// Silence is stored as at most this many frames, read over and over.
constexpr uint64_t kSilenceFrames = 65536;

}  // namespace

SampleSequence::SampleSequence(std::vector<float>&& samples, size_t channels) : channels_(channels ? channels : 1) {
  const uint64_t frames = samples.size() / channels_;
  samples.resize(frames * channels_);
  if (frames == 0) return;
  Append({std::make_shared<const SampleStorage>(std::move(samples)), 0, frames});
}

SampleStorage::SampleStorage(std::shared_ptr<const WavFileFrames> file)
    : count_(file->Layout().Frames() * file->Layout().channels), file_(std::move(file)) {}

void SampleStorage::Read(uint64_t frame, uint64_t count, size_t channels, float* out) const {
  if (data_ != nullptr)
    std::copy_n(data_ + frame * channels, count * channels, out);
  else if (file_)
    file_->Read(frame, count, out);
}

SampleSequence SampleSequence::OfFile(std::shared_ptr<const WavFileFrames> file) {
  const uint64_t frames = file->Layout().Frames();
  SampleSequence out(file->Layout().channels);
  if (frames > 0) out.Append({std::make_shared<const SampleStorage>(std::move(file)), 0, frames});
  return out;
}

void SampleSequence::Append(const SamplePiece& piece) {
  if (piece.frames == 0) return;
  // A piece that goes on where the last one stopped in the same storage
  // extends it, so deletes and undos do not leave the sequence in crumbs.
  if (!pieces_.empty()) {
    SamplePiece& last = pieces_.back();
    if (last.storage == piece.storage && last.offset + last.frames == piece.offset) {
      last.frames += piece.frames;
      frames_ += piece.frames;
      return;
    }
  }
  pieces_.push_back(piece);
  starts_.push_back(frames_);
  frames_ += piece.frames;
}

size_t SampleSequence::PieceAt(uint64_t frame) const {
  return size_t(std::upper_bound(starts_.begin(), starts_.end(), frame) - starts_.begin()) - 1;
}

const float* SampleSequence::Span(uint64_t frame, uint64_t& count) const {
  count = 0;
  if (frame >= frames_) return nullptr;
  const size_t i = PieceAt(frame);
  const SamplePiece& piece = pieces_[i];
  const uint64_t into = frame - starts_[i];
  count = piece.frames - into;
  const float* data = piece.storage->Data();
  return data ? data + (piece.offset + into) * channels_ : nullptr;
}

void SampleSequence::ReadStretch(uint64_t frame, uint64_t count, float* out) const {
  if (frame >= frames_) return;
  const size_t i = PieceAt(frame);
  const SamplePiece& piece = pieces_[i];
  piece.storage->Read(piece.offset + (frame - starts_[i]), std::min(count, starts_[i] + piece.frames - frame),
                      channels_, out);
}

void SampleSequence::AppendRange(const SampleSequence& from, uint64_t a, uint64_t b) {
  b = std::min(b, from.frames_);
  if (a >= b) return;
  for (size_t i = from.PieceAt(a); i < from.pieces_.size() && from.starts_[i] < b; ++i) {
    const SamplePiece& piece = from.pieces_[i];
    const uint64_t lo = std::max(a, from.starts_[i]);
    const uint64_t hi = std::min(b, from.starts_[i] + piece.frames);
    Append({piece.storage, piece.offset + (lo - from.starts_[i]), hi - lo});
  }
}

SampleSequence SampleSequence::Slice(uint64_t a, uint64_t b) const {
  SampleSequence out(channels_);
  out.AppendRange(*this, a, b);
  return out;
}

SampleSequence SampleSequence::Replaced(uint64_t a, uint64_t b, std::vector<float>&& samples) const {
  b = std::min(b, frames_);
  a = std::min(a, b);
  SampleSequence out(channels_);
  out.AppendRange(*this, 0, a);
  const uint64_t frames = samples.size() / channels_;
  if (frames > 0) {
    samples.resize(frames * channels_);
    out.Append({std::make_shared<const SampleStorage>(std::move(samples)), 0, frames});
  }
  out.AppendRange(*this, b, frames_);
  return out;
}

void SampleSequence::AppendSilence(uint64_t frames) {
  if (frames == 0) return;
  const uint64_t stored = std::min(frames, kSilenceFrames);
  auto zeros = std::make_shared<const SampleStorage>(std::vector<float>(stored * channels_, 0.0f));
  for (uint64_t left = frames; left > 0;) {
    const uint64_t n = std::min(left, stored);
    Append({zeros, 0, n});
    left -= n;
  }
}

SampleSequence SampleSequence::Silenced(uint64_t a, uint64_t b) const {
  b = std::min(b, frames_);
  a = std::min(a, b);
  SampleSequence out(channels_);
  out.AppendRange(*this, 0, a);
  out.AppendSilence(b - a);
  out.AppendRange(*this, b, frames_);
  return out;
}

std::vector<float> SampleSequence::Copy(uint64_t a, uint64_t b) const {
  b = std::min(b, frames_);
  a = std::min(a, b);
  std::vector<float> out((b - a) * channels_);
  Read(a, b - a, out.data());
  return out;
}

uint64_t BytesBeyond(const SampleSequence& current, const std::vector<const SampleSequence*>& states) {
  std::unordered_set<const SampleStorage*> seen;
  current.ForEachStorage([&](const SampleStorage* s) { seen.insert(s); });
  uint64_t bytes = 0;
  for (const SampleSequence* state : states)
    state->ForEachStorage([&](const SampleStorage* s) {
      if (seen.insert(s).second) bytes += s->Bytes();
    });
  return bytes;
}

}  // namespace vesk
