#pragma once
// The application's persistent options: the key table of the settings file
// mapped onto a plain state struct. LoadSettings applies defaults, range
// rules and the one-time migrations; SaveSettings writes every key in a
// fixed order. The window application only maps this struct to controls.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings_store.h"

namespace vesk {

enum class RecordSource { Microphone = 0, ComputerSound = 1, Both = 2 };

// Denoise levels 0..2 and their names "激进", "均衡", "轻柔" (0 reduces the
// most, as the plug-in offsets of the denoise engine have it).
inline constexpr int kDenoiseLevelCount = 3;
const char* DenoiseLevelName(int level);

// Input device id meaning "the user chose no input".
inline constexpr const char kNoInputDevice[] = "@none";

struct SettingsState {
  std::filesystem::path outputDir;  // ends with a separator
  std::filesystem::path openDir;
  std::filesystem::path lastSaveDir;  // empty or ends with a separator

  int channels = 2;        // 1 or 2
  bool formatWav = false;  // false = MP3
  int bitrateKbps = 320;   // 320, 256, 192, 128
  int sampleRate = 0;      // 44100 or 48000 when pinned, else 0 (follow the device)
  bool sampleRatePinned = false;
  int bitDepth = 16;  // 16, 24 or 32 (float); 16 with MP3

  bool denoise = false;
  int denoiseLevel = 1;
  int selDenoiseLevel = 1;
  bool denoiseBuiltin = false;  // the built-in engine even when a plug-in is found
  // The plug-in renders in a helper process: 1 on, 0 off, -1 not chosen (on
  // for a module whose trial run ever failed).
  int denoiseIsolated = -1;
  // Decoded audio past this many MiB is kept in a temporary file (0: the default).
  int spillThresholdMiB = 0;
  bool hintPanZoom = false;
  // The level tools: the loudness target of 响度标准化 (0..2 the presets, 3
  // the custom target below).
  int loudnessPreset = 1;
  double loudnessCustomLufs = -18.0;
  double loudnessCustomCeiling = -1.0;

  int exportWavRate = 48000;  // 0 (as source), 44100, 48000, 96000
  int exportMp3Rate = 48000;
  int exportBitDepth = 24;  // 0 (as source), 16, 24, 32

  bool videoCodecFlac = true;
  int videoAacKbps = 192;       // 128, 192, 256, 320
  int videoSampleRate = 48000;  // 0 (as the audio), 48000, 96000

  std::string ffmpegPath;
  std::string lastFile;

  RecordSource recSource = RecordSource::Microphone;
  std::string inDevice;  // endpoint id, empty = system default, "@none" = no input
  std::string outDevice;
  std::string inDeviceName;
  std::string outDeviceName;

  bool mainMaxed = false;
};

// What loading needs from the system.
struct SettingsEnvironment {
  std::filesystem::path documentsDir;  // empty when unknown
  std::filesystem::path programDir;
};
SettingsEnvironment CurrentSettingsEnvironment();

// Reads every key into `state`, creating the output folder. The one-time
// migrations write their flag keys to `store` (and thus to its file).
void LoadSettings(IniStore& store, const SettingsEnvironment& env, SettingsState& state);

struct WindowRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const WindowRect&) const = default;
};

struct MainWindowPlacement {
  WindowRect restored;
  bool maximized = false;
};

// Writes every key of `state` in the fixed order; `previewRect` only while
// the preview window is open, `mainPlacement` only when it could be read.
// The file is replaced once at the end.
void SaveSettings(IniStore& store, const SettingsState& state, const std::optional<WindowRect>& previewRect,
                  const std::optional<MainWindowPlacement>& mainPlacement);

// "left,top,right,bottom" with signed decimal numbers; fields may carry
// blanks around them. False when fewer than four numbers lead the text.
bool ParseWindowRect(std::string_view text, WindowRect& out);
std::string FormatWindowRect(const WindowRect& r);

// The screen facts the rectangle checks need; the Windows backend fills them
// from the system (AdjustWindowRectEx, the virtual screen).
struct ScreenMetrics {
  unsigned dpi = 96;  // the main window's DPI
  int primaryWidth = 0, primaryHeight = 0;
  int virtualLeft = 0, virtualTop = 0, virtualWidth = 0, virtualHeight = 0;
  // The main window's frame rectangle for a client rectangle (left, top,
  // right, bottom in pixels), as AdjustWindowRectEx enlarges it.
  std::function<WindowRect(const WindowRect& client)> adjustFrame;
  // The caption band the window draws inside its own client area (96-DPI
  // units): the Windows window's 34, 0 where the desktop draws the title bar.
  int captionUnits = 34;
};
ScreenMetrics CurrentScreenMetrics(unsigned dpi);

// MulDiv: a × b ÷ c rounded half away from zero; -1 when c is 0.
int MulDivRound(int a, int b, int c);

struct FrameSize {
  int width = 0, height = 0;
};
// The main window's frame for a client of clientWidth × clientHeight
// (96-DPI pixels): adjusted width, and adjusted bottom + the caption band.
FrameSize MainFrameForClient(const ScreenMetrics& screen, int clientWidth, int clientHeight);

// The saved rectangles when they are usable on this screen.
std::optional<WindowRect> LoadMainRect(const IniStore& store, const ScreenMetrics& screen);
std::optional<WindowRect> LoadPreviewRect(const IniStore& store, const ScreenMetrics& screen);

}  // namespace vesk
