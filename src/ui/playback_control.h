#pragma once
// The play command of the edit area: which buffer plays from where (the
// denoised copy or the document's own, the selection looped), the
// full-length buffer on the source timeline for videos with cuts, device
// restarts and buffer swaps, and the play head read back on the tick.
//
// Threads: the user-interface thread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ui/app_services.h"
#include "ui/source_timeline.h"
#include "ui/wave_view_model.h"
#include "ui/window_port.h"

namespace vesk {
class AudioDoc;
class PlaybackStream;
class SampleSequence;
class DeviceCatalogue;
}  // namespace vesk

namespace vesk::ui {

// What the edit area borrows from the controller.
struct EditContext {
  WindowPort* port = nullptr;
  AudioDoc* doc = nullptr;
  PlaybackStream* playback = nullptr;
  DeviceCatalogue* devices = nullptr;  // the render choice for playback
  SettingsState* settings = nullptr;
  AppServices* app = nullptr;
};

// What the opened file was, for the video export and full-length playback.
// Reset when a recording replaces the document.
struct OpenedMedia {
  bool hasPicture = false;
  bool pictureFits = false;          // MP4 or MKV takes the picture by stream copy
  std::string pictureCodec;          // display name, for the refusal text
  std::filesystem::path path;        // the opened file: the video the export reads
  std::vector<int> untouchedTracks;  // audio ordinals kept as they are
  int editedTrack = 0;               // 0 after mixing all tracks
};

class PlaybackControl {
 public:
  PlaybackControl(const EditContext& context, WaveViewModel& view, const OpenedMedia& opened);

  bool Playing() const;
  // The play button and Space: stop, or play from the play head (the
  // selection looped).
  void Command();
  // Stops; where it was becomes the play head.
  void Stop();
  // A click while playing moves the playback.
  void Seek(uint64_t documentFrame);
  // The selection changed while playing: the loop follows.
  void UpdateLoop();
  // The render device changed while playing: restart at the same position.
  void RestartOnNewDevice();
  // The buffer AppServices::PlaybackSource hands out changed: continue on it
  // from the same position.
  void BufferChanged();
  // The tick: swapped-out buffers let go, a playback that ended by itself
  // released. True when the play head moved.
  bool Tick();
  // The playback position on the document timeline.
  uint64_t DocumentFrame() const;
  bool FullLength() const { return play_.active && play_.fullLength; }
  // During full-length playback: where it is on the source timeline.
  double FullLengthSeconds() const;

 private:
  bool Empty() const;
  bool Recording() const;
  bool Start(uint64_t startFrame, std::string& status, std::string& error);
  bool Restart(std::string& error);
  // The denoised copy the application hands out when it is current, else
  // the document's own samples (`choice` says which).
  std::shared_ptr<const SampleSequence> Choose(PlaybackBuffer& choice) const;
  void ReleaseSwapped();
  std::string Endpoint() const;

  EditContext ctx_;
  WaveViewModel& view_;
  const OpenedMedia& opened_;
  // The playback in progress.
  struct PlayState {
    bool active = false;      // started by us and not yet seen stopped
    bool fullLength = false;  // playing the source-timeline buffer
    SourceTimeline timeline;
    uint64_t frames = 0;               // of the buffer playing
    std::shared_ptr<const void> keep;  // the source playing
    // Buffers swapped out that the playback thread may still be reading.
    std::vector<std::shared_ptr<const void>> retired;
  };
  PlayState play_;
};

}  // namespace vesk::ui
