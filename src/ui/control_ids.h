#pragma once
// Command identifiers of the main window's controls and menu items. The
// numbers are part of the window's contract (the layout dump lists them, the
// Windows window routes WM_COMMAND by them), so they never change.
namespace vesk::ui {

enum ControlId : int {
  kIdNone = 0,
  kIdCaptureDevice = 1001,
  kIdRecordSource = 1002,  // 麦克风 / 电脑声音 / 麦克风和电脑声音, right of the record button
  kIdChannels = 1003,
  kIdFormat = 1004,
  kIdBitrate = 1005,
  kIdOutputDir = 1006,
  kIdChangeDir = 1007,
  kIdRecord = 1008,
  kIdOpenLocation = 1009,
  kIdOpenMedia = 1010,
  kIdPlay = 1011,
  kIdSaveWav = 1012,
  kIdSaveMp3 = 1013,
  kIdUndo = 1014,
  kIdTrim = 1015,
  kIdDelete = 1016,
  kIdSilence = 1017,
  kIdSelectAll = 1018,
  kIdPause = 1020,
  kIdRenderDevice = 1021,
  kIdSoundSettings = 1022,
  kIdHome = 1026,
  kIdSampleRate = 1027,
  kIdBitDepth = 1028,
  kIdWebSite = 1029,
  kIdDonate = 1030,
  kIdDenoise = 1031,
  kIdDenoiseSelection = 1032,
  kIdSaveVideo = 1056,
  kIdPreview = 1068,
  kIdRedo = 1069,
  kIdLoudness = 1074,  // 响度标准化 (split button: presets, custom target, gain, fades, hum)
};

// Items of the split-button and context menus.
enum MenuId : int {
  kMenuDenoiseLevelStrong = 1033,  // export level 0 "激进（降噪更深）"
  kMenuDenoiseLevelNormal = 1034,
  kMenuDenoiseLevelGentle = 1035,
  kMenuWavBits16 = 1036,
  kMenuWavBits24 = 1037,
  kMenuWavBits32 = 1038,
  kMenuWavRate44100 = 1039,
  kMenuWavRate48000 = 1040,
  kMenuMp3Kbps128 = 1041,
  kMenuMp3Kbps192 = 1042,
  kMenuMp3Kbps256 = 1043,
  kMenuMp3Kbps320 = 1044,
  kMenuMp3Rate44100 = 1045,
  kMenuMp3Rate48000 = 1046,
  kMenuSelDenoiseStrong = 1047,
  kMenuSelDenoiseNormal = 1048,
  kMenuSelDenoiseGentle = 1049,
  kMenuWavBitsSource = 1053,
  kMenuRateSource = 1054,  // WAV and MP3 menus: "采样率：跟源文件"
  kMenuWavRate96000 = 1055,
  kMenuVideoAac = 1057,
  kMenuVideoFlac = 1058,
  kMenuVideoAac128 = 1059,
  kMenuVideoAac192 = 1060,
  kMenuVideoAac256 = 1061,
  kMenuVideoAac320 = 1062,
  kMenuVideoRateSource = 1063,
  kMenuVideoRate48000 = 1064,
  kMenuVideoRate96000 = 1065,
  kMenuPickFfmpeg = 1066,
  kMenuDenoiseEngineBuiltin = 1070,  // "引擎：内置降噪"
  kMenuDenoiseEnginePlugin = 1071,   // "引擎：<plug-in name>"
  kMenuNoiseSample = 1072,           // "把选区设为噪声样本"
  kMenuDenoiseIsolated = 1073,       // "在独立进程里运行插件（更稳）"
  kMenuLoudnessWeb = 1075,
  kMenuLoudnessPodcast = 1076,
  kMenuLoudnessBroadcast = 1077,
  kMenuLoudnessCustom = 1078,  // "自定义目标（…）…"
  kMenuGain = 1079,            // "音量…"
  kMenuFadeIn = 1080,
  kMenuFadeOut = 1081,
  kMenuHumRemoval = 1082,      // "去除交流哼声"
  kMenuOpenLogFolder = 1101,
  kMenuExportDiagnostics = 1102,
};

}  // namespace vesk::ui
