#pragma once
// The edit area: the waveform view model and its gestures, the edit commands
// and keys, the play command, opening files (with the track dialog), and the
// save and video-export flows. Owned by AppController, which forwards the
// commands and input that belong here.
//
// Threads: the user-interface thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/input_events.h"
#include "ui/view_port.h"
#include "ui/wave_scene.h"

namespace vesk {
class AudioDoc;
class PlaybackStream;
class DeviceCatalogue;
class PlayHeadServo;
}  // namespace vesk

namespace vesk::ui {

// What the edit area borrows from the controller.
struct EditContext {
  ViewPort* view = nullptr;
  AudioDoc* doc = nullptr;
  PlaybackStream* playback = nullptr;
  DeviceCatalogue* devices = nullptr;  // the render choice for playback
  SettingsState* settings = nullptr;
  std::function<void()> saveSettings;  // writes the settings file now
  std::function<bool()> isRecording;
  // The live waveform and play head of the recording (read while
  // isRecording(); Repaint it once per painted frame) and its output rate.
  PlayHeadServo* liveWave = nullptr;
  std::function<uint32_t()> recordingRate;
};

class EditArea {
 public:
  explicit EditArea(EditContext context);
  ~EditArea();
  EditArea(const EditArea&) = delete;
  EditArea& operator=(const EditArea&) = delete;

  // The controller's hooks.
  // The document was replaced by a finished recording (view shows it all).
  void OnRecordingLoaded();
  // A recording starts: playback stops, the view switches to the live waveform.
  void OnRecordingStarted();
  // Opens a file into the edit area (open command, drop, command line).
  // False when nothing changed.
  bool OpenForEdit(const std::filesystem::path& path);
  // A command of the edit area (open, play, home, saves, undo/redo, trim,
  // delete, silence, select all, preview). False when the id is not one of
  // them. The export-option menu items are the controller's.
  bool HandleCommand(int id);
  // The 33 ms tick: play head, end of playback, repaint requests.
  void Tick();
  // Enabled states and texts of the edit controls for the current state.
  void UpdateControls();
  bool Playing() const;
  void StopPlayback();
  // The render device changed while playing: restart at the same position.
  void RestartPlaybackOnNewDevice();

  // Input forwarded by the views.
  bool OnKey(const KeyEvent& key);
  void OnMouse(const MouseEvent& event, int viewWidth, int viewHeight);
  void OnWheel(const WheelEvent& event, int viewWidth, int viewHeight);
  PointerShape PointerAt(int x, int y, int viewWidth, int viewHeight) const;
  WaveScene Scene(int viewWidth, int viewHeight);
  // The editor's information line.
  std::string InfoLine() const;

 private:
  // Opening, saving and exporting (edit_area_files.cpp): the open, save
  // and video-export commands; false when the id is not one of them.
  bool HandleFileCommand(int id);
  // After a file was opened: play head 0, whole clip in view, repaint.
  void ResetViewAfterOpen();

  EditContext ctx_;

  // What the opened file was, for the video export and full-length playback.
  struct OpenedMedia {
    bool hasPicture = false;
    std::vector<int> untouchedTracks;  // audio ordinals kept as they are
    int editedTrack = 0;               // 0 after mixing all tracks
  };
  OpenedMedia opened_;
};

}  // namespace vesk::ui
