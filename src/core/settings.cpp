#include "core/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <system_error>

#include "platform/folders.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

constexpr char kSeparator = char(fs::path::preferred_separator);

bool OneOf(int v, std::initializer_list<int> allowed) {
  return std::find(allowed.begin(), allowed.end(), v) != allowed.end();
}

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += kSeparator;
  return dir;
}

bool IsExistingDirectory(const std::string& dir) {
  std::error_code ec;
  return !dir.empty() && fs::is_directory(PathFromUtf8(dir), ec);
}

// Saved levels outside 0..2 would index past the level names.
int LevelFromIni(const IniStore& store, std::string_view key) {
  const int v = store.GetInt(key, 1);
  return (v < 0 || v >= kDenoiseLevelCount) ? 1 : v;
}

std::string DeviceIdFromIni(const IniStore& store, std::string_view key) {
  std::string id = store.GetString(key);
  return id == "-" ? std::string() : id;
}

}  // namespace

const char* DenoiseLevelName(int level) {
  static const char* const kNames[kDenoiseLevelCount] = {"激进", "均衡", "轻柔"};
  return (level >= 0 && level < kDenoiseLevelCount) ? kNames[level] : kNames[1];
}

SettingsEnvironment CurrentSettingsEnvironment() { return {DocumentsDir(), ProgramDir()}; }

void LoadSettings(IniStore& store, const SettingsEnvironment& env, SettingsState& st) {
  // Folders.
  std::string output = store.GetString("OutputDir");
  if (output.empty()) {
    const fs::path base = env.documentsDir.empty() ? env.programDir : env.documentsDir;
    output = WithTrailingSeparator(WithTrailingSeparator(PathToUtf8(base)) + "VESK录音");
  } else {
    output = WithTrailingSeparator(output);
  }
  std::error_code ec;
  fs::create_directories(PathFromUtf8(output), ec);
  st.outputDir = PathFromUtf8(output);

  const std::string openDir = store.GetString("OpenDir");
  st.openDir = IsExistingDirectory(openDir) ? PathFromUtf8(openDir) : fs::path();
  const std::string saveDir = store.GetString("LastSaveDir");
  st.lastSaveDir = IsExistingDirectory(saveDir) ? PathFromUtf8(WithTrailingSeparator(saveDir)) : fs::path();

  // Recording format.
  st.channels = store.GetInt("Channels", 2) == 1 ? 1 : 2;
  st.formatWav = store.GetInt("Format", 0) != 0;
  const int bitrate = store.GetInt("Bitrate", 320);
  st.bitrateKbps = OneOf(bitrate, {320, 256, 192, 128}) ? bitrate : 320;
  const int storedRate = store.GetInt("SampleRate", 0);
  int rate = storedRate == 96000 ? 48000 : storedRate;
  if (!OneOf(rate, {44100, 48000})) rate = 0;
  st.sampleRate = rate;
  st.sampleRatePinned = store.GetInt("SampleRatePinned", storedRate != 0 ? 1 : 0) != 0 && rate != 0;
  const int depth = store.GetInt("BitDepth", 16);
  st.bitDepth = !st.formatWav ? 16 : OneOf(depth, {24, 32}) ? depth : 16;

  if (store.GetInt("Def22", 0) == 0) {
    if (st.formatWav && st.sampleRate == 48000 && st.bitDepth == 24) {
      st.formatWav = false;
      st.sampleRate = 0;
      st.sampleRatePinned = false;
      st.bitDepth = 16;
    }
    store.SetInt("Def22", 1);
  }

  // Denoise.
  st.denoise = store.GetInt("Denoise", 0) != 0;
  st.denoiseLevel = LevelFromIni(store, "DenoiseLevel");
  st.selDenoiseLevel = LevelFromIni(store, "SelDenoiseLevel");
  st.denoiseBuiltin = store.GetInt("DenoiseBuiltin", 0) == 1;
  const int isolated = store.GetInt("DenoiseIsolated", -1);
  st.denoiseIsolated = isolated == 0 || isolated == 1 ? isolated : -1;
  const int spill = store.GetInt("SpillThresholdMB", 0);
  st.spillThresholdMiB = spill >= 64 && spill <= 1 << 20 ? spill : 0;
  st.hintPanZoom = store.GetInt("HintPanZoom", 0) != 0;
  const int preset = store.GetInt("LoudnessPreset", 1);
  st.loudnessPreset = preset >= 0 && preset <= 3 ? preset : 1;
  // Tenths of a decibel; out-of-range values fall back to the defaults.
  const int lufs = store.GetInt("LoudnessCustomLufs10", -180);
  st.loudnessCustomLufs = lufs >= -400 && lufs <= -50 ? lufs / 10.0 : -18.0;
  const int ceiling = store.GetInt("LoudnessCeiling10", -10);
  st.loudnessCustomCeiling = ceiling >= -100 && ceiling <= 0 ? ceiling / 10.0 : -1.0;

  // Export.
  const int legacyRate = store.GetInt("ExportSampleRate", -1);
  const int rateDefault = legacyRate >= 0 ? legacyRate : 48000;
  auto exportRate = [&](std::string_view key) {
    const int v = store.GetInt(key, rateDefault);
    return OneOf(v, {0, 44100, 48000, 96000}) ? v : 0;
  };
  st.exportWavRate = exportRate("ExportWavRate");
  st.exportMp3Rate = exportRate("ExportMp3Rate");
  const int exportDepth = store.GetInt("ExportBitDepth", 24);
  st.exportBitDepth = OneOf(exportDepth, {0, 16, 24, 32}) ? exportDepth : 0;
  if (store.GetInt("DefExp92", 0) == 0) {
    if (st.exportWavRate == 0 && st.exportMp3Rate == 0 && st.exportBitDepth == 0) {
      st.exportWavRate = 48000;
      st.exportMp3Rate = 48000;
      st.exportBitDepth = 24;
    }
    store.SetInt("DefExp92", 1);
  }

  // Video export.
  st.videoCodecFlac = store.GetInt("VideoCodecFlac", 1) != 0;
  const int aac = store.GetInt("VideoAacKbps", 192);
  st.videoAacKbps = OneOf(aac, {128, 192, 256, 320}) ? aac : 192;
  const int videoRate = store.GetInt("VideoSampleRate", 48000);
  st.videoSampleRate = OneOf(videoRate, {0, 48000, 96000}) ? videoRate : 48000;
  if (store.GetInt("DefVid87", 0) == 0) {
    if (!st.videoCodecFlac && st.videoSampleRate == 0) {
      st.videoCodecFlac = true;
      st.videoSampleRate = 48000;
    }
    store.SetInt("DefVid87", 1);
  }

  st.ffmpegPath = store.GetString("FfmpegPath");
  st.lastFile = store.GetString("LastFile");

  // Source and devices.
  const int source = store.GetInt("RecSource", -1);
  if (source >= 0 && source <= 2) {
    st.recSource = RecordSource(source);
  } else if (store.GetInt("OutEnabled", 0) != 0) {
    st.recSource = store.GetInt("InEnabled", 1) != 0 ? RecordSource::Both : RecordSource::ComputerSound;
  } else {
    st.recSource = RecordSource::Microphone;
  }
  st.inDevice = DeviceIdFromIni(store, "InDevice");
  st.outDevice = DeviceIdFromIni(store, "OutDevice");
  if (store.GetInt("InChosen", -1) == 0) st.inDevice.clear();
  if (store.GetInt("OutChosen", -1) == 0) st.outDevice.clear();
  st.inDeviceName = st.inDevice.empty() ? std::string() : store.GetString("InDeviceName");
  st.outDeviceName = st.outDevice.empty() ? std::string() : store.GetString("OutDeviceName");
  if (st.inDevice == kNoInputDevice && st.recSource == RecordSource::Microphone)
    st.recSource = RecordSource::ComputerSound;

  st.mainMaxed = store.GetInt("MainMaxed", 0) != 0;
}

void SaveSettings(IniStore& store, const SettingsState& st, const std::optional<WindowRect>& previewRect,
                  const std::optional<MainWindowPlacement>& mainPlacement) {
  IniBatch batch(store);
  auto setBool = [&](std::string_view key, bool v) { store.SetInt(key, v ? 1 : 0); };
  const int source = int(st.recSource);

  store.SetString("OutputDir", PathToUtf8(st.outputDir));
  store.SetString("OpenDir", PathToUtf8(st.openDir));
  store.SetString("LastSaveDir", PathToUtf8(st.lastSaveDir));
  setBool("Denoise", st.denoise);
  store.SetInt("DenoiseLevel", st.denoiseLevel);
  store.SetInt("SelDenoiseLevel", st.selDenoiseLevel);
  store.SetInt("DenoiseBuiltin", st.denoiseBuiltin ? 1 : 0);
  store.SetInt("DenoiseIsolated", st.denoiseIsolated);
  if (st.spillThresholdMiB > 0) store.SetInt("SpillThresholdMB", st.spillThresholdMiB);
  store.SetInt("LoudnessPreset", st.loudnessPreset);
  store.SetInt("LoudnessCustomLufs10", int(std::lround(st.loudnessCustomLufs * 10)));
  store.SetInt("LoudnessCeiling10", int(std::lround(st.loudnessCustomCeiling * 10)));
  store.SetInt("ExportWavRate", st.exportWavRate);
  store.SetInt("ExportMp3Rate", st.exportMp3Rate);
  store.SetInt("ExportBitDepth", st.exportBitDepth);
  setBool("VideoCodecFlac", st.videoCodecFlac);
  store.SetInt("VideoAacKbps", st.videoAacKbps);
  store.SetInt("VideoSampleRate", st.videoSampleRate);
  store.SetInt("DefVid87", 1);
  store.SetInt("DefExp92", 1);
  store.SetString("FfmpegPath", st.ffmpegPath);
  store.SetInt("Channels", st.channels == 1 ? 1 : 2);
  setBool("Format", st.formatWav);
  if (!st.formatWav) store.SetInt("Bitrate", st.bitrateKbps);
  store.SetInt("SampleRate", st.sampleRatePinned ? st.sampleRate : 0);
  setBool("SampleRatePinned", st.sampleRatePinned);
  store.SetInt("BitDepth", st.bitDepth);
  store.SetInt("Def22", 1);
  store.SetString("LastFile", st.lastFile);
  store.SetInt("RecSource", source);
  setBool("InEnabled", source == 0 || source == 2);
  setBool("OutEnabled", source == 1 || source == 2);
  setBool("InChosen", !st.inDevice.empty());
  setBool("OutChosen", !st.outDevice.empty());
  store.SetString("InDevice", st.inDevice);
  store.SetString("OutDevice", st.outDevice);
  store.SetString("InDeviceName", st.inDeviceName);
  store.SetString("OutDeviceName", st.outDeviceName);
  if (previewRect) store.SetString("PreviewRect", FormatWindowRect(*previewRect));
  if (mainPlacement) {
    store.SetString("MainRect", FormatWindowRect(mainPlacement->restored));
    setBool("MainMaxed", mainPlacement->maximized);
    store.SetInt("MainRectV", 2);
  }
}

constexpr long kMaxRectCoordinate = 1000000;

bool ParseWindowRect(std::string_view text, WindowRect& out) {
  int values[4];
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos > text.size()) return false;
    size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view field = text.substr(pos, end - pos);
    pos = end + 1;
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
    size_t digits = (!field.empty() && (field[0] == '-' || field[0] == '+')) ? 1 : 0;
    if (digits == field.size()) return false;
    for (size_t k = digits; k < field.size(); ++k)
      if (field[k] < '0' || field[k] > '9') return false;
    const long v = ParseLong32(field);
    // No screen has coordinates this far out; such values could only
    // overflow the size arithmetic later.
    if (v > kMaxRectCoordinate || v < -kMaxRectCoordinate) return false;
    values[i] = int(v);
  }
  out = {values[0], values[1], values[2], values[3]};
  return true;
}

std::string FormatWindowRect(const WindowRect& r) {
  return Format("%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
}

int MulDivRound(int a, int b, int c) {
  if (c == 0) return -1;
  const long long num = static_cast<long long>(a) * b;
  const long long half = (c < 0 ? -c : c) / 2;
  const bool negative = (num < 0) != (c < 0);
  const long long absNum = num < 0 ? -num : num;
  const long long absC = c < 0 ? -static_cast<long long>(c) : c;
  const long long q = (absNum + half) / absC;
  const long long r = negative ? -q : q;
  return (r > INT32_MAX || r < INT32_MIN) ? -1 : int(r);
}

FrameSize MainFrameForClient(const ScreenMetrics& screen, int clientWidth, int clientHeight) {
  const int dpi = int(screen.dpi);
  WindowRect client{0, 0, MulDivRound(clientWidth, dpi, 96), MulDivRound(clientHeight, dpi, 96)};
  const WindowRect frame = screen.adjustFrame ? screen.adjustFrame(client) : client;
  return {frame.right - frame.left, frame.bottom + MulDivRound(screen.captionUnits, dpi, 96)};
}

std::optional<WindowRect> LoadMainRect(const IniStore& store, const ScreenMetrics& screen) {
  WindowRect r;
  if (!ParseWindowRect(store.GetString("MainRect"), r)) return std::nullopt;
  if (store.GetInt("MainRectV", 1) < 2) {
    // Older files stored a rectangle of another size; keep only the position.
    const FrameSize frame = MainFrameForClient(screen, 800, 600);
    r.right = r.left + frame.width;
    r.bottom = r.top + frame.height;
  }
  const FrameSize minimum = MainFrameForClient(screen, 750, 600);
  if (r.Width() < minimum.width || r.Height() < minimum.height) return std::nullopt;
  if (screen.virtualWidth < 1 || screen.virtualHeight < 1) return std::nullopt;
  const bool overlaps = r.left < screen.virtualLeft + screen.virtualWidth &&
                        r.top < screen.virtualTop + screen.virtualHeight && r.right > screen.virtualLeft &&
                        r.bottom > screen.virtualTop;
  if (!overlaps) return std::nullopt;
  return r;
}

std::optional<WindowRect> LoadPreviewRect(const IniStore& store, const ScreenMetrics& screen) {
  WindowRect r;
  if (!ParseWindowRect(store.GetString("PreviewRect"), r)) return std::nullopt;
  const int dpi = int(screen.dpi);
  if (r.Width() < MulDivRound(160, dpi, 96) || r.Height() < MulDivRound(90, dpi, 96)) return std::nullopt;
  if (r.right < 0 || r.bottom < 0) return std::nullopt;
  if (r.left < 0 || r.left >= screen.primaryWidth || r.top < 0 || r.top >= screen.primaryHeight)
    return std::nullopt;
  r.right = std::min(r.right, screen.primaryWidth);
  r.bottom = std::min(r.bottom, screen.primaryHeight);
  return r;
}

}  // namespace vesk
