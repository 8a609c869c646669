#include "ui/export_menus.h"

#include "platform/text.h"
#include "ui/control_ids.h"

namespace vesk::ui {
namespace {

MenuItem Item(int id, std::string text, bool checked) { return {id, std::move(text), checked, true, false}; }
MenuItem Separator() { return {0, {}, false, true, true}; }

std::string RateText(int hz) { return hz == 0 ? std::string("跟源文件") : Format("%dHz", hz); }

std::string DepthText(int bits) {
  switch (bits) {
    case 0: return "跟源文件";
    case 32: return "32bit 浮点";
    default: return Format("%dbit", bits);
  }
}

// (id, value) pairs of one option group.
struct Choice {
  int id;
  int value;
};
constexpr Choice kWavDepths[] = {{kMenuWavBitsSource, 0}, {kMenuWavBits16, 16}, {kMenuWavBits24, 24}, {kMenuWavBits32, 32}};
constexpr Choice kWavRates[] = {{kMenuWavRate44100, 44100}, {kMenuWavRate48000, 48000}, {kMenuWavRate96000, 96000}};
constexpr Choice kMp3Kbps[] = {{kMenuMp3Kbps128, 128}, {kMenuMp3Kbps192, 192}, {kMenuMp3Kbps256, 256}, {kMenuMp3Kbps320, 320}};
constexpr Choice kMp3Rates[] = {{kMenuMp3Rate44100, 44100}, {kMenuMp3Rate48000, 48000}};
constexpr Choice kAacKbps[] = {{kMenuVideoAac128, 128}, {kMenuVideoAac192, 192}, {kMenuVideoAac256, 256}, {kMenuVideoAac320, 320}};
constexpr Choice kVideoRates[] = {{kMenuVideoRateSource, 0}, {kMenuVideoRate48000, 48000}, {kMenuVideoRate96000, 96000}};

template <size_t N>
bool Lookup(const Choice (&table)[N], int id, int& value) {
  for (const Choice& c : table)
    if (c.id == id) {
      value = c.value;
      return true;
    }
  return false;
}

void LevelMenu(std::vector<MenuItem>& out, int firstId, int current) {
  for (int level = 0; level < kDenoiseLevelCount; ++level)
    out.push_back(Item(firstId + level, DenoiseLevelMenuText(level), level == current));
}

}  // namespace

const char* DenoiseLevelMenuText(int level) {
  static const char* const kTexts[kDenoiseLevelCount] = {"激进（降噪更深）", "均衡（默认力度）", "轻柔（降噪更浅）"};
  return (level >= 0 && level < kDenoiseLevelCount) ? kTexts[level] : kTexts[1];
}

std::vector<MenuItem> SplitButtonMenu(int buttonId, const SettingsState& s, bool ffmpegFound) {
  std::vector<MenuItem> m;
  switch (buttonId) {
    case kIdSaveWav:
      m.push_back(Item(kMenuWavBitsSource, "位深：跟源文件", s.exportBitDepth == 0));
      for (const Choice& c : kWavDepths)
        if (c.value != 0) m.push_back(Item(c.id, "位深 " + DepthText(c.value), s.exportBitDepth == c.value));
      m.push_back(Separator());
      m.push_back(Item(kMenuRateSource, "采样率：跟源文件", s.exportWavRate == 0));
      for (const Choice& c : kWavRates) m.push_back(Item(c.id, "采样率 " + RateText(c.value), s.exportWavRate == c.value));
      break;
    case kIdSaveMp3:
      for (const Choice& c : kMp3Kbps)
        m.push_back(Item(c.id, Format("码率 %dkbps", c.value), s.bitrateKbps == c.value));
      m.push_back(Separator());
      m.push_back(Item(kMenuRateSource, "采样率：跟源文件", s.exportMp3Rate == 0));
      for (const Choice& c : kMp3Rates) m.push_back(Item(c.id, "采样率 " + RateText(c.value), s.exportMp3Rate == c.value));
      break;
    case kIdSaveVideo:
      m.push_back(Item(kMenuVideoAac, "音轨 AAC", !s.videoCodecFlac));
      m.push_back(Item(kMenuVideoFlac, "音轨 FLAC 无损 24bit", s.videoCodecFlac));
      if (!s.videoCodecFlac) {
        m.push_back(Separator());
        for (const Choice& c : kAacKbps)
          m.push_back(Item(c.id, Format("AAC 码率 %dkbps", c.value), s.videoAacKbps == c.value));
      }
      m.push_back(Separator());
      m.push_back(Item(kMenuVideoRateSource, "音轨采样率：跟源文件", s.videoSampleRate == 0));
      for (const Choice& c : kVideoRates)
        if (c.value != 0)
          m.push_back(Item(c.id, "音轨采样率 " + RateText(c.value), s.videoSampleRate == c.value));
      if (!ffmpegFound) {
        m.push_back(Separator());
        m.push_back(Item(kMenuPickFfmpeg, "找不到 ffmpeg，点这里指定…", false));
      }
      m.push_back(Separator());
      m.push_back({0, "画面原样拷贝，不重新编码", false, false, false});
      break;
    case kIdDenoise:
      LevelMenu(m, kMenuDenoiseLevelStrong, s.denoiseLevel);
      break;
    case kIdDenoiseSelection:
      LevelMenu(m, kMenuSelDenoiseStrong, s.selDenoiseLevel);
      break;
    default:
      break;
  }
  return m;
}

void AppendDenoiseEngineItems(std::vector<MenuItem>& m, bool builtinAvailable, bool builtinChosen,
                              const std::string& pluginName, int isolated) {
  if (!builtinAvailable && pluginName.empty()) return;
  m.push_back(Separator());
  if (builtinAvailable) m.push_back(Item(kMenuDenoiseEngineBuiltin, "引擎：内置降噪", builtinChosen));
  if (!pluginName.empty()) m.push_back(Item(kMenuDenoiseEnginePlugin, "引擎：" + pluginName, !builtinChosen));
  if (!pluginName.empty() && isolated >= 0)
    m.push_back(Item(kMenuDenoiseIsolated, "在独立进程里运行插件（更稳）", isolated == 1));
  if (builtinAvailable) {
    m.push_back(Separator());
    m.push_back(Item(kMenuNoiseSample, "把选区设为噪声样本", false));
  }
}

ExportOptionKind ApplyExportOption(int id, int menuButton, SettingsState& s) {
  int v = 0;
  if (Lookup(kWavDepths, id, v)) {
    s.exportBitDepth = v;
    return ExportOptionKind::BitDepth;
  }
  if (Lookup(kWavRates, id, v)) {
    s.exportWavRate = v;
    return ExportOptionKind::SampleRate;
  }
  if (Lookup(kMp3Rates, id, v)) {
    s.exportMp3Rate = v;
    return ExportOptionKind::SampleRate;
  }
  if (id == kMenuRateSource) {
    if (menuButton != kIdSaveMp3) s.exportWavRate = 0;
    if (menuButton != kIdSaveWav) s.exportMp3Rate = 0;
    return ExportOptionKind::SampleRate;
  }
  if (Lookup(kMp3Kbps, id, v)) {
    s.bitrateKbps = v;  // the MP3 menu and the bit-rate list are one setting
    return ExportOptionKind::Bitrate;
  }
  if (id == kMenuVideoAac || id == kMenuVideoFlac) {
    s.videoCodecFlac = id == kMenuVideoFlac;
    return ExportOptionKind::Video;
  }
  if (Lookup(kAacKbps, id, v)) {
    s.videoAacKbps = v;
    return ExportOptionKind::Video;
  }
  if (Lookup(kVideoRates, id, v)) {
    s.videoSampleRate = v;
    return ExportOptionKind::Video;
  }
  return ExportOptionKind::None;
}

std::string ExportOptionStatus(ExportOptionKind kind, const SettingsState& s) {
  switch (kind) {
    case ExportOptionKind::BitDepth:
      return "导出位深已更新。当前：WAV 位深 " + DepthText(s.exportBitDepth);
    case ExportOptionKind::SampleRate:
      return "导出采样率已更新。当前：WAV 采样率 " + RateText(s.exportWavRate) + " · MP3 采样率 " +
             RateText(s.exportMp3Rate);
    case ExportOptionKind::Bitrate:
      return Format("导出码率已更新。当前：MP3 码率 %dkbps", s.bitrateKbps);
    case ExportOptionKind::Video:
      return "视频导出参数已更新。当前：音轨 " +
             (s.videoCodecFlac ? std::string("FLAC 无损 24bit") : Format("AAC %dkbps", s.videoAacKbps)) +
             " · 采样率 " + RateText(s.videoSampleRate);
    case ExportOptionKind::None:
      break;
  }
  return {};
}

bool DenoiseLevelItem(int id, bool& selectionLevel, int& level) {
  if (id >= kMenuDenoiseLevelStrong && id < kMenuDenoiseLevelStrong + kDenoiseLevelCount) {
    selectionLevel = false;
    level = id - kMenuDenoiseLevelStrong;
    return true;
  }
  if (id >= kMenuSelDenoiseStrong && id < kMenuSelDenoiseStrong + kDenoiseLevelCount) {
    selectionLevel = true;
    level = id - kMenuSelDenoiseStrong;
    return true;
  }
  return false;
}

}  // namespace vesk::ui
