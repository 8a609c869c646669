#pragma once
// One way from the model to the screen: after each command, tick and posted
// task the controller gathers WindowFacts from its parts, ComputeWindowState
// turns them into every driven control's label, enabled, checked, tooltip
// and items plus the window's texts, and DiffWindowState gives the changes
// against what the view shows, which the view applies (ViewPort::Apply).
// Controls not listed in a WindowState keep what MainLayout gave them.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/settings.h"

namespace vesk::ui {

// The text views that are not command controls; the layout dump keys them
// by these names.
enum class TextView { Status, Size, MeterInfo, Clock, EditorInfo };

// Painted areas.
enum class PaintArea { Wave, Meter };

// The recording-option lists: item index <-> setting.
inline constexpr int kBitrateItems[] = {320, 256, 192, 128};
inline constexpr int kRateItems[] = {44100, 48000};
inline constexpr int kDepthItems[] = {16, 24, 32};

template <size_t N>
int ItemIndexOf(const int (&table)[N], int value, int fallback) {
  for (size_t i = 0; i < N; ++i)
    if (table[i] == value) return int(i);
  return fallback;
}

struct ControlState {
  std::optional<std::string> label;                   // none: MainLayout's
  bool enabled = true;
  bool checked = false;                               // a switch that is on (the record button while recording)
  std::optional<std::string> tooltip;
  std::optional<std::vector<std::string>> items;      // drop-downs whose items change (device lists)
  int selected = -1;                                  // drop-downs: the selected item
  bool operator==(const ControlState&) const = default;
};

// What the parts of the controller know, gathered after each step.
struct WindowFacts {
  // The recording flow and the settings it shows.
  bool recording = false;
  bool paused = false;
  bool recordStartable = true;  // every needed device list has a working endpoint
  RecordSource recSource = RecordSource::Microphone;
  int channels = 2;
  bool formatWav = false;
  int bitrateKbps = 320;
  int bitDepth = 16;
  int shownRate = 48000;  // the pinned rate, or the device's while it follows it
  std::string outputDir;
  std::vector<std::string> captureItems, renderItems;
  int captureSelected = -1, renderSelected = -1;
  std::string clock = "00:00:00.0", size, meterInfo;
  // The edit area.
  bool hasAudio = false;
  bool canUndo = false, canRedo = false;
  bool playing = false;
  std::string editorInfo;
  // Noise reduction and the video preview.
  std::string denoiseLabel, denoiseTooltip;
  std::string loudnessTooltip;
  bool previewOpen = false, previewAvailable = false;
  // The status line and the repaint requests (generations: a change repaints).
  std::string status;
  bool statusDetails = false;
  uint64_t wavePaints = 0, meterPaints = 0;
};

struct WindowState {
  std::map<int, ControlState> controls;
  std::map<TextView, std::string> texts;
  bool statusDetails = false;
  uint64_t wavePaints = 0, meterPaints = 0;

  // The state of `id`; a default one when the state does not drive it.
  const ControlState& Control(int id) const;
  const std::string& Text(TextView view) const;
};

WindowState ComputeWindowState(const WindowFacts& facts);

enum ControlField : unsigned {
  kFieldLabel = 1,
  kFieldEnabled = 2,
  kFieldChecked = 4,
  kFieldTooltip = 8,
  kFieldItems = 16,      // items and selection
  kFieldSelection = 32,  // selection alone
};

struct ControlChange {
  int id = 0;
  unsigned fields = 0;  // ControlField bits
  ControlState state;   // the new state (the changed fields are set)
};

struct WindowChanges {
  std::vector<ControlChange> controls;
  std::vector<std::pair<TextView, std::string>> texts;
  std::optional<bool> statusDetails;
  bool repaintWave = false;
  bool repaintMeter = false;
  bool Empty() const {
    return controls.empty() && texts.empty() && !statusDetails && !repaintWave && !repaintMeter;
  }
};

// The changes that take a view showing `shown` to `next`; with no `shown`
// (a new window) every field that differs from a fresh control's.
WindowChanges DiffWindowState(const WindowState* shown, const WindowState& next);

}  // namespace vesk::ui
