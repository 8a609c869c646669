#pragma once
// What the controller's parts (edit area, noise reduction, preview) ask of
// the application controller that owns them. The parts never call each
// other: the controller answers from the part that knows and fans the one
// document-changed notification out to every part.
//
// Threads: the user-interface thread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "ui/export_denoise.h"

namespace vesk::ui {

// The buffer playback plays, on the document timeline. The document's own
// samples unless the denoise cache has a ready copy of the same length for
// the current level; `status` is its word for the play status line.
struct PlaybackBuffer {
  std::shared_ptr<const SampleSequence> samples;  // nullptr: the document's own
  bool processed = false;
  int level = 0;
  std::string status;
};

enum class DocumentChange {
  Opened,    // another file, a recording or nothing: the preview follows
  Replaced,  // the samples were replaced in place (selection denoise)
};

class AppServices {
 public:
  virtual ~AppServices() = default;
  // Writes the settings file now.
  virtual void SaveSettings() = 0;
  virtual bool Recording() const = 0;
  virtual bool RecordingPaused() const = 0;
  // Bytes of memory free for large copies; false when unknown.
  virtual bool FreeMemory(uint64_t& bytes) const = 0;
  virtual void DocumentChanged(DocumentChange change) = 0;

  // Playback, for the noise reduction's audition.
  virtual bool Playing() const = 0;
  virtual void StopPlayback() = 0;
  // Where audition reads from (the denoised copy or the document's own).
  virtual PlaybackBuffer PlaybackSource() = 0;
  // What PlaybackSource hands out changed: playback continues on it.
  virtual void PlaybackSourceChanged() = 0;
  // The export-time denoise step of a save or a video export.
  virtual ExportDenoise ExportDenoiseStep(ExportKind kind, const std::filesystem::path& output) = 0;
  // The saved preview rectangle when it suits `screen` (PreviewRect).
  virtual std::optional<WindowRect> SavedPreviewRect(const ScreenMetrics& screen) const = 0;
};

}  // namespace vesk::ui
