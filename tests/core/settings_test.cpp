#include <gtest/gtest.h>

#include <functional>

#include "core/settings.h"
#include "core/settings_store.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {
namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kSep(1, char(fs::path::preferred_separator));

std::string Utf16Le(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    uint32_t cp;
    size_t len;
    if (c < 0x80) cp = c, len = 1;
    else if (c < 0xE0) cp = c & 0x1F, len = 2;
    else if (c < 0xF0) cp = c & 0x0F, len = 3;
    else cp = c & 0x07, len = 4;
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += len;
    auto unit = [&out](uint32_t u) { out += char(u & 0xFF), out += char(u >> 8); };
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class SettingsFileTest : public ::testing::Test {
 protected:
  fs::path File() const { return scratch_ / "VeskRecorder.ini"; }
  void WriteFile(const std::string& bytes) { test::WriteBytes(File(), Bytes(bytes)); }
  std::string ReadFile() const { return test::ReadText(File()); }
  // Loads `body` (with all three migrations already done unless asked).
  SettingsState Load(const std::string& body, bool migrated = true) {
    WriteFile(std::string(migrated ? "Def22=1\nDefExp92=1\nDefVid87=1\n" : "") + body);
    store_ = IniStore(File());
    store_.Load();
    SettingsState state;
    LoadSettings(store_, {scratch_ / "docs", scratch_ / "program"}, state);
    return state;
  }

  test::ScratchDir scratch_;
  IniStore store_;
};

struct EncodingCase {
  const char* label;
  std::function<std::string(const std::string&)> encode;
};

class SettingsEncoding : public SettingsFileTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(SettingsEncoding, LoadsAndIsWrittenBackAsUtf8WithMark) {
  const std::string text = "[VeskRecorder]\r\nOutputDir=D:\\录音\\\r\nLastFile=C:\\音频文件夹\\a 𝄞.wav\r\nFormat=1\r\n";
  WriteFile(GetParam().encode(text));
  IniStore store(File());
  store.Load();
  EXPECT_EQ(store.GetString("OutputDir"), "D:\\录音\\");
  EXPECT_EQ(store.GetString("lastfile"), "C:\\音频文件夹\\a 𝄞.wav");
  EXPECT_EQ(store.GetInt("Format", 0), 1);
  store.SetInt("Format", 0);
  EXPECT_EQ(ReadFile(),
            kBom + "[VeskRecorder]\r\nOutputDir=D:\\录音\\\r\nLastFile=C:\\音频文件夹\\a 𝄞.wav\r\nFormat=0\r\n");
}

INSTANTIATE_TEST_SUITE_P(Encodings, SettingsEncoding,
                         ::testing::Values(EncodingCase{"utf16le", Utf16Le},
                                           EncodingCase{"utf8_bom", [](const std::string& s) { return kBom + s; }},
                                           EncodingCase{"utf8_plain", [](const std::string& s) { return s; }}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(SettingsParser, TrimsAndSkipsLinesByTheFileRules) {
  const std::vector<IniPair> pairs = ParseSettingsText(
      "  Format   =   1  \r\n"
      "Format\n"
      "\t[Other]\n; note=1\n# note=2\n"
      " = empty key\n"
      "\r\n"
      "Path=C:\\a=b\\ \t\r\r\n"
      "Last=tail");
  EXPECT_EQ(pairs, (std::vector<IniPair>{{"Format", "1"}, {"Path", "C:\\a=b\\"}, {"Last", "tail"}}));
}

TEST(SettingsParser, SerializedPairsParseBackUnchanged) {
  const std::vector<IniPair> pairs = {{"A", "1"}, {"Unknown", "x = y"}, {"中文键", "值"}};
  const std::string image = SerializeSettings(pairs);
  EXPECT_EQ(image, kBom + "[VeskRecorder]\r\nA=1\r\nUnknown=x = y\r\n中文键=值\r\n");
  EXPECT_EQ(ParseSettingsText(DecodeSettingsBytes(image)), pairs);
}

TEST_F(SettingsFileTest, FirstOfDuplicateKeysIsReadAndUpdatedAndUnknownKeysStay) {
  WriteFile("Format=1\nMystery=42\nformat=5\n");
  IniStore store(File());
  store.Load();
  EXPECT_EQ(store.GetInt("FORMAT", 9), 1);
  store.SetInt("Format", 0);
  store.SetString("NewKey", "v");
  EXPECT_EQ(ReadFile(), kBom + "[VeskRecorder]\r\nFormat=0\r\nMystery=42\r\nformat=5\r\nNewKey=v\r\n");
}

TEST_F(SettingsFileTest, GetIntFallsBackOnlyForMissingOrEmptyValues) {
  store_.LoadFromBytes("Empty=\nText=abc\nSigned= -12x\nHuge=99999999999\n");
  EXPECT_EQ(store_.GetInt("Missing", 7), 7);
  EXPECT_EQ(store_.GetInt("Empty", 7), 7);
  EXPECT_EQ(store_.GetInt("Text", 7), 0);
  EXPECT_EQ(store_.GetInt("Signed", 7), -12);
  EXPECT_EQ(store_.GetInt("Huge", 7), 2147483647);
}

TEST_F(SettingsFileTest, ValuesWithLineBreaksAreRefusedSoNoKeyCanBeInjected) {
  WriteFile("LastFile=a.wav\n");
  IniStore store(File());
  store.Load();
  store.SetString("LastFile", "evil.wav\nFormat=1");
  store.SetString("Bad\nKey", "1");
  store.SetString("Bad=Key", "1");
  EXPECT_EQ(store.GetString("LastFile"), "a.wav");
  EXPECT_EQ(store.Pairs().size(), 1u);
}

TEST_F(SettingsFileTest, MissingEmptyOrOversizedFileGivesDefaults) {
  for (const std::string& bytes : {std::string(), std::string(kSettingsMaxBytes + 1, 'x')}) {
    WriteFile(bytes.empty() ? bytes : "Format=1\n" + bytes);
    IniStore store(File());
    store.Load();
    EXPECT_TRUE(store.Pairs().empty());
  }
  IniStore missing(scratch_ / "none.ini");
  missing.Load();
  EXPECT_TRUE(missing.Loaded());
  EXPECT_TRUE(missing.Pairs().empty());
}

struct RangeCase {
  const char* line;
  std::function<int(const SettingsState&)> field;
  int expected;
};

class SettingsRange : public SettingsFileTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(SettingsRange, OutOfRangeValuesAreReplaced) {
  EXPECT_EQ(GetParam().field(Load(GetParam().line)), GetParam().expected) << GetParam().line;
}

int DenoiseLevel(const SettingsState& s) { return s.denoiseLevel; }
int SelLevel(const SettingsState& s) { return s.selDenoiseLevel; }
int Aac(const SettingsState& s) { return s.videoAacKbps; }
int ExportDepth(const SettingsState& s) { return s.exportBitDepth; }
int VideoRate(const SettingsState& s) { return s.videoSampleRate; }
int Rate(const SettingsState& s) { return s.sampleRate; }
int Pinned(const SettingsState& s) { return s.sampleRatePinned; }
int Bitrate(const SettingsState& s) { return s.bitrateKbps; }
int Channels(const SettingsState& s) { return s.channels; }
int Depth(const SettingsState& s) { return s.bitDepth; }
int WavRate(const SettingsState& s) { return s.exportWavRate; }
int Mp3Rate(const SettingsState& s) { return s.exportMp3Rate; }
int Wav(const SettingsState& s) { return s.formatWav; }
int Flac(const SettingsState& s) { return s.videoCodecFlac; }

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsRange,
    ::testing::Values(RangeCase{"DenoiseLevel=7", DenoiseLevel, 1}, RangeCase{"DenoiseLevel=-3", DenoiseLevel, 1},
                      RangeCase{"DenoiseLevel=2", DenoiseLevel, 2}, RangeCase{"SelDenoiseLevel=0", SelLevel, 0},
                      RangeCase{"SelDenoiseLevel=9", SelLevel, 1}, RangeCase{"VideoAacKbps=200", Aac, 192},
                      RangeCase{"VideoAacKbps=320", Aac, 320}, RangeCase{"ExportBitDepth=20", ExportDepth, 0},
                      RangeCase{"ExportBitDepth=16", ExportDepth, 16}, RangeCase{"", ExportDepth, 24},
                      RangeCase{"VideoSampleRate=44100", VideoRate, 48000},
                      RangeCase{"VideoSampleRate=0", VideoRate, 0}, RangeCase{"SampleRate=96000", Rate, 48000},
                      RangeCase{"SampleRate=96000", Pinned, 1}, RangeCase{"SampleRate=22050", Rate, 0},
                      RangeCase{"SampleRate=22050\nSampleRatePinned=1", Pinned, 0},
                      RangeCase{"SampleRate=44100\nSampleRatePinned=0", Pinned, 0},
                      RangeCase{"SampleRate=44100", Rate, 44100}, RangeCase{"Bitrate=100", Bitrate, 320},
                      RangeCase{"Bitrate=128", Bitrate, 128}, RangeCase{"Channels=1", Channels, 1},
                      RangeCase{"Channels=5", Channels, 2}, RangeCase{"Format=1\nBitDepth=24", Depth, 24},
                      RangeCase{"Format=1\nBitDepth=20", Depth, 16}, RangeCase{"Format=0\nBitDepth=32", Depth, 16},
                      RangeCase{"Format  =  1", Wav, 1}, RangeCase{"Format", Wav, 0},
                      RangeCase{"ExportWavRate=22050", WavRate, 0}, RangeCase{"", WavRate, 48000},
                      RangeCase{"ExportSampleRate=44100", Mp3Rate, 44100},
                      RangeCase{"ExportSampleRate=-1\nExportMp3Rate=96000", Mp3Rate, 96000},
                      RangeCase{"", Flac, 1}));

struct SourceCase {
  const char* lines;
  RecordSource expected;
};

class RecordSourceDerivation : public SettingsFileTest, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(RecordSourceDerivation, FollowsStoredOrOlderKeys) {
  EXPECT_EQ(Load(GetParam().lines).recSource, GetParam().expected) << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RecordSourceDerivation,
    ::testing::Values(SourceCase{"", RecordSource::Microphone},
                      SourceCase{"InEnabled=0\nOutEnabled=1", RecordSource::ComputerSound},
                      SourceCase{"InEnabled=1\nOutEnabled=1", RecordSource::Both},
                      SourceCase{"OutEnabled=1", RecordSource::Both},
                      SourceCase{"RecSource=2\nOutEnabled=0", RecordSource::Both},
                      SourceCase{"RecSource=7\nInEnabled=0\nOutEnabled=1", RecordSource::ComputerSound},
                      SourceCase{"InDevice=@none", RecordSource::ComputerSound},
                      SourceCase{"InDevice=@none\nRecSource=2", RecordSource::Both}));

TEST_F(SettingsFileTest, DeviceIdsFollowTheChosenFlags) {
  SettingsState s = Load("InDevice={0.0.1}.{abc}\nInDeviceName=麦克风\nInChosen=0\nOutDevice=-\nOutDeviceName=扬声器");
  EXPECT_EQ(s.inDevice, "");
  EXPECT_EQ(s.inDeviceName, "");
  EXPECT_EQ(s.outDevice, "");
  EXPECT_EQ(s.outDeviceName, "");
  s = Load("InDevice=alsa_input.usb\nInDeviceName=麦克风\nInChosen=1\nOutDevice=sink.monitor\nOutChosen=-1");
  EXPECT_EQ(s.inDevice, "alsa_input.usb");
  EXPECT_EQ(s.inDeviceName, "麦克风");
  EXPECT_EQ(s.outDevice, "sink.monitor");
}

TEST_F(SettingsFileTest, FoldersGetDefaultsTrailingSeparatorsAndExistenceChecks) {
  fs::create_directories(scratch_ / "open");
  fs::create_directories(scratch_ / "save");
  SettingsState s = Load("OpenDir=" + PathToUtf8(scratch_ / "open") + "\nLastSaveDir=" +
                         PathToUtf8(scratch_ / "save"));
  EXPECT_EQ(PathToUtf8(s.outputDir), PathToUtf8(scratch_ / "docs" / PathFromUtf8("VESK录音")) + kSep);
  EXPECT_TRUE(fs::is_directory(scratch_ / "docs" / PathFromUtf8("VESK录音")));
  EXPECT_EQ(s.openDir, scratch_ / "open");
  EXPECT_EQ(PathToUtf8(s.lastSaveDir), PathToUtf8(scratch_ / "save") + kSep);

  s = Load("OutputDir=" + PathToUtf8(scratch_ / "out") + "\nOpenDir=" + PathToUtf8(scratch_ / "gone") +
           "\nLastSaveDir=" + PathToUtf8(scratch_ / "gone"));
  EXPECT_EQ(PathToUtf8(s.outputDir), PathToUtf8(scratch_ / "out") + kSep);
  EXPECT_TRUE(fs::is_directory(scratch_ / "out"));
  EXPECT_TRUE(s.openDir.empty());
  EXPECT_TRUE(s.lastSaveDir.empty());

  // Without a documents folder the program folder stands in.
  WriteFile("");
  IniStore store(File());
  store.Load();
  LoadSettings(store, {fs::path(), scratch_ / "program"}, s);
  EXPECT_EQ(PathToUtf8(s.outputDir), PathToUtf8(scratch_ / "program" / PathFromUtf8("VESK录音")) + kSep);
}

struct MigrationCase {
  const char* label;
  const char* lines;
  std::function<bool(const SettingsState&)> migrated;
  const char* flag;
};

class Migration : public SettingsFileTest, public ::testing::WithParamInterface<MigrationCase> {};

TEST_P(Migration, RunsOnceAndWritesItsFlag) {
  const SettingsState first = Load(GetParam().lines, false);
  EXPECT_TRUE(GetParam().migrated(first));
  EXPECT_EQ(store_.GetInt(GetParam().flag, 0), 1);
  EXPECT_NE(ReadFile().find(std::string(GetParam().flag) + "=1\r\n"), std::string::npos);
  // With the flag set the same values are the user's own choice and stay.
  const SettingsState again = Load(std::string(GetParam().lines) + "\n" + GetParam().flag + "=1", false);
  EXPECT_FALSE(GetParam().migrated(again));
}

INSTANTIATE_TEST_SUITE_P(
    Flags, Migration,
    ::testing::Values(
        MigrationCase{"Def22", "Format=1\nSampleRate=48000\nSampleRatePinned=1\nBitDepth=24",
                      [](const SettingsState& s) {
                        return !s.formatWav && s.sampleRate == 0 && !s.sampleRatePinned && s.bitDepth == 16;
                      },
                      "Def22"},
        MigrationCase{"DefExp92", "ExportWavRate=0\nExportMp3Rate=0\nExportBitDepth=0",
                      [](const SettingsState& s) {
                        return s.exportWavRate == 48000 && s.exportMp3Rate == 48000 && s.exportBitDepth == 24;
                      },
                      "DefExp92"},
        MigrationCase{"DefVid87", "VideoCodecFlac=0\nVideoSampleRate=0",
                      [](const SettingsState& s) { return s.videoCodecFlac && s.videoSampleRate == 48000; },
                      "DefVid87"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SettingsFileTest, UsersLaterAacChoiceSurvivesRestarts) {
  SettingsState s = Load("VideoCodecFlac=0\nVideoSampleRate=0", false);
  EXPECT_TRUE(s.videoCodecFlac);
  s.videoCodecFlac = false;
  s.videoSampleRate = 0;
  SaveSettings(store_, s, std::nullopt, std::nullopt);
  IniStore reloaded(File());
  reloaded.Load();
  SettingsState after;
  LoadSettings(reloaded, {scratch_ / "docs", scratch_ / "program"}, after);
  EXPECT_FALSE(after.videoCodecFlac);
  EXPECT_EQ(after.videoSampleRate, 0);
}

TEST_F(SettingsFileTest, SaveWritesEveryKeyInOrderAndReloadsTheSameState) {
  SettingsState s;
  s.outputDir = PathFromUtf8("D:\\录音\\");
  s.formatWav = true;
  s.bitDepth = 24;
  s.sampleRate = 44100;
  s.sampleRatePinned = true;
  s.recSource = RecordSource::Both;
  s.inDevice = "mic-id";
  s.inDeviceName = "麦克风";
  s.denoiseLevel = 2;
  s.denoiseIsolated = 1;
  s.loudnessPreset = 3;
  s.loudnessCustomLufs = -19.5;
  s.loudnessCustomCeiling = -2.0;
  s.lastFile = "录音 1.wav";
  IniStore store(File());
  store.LoadFromBytes("Zeta=keep\n");
  SaveSettings(store, s, WindowRect{10, 20, 650, 400}, MainWindowPlacement{{-1920, -8, -100, 1040}, true});
  EXPECT_EQ(ReadFile(), kBom +
                            "[VeskRecorder]\r\nZeta=keep\r\nOutputDir=D:\\录音\\\r\nOpenDir=\r\nLastSaveDir=\r\n"
                            "Denoise=0\r\nDenoiseLevel=2\r\nSelDenoiseLevel=1\r\nDenoiseBuiltin=0\r\nDenoiseIsolated=1\r\n"
                            "LoudnessPreset=3\r\nLoudnessCustomLufs10=-195\r\nLoudnessCeiling10=-20\r\n"
                            "ExportWavRate=48000\r\nExportMp3Rate=48000\r\nExportBitDepth=24\r\nVideoCodecFlac=1\r\nVideoAacKbps=192\r\n"
                            "VideoSampleRate=48000\r\nDefVid87=1\r\nDefExp92=1\r\nFfmpegPath=\r\nChannels=2\r\n"
                            "Format=1\r\nSampleRate=44100\r\nSampleRatePinned=1\r\nBitDepth=24\r\nDef22=1\r\n"
                            "LastFile=录音 1.wav\r\nRecSource=2\r\nInEnabled=1\r\nOutEnabled=1\r\nInChosen=1\r\n"
                            "OutChosen=0\r\nInDevice=mic-id\r\nOutDevice=\r\nInDeviceName=麦克风\r\n"
                            "OutDeviceName=\r\nPreviewRect=10,20,650,400\r\nMainRect=-1920,-8,-100,1040\r\n"
                            "MainMaxed=1\r\nMainRectV=2\r\n");
  // Only the settings file is left in the folder: no temporary files.
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 1);

  IniStore reloaded(File());
  reloaded.Load();
  SettingsState back;
  LoadSettings(reloaded, {scratch_ / "docs", scratch_ / "program"}, back);
  EXPECT_EQ(back.recSource, RecordSource::Both);
  EXPECT_EQ(back.sampleRate, 44100);
  EXPECT_TRUE(back.sampleRatePinned);
  EXPECT_EQ(back.bitDepth, 24);
  EXPECT_EQ(back.inDeviceName, "麦克风");
  EXPECT_EQ(back.loudnessPreset, 3);
  EXPECT_DOUBLE_EQ(back.loudnessCustomLufs, -19.5);
  EXPECT_DOUBLE_EQ(back.loudnessCustomCeiling, -2.0);
  EXPECT_EQ(back.denoiseIsolated, 1);
  EXPECT_TRUE(back.mainMaxed);
  WindowRect main;
  ASSERT_TRUE(ParseWindowRect(reloaded.GetString("MainRect"), main));
  EXPECT_EQ(main, (WindowRect{-1920, -8, -100, 1040}));
}

TEST_F(SettingsFileTest, MpThreeBitrateIsWrittenOnlyForMpThree) {
  SettingsState s;
  s.bitrateKbps = 192;
  IniStore store(File());
  SaveSettings(store, s, std::nullopt, std::nullopt);
  EXPECT_NE(ReadFile().find("Format=0\r\nBitrate=192\r\nSampleRate=0\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile().find("MainRect"), std::string::npos);
}

TEST_F(SettingsFileTest, FailedReplaceKeepsTheOldFileAndLeavesNoTemporaryFile) {
  // A non-empty folder where the file should be: the final rename fails.
  fs::create_directories(File() / "inner");
  IniStore store(File());
  store.SetString("Format", "1");
  EXPECT_FALSE(store.Save());
  EXPECT_TRUE(fs::is_directory(File() / "inner"));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 1);
}

struct RectCase {
  const char* text;
  bool ok;
  WindowRect rect;
};

class RectParsing : public ::testing::TestWithParam<RectCase> {};

TEST_P(RectParsing, ReadsFourSignedNumbers) {
  WindowRect r;
  EXPECT_EQ(ParseWindowRect(GetParam().text, r), GetParam().ok) << GetParam().text;
  if (GetParam().ok) {
    EXPECT_EQ(r, GetParam().rect);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, RectParsing,
                         ::testing::Values(RectCase{"10,20,30,40", true, {10, 20, 30, 40}},
                                           RectCase{"-1920,-8,-100,1040", true, {-1920, -8, -100, 1040}},
                                           RectCase{" 1, 2 ,+3,4", true, {1, 2, 3, 4}},
                                           RectCase{"1,2,3,4,5", true, {1, 2, 3, 4}},
                                           RectCase{"1,2,3", false, {}}, RectCase{"1,2,x,4", false, {}},
                                           RectCase{"1,2,-,4", false, {}}, RectCase{"", false, {}},
                                           RectCase{"-1000000,0,1000000,5", true, {-1000000, 0, 1000000, 5}},
                                           // Far-out values would overflow the size checks.
                                           RectCase{"23977777640,-8,-100,10800", false, {}},
                                           RectCase{"0,0,1000001,5", false, {}}));

// A frame like Windows 10's at 100 %: 8-pixel borders, 31-pixel caption.
ScreenMetrics Screen(unsigned dpi, int vLeft, int vTop, int vWidth, int vHeight) {
  ScreenMetrics m;
  m.dpi = dpi;
  m.primaryWidth = 1920;
  m.primaryHeight = 1080;
  m.virtualLeft = vLeft;
  m.virtualTop = vTop;
  m.virtualWidth = vWidth;
  m.virtualHeight = vHeight;
  m.adjustFrame = [](const WindowRect& c) { return WindowRect{c.left - 8, c.top - 31, c.right + 8, c.bottom + 8}; };
  return m;
}

struct MainRectCase {
  const char* label;
  const char* lines;
  ScreenMetrics screen;
  std::optional<WindowRect> expected;
};

class MainRectCheck : public ::testing::TestWithParam<MainRectCase> {};

TEST_P(MainRectCheck, UsesOnlyRectanglesThatFitTheScreen) {
  IniStore store;
  store.LoadFromBytes(GetParam().lines);
  EXPECT_EQ(LoadMainRect(store, GetParam().screen), GetParam().expected);
}

// Minimum frame at 96 DPI: 766 × 642 (750 + 16, 600 + 8 + 34).
INSTANTIATE_TEST_SUITE_P(
    Rects, MainRectCheck,
    ::testing::Values(
        MainRectCase{"fits", "MainRect=100,100,1000,800\nMainRectV=2", Screen(96, 0, 0, 1920, 1080),
                     WindowRect{100, 100, 1000, 800}},
        MainRectCase{"too_small", "MainRect=100,100,200,200\nMainRectV=2", Screen(96, 0, 0, 1920, 1080),
                     std::nullopt},
        MainRectCase{"exact_minimum", "MainRect=0,0,766,642\nMainRectV=2", Screen(96, 0, 0, 1920, 1080),
                     WindowRect{0, 0, 766, 642}},
        MainRectCase{"minimum_grows_with_dpi", "MainRect=0,0,766,642\nMainRectV=2", Screen(144, 0, 0, 1920, 1080),
                     std::nullopt},
        MainRectCase{"off_screen", "MainRect=3000,0,4000,1000\nMainRectV=2", Screen(96, 0, 0, 1920, 1080),
                     std::nullopt},
        MainRectCase{"left_monitor", "MainRect=-1900,10,-900,800\nMainRectV=2",
                     Screen(96, -1920, 0, 3840, 1080), WindowRect{-1900, 10, -900, 800}},
        MainRectCase{"no_virtual_screen", "MainRect=0,0,1000,800\nMainRectV=2", Screen(96, 0, 0, 0, 0),
                     std::nullopt},
        MainRectCase{"old_version_keeps_position", "MainRect=-50,100,200,200",
                     Screen(96, -1920, 0, 3840, 1080), WindowRect{-50, 100, -50 + 816, 100 + 642}},
        MainRectCase{"three_numbers", "MainRect=0,0,1000\nMainRectV=2", Screen(96, 0, 0, 1920, 1080),
                     std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PreviewRectCheck, NeedsMinimumSizeAndAPlaceOnThePrimaryScreen) {
  const ScreenMetrics screen = Screen(96, 0, 0, 1920, 1080);
  auto load = [&](const std::string& value) {
    IniStore store;
    store.LoadFromBytes("PreviewRect=" + value);
    return LoadPreviewRect(store, screen);
  };
  EXPECT_EQ(load("100,100,260,190"), (WindowRect{100, 100, 260, 190}));
  EXPECT_EQ(load("100,100,259,190"), std::nullopt);
  EXPECT_EQ(load("100,100,260,189"), std::nullopt);
  EXPECT_EQ(load("1800,1000,2400,1400"), (WindowRect{1800, 1000, 1920, 1080}));
  EXPECT_EQ(load("1920,100,2400,400"), std::nullopt);
  EXPECT_EQ(load("-600,100,-10,400"), std::nullopt);
}

TEST(MulDivRound, RoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDivRound(34, 120, 96), 43);  // 42.5
  EXPECT_EQ(MulDivRound(-34, 120, 96), -43);
  EXPECT_EQ(MulDivRound(750, 144, 96), 1125);
  EXPECT_EQ(MulDivRound(1, 1, 0), -1);
}

}  // namespace
}  // namespace vesk
