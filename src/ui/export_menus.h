#pragma once
// The drop-down menus of the split buttons: the export options of the WAV,
// MP3 and video saves and the two denoise levels. Pure functions over the
// settings, so the windows only show what comes back and the rules are
// tested without a screen.
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/view_port.h"

namespace vesk::ui {

// The menu of split button `buttonId` (save WAV, save MP3, save video,
// denoise, selection denoise) with the current choices checked; empty for
// any other id. `ffmpegFound` hides the item that picks the program.
std::vector<MenuItem> SplitButtonMenu(int buttonId, const SettingsState& settings, bool ffmpegFound);

// The denoise menu's tail: the engine choice ("引擎：内置降噪", and the found
// plug-in's name when there is one), "在独立进程里运行插件（更稳）" when
// `isolated` is 0 or 1 (its check mark; -1 leaves it out) and
// "把选区设为噪声样本".
void AppendDenoiseEngineItems(std::vector<MenuItem>& menu, bool builtinAvailable, bool builtinChosen,
                              const std::string& pluginName, int isolated = -1);

// Which group of export options an item changed.
enum class ExportOptionKind { None, BitDepth, SampleRate, Bitrate, Video };

// Applies an export-option item to `settings`. The "follow the source" rate
// item is shared by the WAV and the MP3 menu: `menuButton` tells which menu
// it came from (any other value changes both). None for ids that are not
// export options.
ExportOptionKind ApplyExportOption(int id, int menuButton, SettingsState& settings);

// "导出位深已更新。当前：" (and the rate, bit-rate and video forms) followed
// by the one-line summary of that group.
std::string ExportOptionStatus(ExportOptionKind kind, const SettingsState& settings);

// A denoise level item: whether it is one, which level setting it sets
// (the selection's or the whole clip's) and the level (0 strongest).
bool DenoiseLevelItem(int id, bool& selectionLevel, int& level);

// "激进（降噪更深）", "均衡（默认力度）", "轻柔（降噪更浅）".
const char* DenoiseLevelMenuText(int level);

}  // namespace vesk::ui
