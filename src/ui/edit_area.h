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
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/app_services.h"
#include "ui/playback_control.h"
#include "ui/open_flow.h"
#include "ui/save_flow.h"
#include "ui/export_denoise.h"
#include "ui/input_events.h"
#include "ui/source_timeline.h"
#include "ui/window_port.h"
#include "ui/window_state.h"
#include "ui/wave_scene.h"
#include "ui/wave_view_model.h"

namespace vesk {
class AudioDoc;
class PlaybackStream;
class DeviceCatalogue;
class PlayHeadServo;
}  // namespace vesk

namespace vesk::ui {

// How a document change moves the view.
enum class ViewReset {
  WholeClip,  // loaded, recorded, trimmed: the whole new clip
  KeepZoom,   // delete, silence, undo, redo, selection denoise
};

class EditArea {
 public:
  explicit EditArea(EditContext context);
  ~EditArea();
  EditArea(const EditArea&) = delete;
  EditArea& operator=(const EditArea&) = delete;

  // The controller's hooks.
  // The document was replaced by a finished recording (view shows it all,
  // the undo-budget warning when it applies).
  void OnRecordingLoaded();
  // A recording starts: playback stops, the view switches to the live waveform.
  void OnRecordingStarted();
  // The live waveform's source while recording (nullptr once it stopped):
  // the recording session's play-head servo, its rate and channel count.
  void SetLiveSource(PlayHeadServo* servo, uint32_t rate, int channels);
  // Opens a file into the edit area (open command, drop, command line).
  // Refused while recording. Files with several audio tracks go through the
  // track dialog. False when no file was opened (cancelled or failed; the
  // status line and a box say why).
  bool OpenForEdit(const std::filesystem::path& path);
  // Removes the save staging folders a killed run left where saves go (last
  // save folder, open folder, recording folder). Once, at start.
  void RemoveStaleSaveFolders();
  // A command of the edit area (open, play, home, saves, undo/redo, trim,
  // delete, silence, select all, preview). False when the id is not one of
  // them. The export-option menu items are the controller's.
  bool HandleCommand(int id);
  // The 33 ms tick: play head, end of playback, repaint requests.
  void Tick();
  // The edit area's part of the window state.
  void Describe(WindowFacts& facts) const;
  bool Playing() const;
  void StopPlayback();
  // The render device changed while playing: restart at the same position.
  void RestartPlaybackOnNewDevice();
  // The buffer AppServices::PlaybackSource hands out changed (a denoised
  // copy became ready or was dropped): while playing, continue from the
  // same position on the new buffer.
  void PlaybackBufferChanged();

  // Input forwarded by the views. OnKey is true when the key was used (a
  // key passed on belongs to the focused control). The view captures the
  // pointer on a left press and, on the release, lets it go and takes the
  // keyboard focus.
  bool OnKey(const KeyEvent& key);
  // The command a key stands for, 0 for none (Ctrl+O, Space, Ctrl+A,
  // Ctrl+Z/Y, Delete, Home): the key takes its button's road.
  int KeyCommand(const KeyEvent& key) const;
  // True when the event asks for the window's context menu at the pointer.
  bool OnMouse(const MouseEvent& event, int viewWidth, int viewHeight);
  void OnWheel(const WheelEvent& event, int viewWidth, int viewHeight);
  PointerShape PointerAt(int x, int y, int viewWidth, int viewHeight) const;
  WaveScene Scene(int viewWidth, int viewHeight);
  // The editor's information line.
  std::string InfoLine() const;

  // After the document's samples changed outside the edit commands (a
  // selection denoise): repaint, information line, view reset, controls.
  void OnDocumentChanged(ViewReset reset);

  const WaveViewModel& View() const { return view_; }
  // Where the shown play head is, in document frames.
  uint64_t PlayHead() const { return view_.PlayHead(); }
  // True while playback runs on the full-length buffer.
  bool PlayingFullLength() const { return play_.FullLength(); }
  // The opened file when it has a picture and is what the edit area shows;
  // empty otherwise (sound only, a recording, nothing).
  std::filesystem::path PictureFile() const;
  // The play head on the source file's timeline (deleted ranges counted), in
  // seconds: the time of the picture that belongs to it. During full-length
  // playback, where that playback is (also inside a deleted range).
  double PictureSeconds() const;

 private:
  friend struct EditAreaTestAccess;  // tests reach the opened-media record

  // The open, save and video-export commands (OpenFlow, SaveFlow); false
  // when the id is not one of them.
  bool HandleFileCommand(int id);
  // Warns once (and stops playback) when the file the clip is read from
  // was rewritten or cut short since it was opened.
  void CheckSource();
  // After a file was opened: play head 0, whole clip in view, repaint. Runs
  // last, after the open's status texts, so the undo-budget warning wins.
  void ResetViewAfterOpen();
  void OpenCommand();

  // Edit commands and keys (edit_area.cpp).
  bool Empty() const;
  bool Recording() const;
  void Edit(bool (AudioDoc::*call)(std::string&), const char* success, ViewReset reset);
  void UndoRedo(bool redo);
  // The key goes to the waveform: audio, no recording, and the focus not in
  // a text field (nor Space in a drop-down).
  bool KeyForWave(const KeyEvent& key) const;
  void SelectAll();
  void SetSelection(uint64_t a, uint64_t b);
  void MovePlayHead(uint64_t frame);
  bool NudgeSelection(bool left, bool moveStart);
  void StepPlayHead(bool left);
  void Status(const std::string& text);
  void MarkViewUsed();

  EditContext ctx_;
  WaveViewModel view_;

  PlayHeadServo* live_ = nullptr;
  // The source-file check: ticks since the last one, and whether this
  // document's change was already shown.
  int sourceCheckTicks_ = 0;
  bool sourceWarned_ = false;
  uint32_t liveRate_ = 0;
  int liveChannels_ = 2;

  OpenedMedia opened_;
  PlaybackControl play_{ctx_, view_, opened_};
  SaveFlow save_{ctx_, opened_};
  OpenFlow open_{ctx_, opened_};
};

}  // namespace vesk::ui
