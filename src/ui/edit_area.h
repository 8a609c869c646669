#pragma once
// The edit area: the waveform view model and its gestures, the edit commands
// and keys, the play command, opening files (with the track dialog), and the
// save and video-export flows. Owned by AppController, which forwards the
// commands and input that belong here.
//
// Threads: the user-interface thread only.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/export_denoise.h"
#include "ui/input_events.h"
#include "ui/view_port.h"
#include "ui/wave_scene.h"

namespace vesk {
class AudioDoc;
class PlaybackStream;
class DeviceCatalogue;
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
  // Refused while recording. Files with several audio tracks go through the
  // track dialog. False when no file was opened (cancelled or failed; the
  // status line and a box say why).
  bool OpenForEdit(const std::filesystem::path& path);
  // Removes the save staging folders a killed run left where saves go (last
  // save folder, open folder, recording folder). Once, at start.
  void RemoveStaleSaveFolders();
  // The export-time denoise step (export_denoise.h); none exports as is.
  void SetExportDenoise(ExportDenoiseHook hook);
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
  // After a file was opened: play head 0, whole clip in view, repaint. Runs
  // last, after the open's status texts, so the undo-budget warning wins.
  void ResetViewAfterOpen();
  void OpenCommand();
  void SaveAs(bool mp3);
  void SaveAsVideo();

  EditContext ctx_;

  // What the opened file was, for the video export and full-length playback.
  // Reset (opened_ = {}) when a recording replaces the document.
  struct OpenedMedia {
    bool hasPicture = false;
    bool pictureFits = false;          // MP4 or MKV takes the picture by stream copy
    std::string pictureCodec;          // display name, for the refusal text
    std::filesystem::path path;        // the opened file: the video the export reads
    std::vector<int> untouchedTracks;  // audio ordinals kept as they are
    int editedTrack = 0;               // 0 after mixing all tracks
  };
  OpenedMedia opened_;
  ExportDenoiseHook exportDenoise_;
  // Staging folders older than this belong to an earlier run.
  std::filesystem::file_time_type runStart_ = std::filesystem::file_time_type::clock::now();
};

}  // namespace vesk::ui
