// The built program's --selftest against a private PulseAudio daemon whose
// microphone hears a tone: the whole run, then a muted microphone with an
// out-of-range --dev, then a server without any endpoint. The program is
// copied into a scratch folder, so the report and the scratch files land
// next to it; the helper copy it writes out goes to a scratch data folder.
#include <gtest/gtest.h>

#include <regex>

#include "audio/linux/pulse_fixture.h"
#include "core/log_fixture.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

class SelfTestMode : public test::PulseTest {
 protected:
  void SetUp() override {
    test::PulseTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    program_ = dir_ / "VeskRecorder";
    fs::copy_file(test::BuiltProgramDir() / "VeskRecorder", program_);
  }

  // Runs the self-test; returns the report without its byte-order mark,
  // checking the mark, the CR LF line ends and the exit code.
  std::string Run(const std::vector<std::string>& args, int expectedExit) {
    const test::RunResult r = test::RunProgram(program_, args);
    EXPECT_EQ(r.exitCode, expectedExit) << r.output;
    std::string report = test::ReadText(dir_ / "selftest-report.txt");
    EXPECT_EQ(report.substr(0, 3), "\xEF\xBB\xBF");
    report.erase(0, 3);
    EXPECT_FALSE(std::regex_search(report, std::regex("[^\r]\n"))) << "a line ends without CR";
    EXPECT_TRUE(report.ends_with("\r\n"));
    return report;
  }

  static std::vector<std::string> Headings(const std::string& report) {
    std::vector<std::string> found;
    const std::regex heading("\r\n(\\[\\d+\\])");
    for (auto it = std::sregex_iterator(report.begin(), report.end(), heading); it != std::sregex_iterator(); ++it)
      found.push_back((*it)[1]);
    return found;
  }

  static size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
  }

  test::ScratchDir dir_;
  test::EnvOverride dataHome_{"XDG_DATA_HOME", PathToUtf8(dir_ / "data")};
  fs::path program_;
};

TEST_F(SelfTestMode, PassesWithAToneSaysSoWhenSilentAndStopsWithoutDevices) {
  const std::string full = Run({"--selftest", "2"}, 0);
  EXPECT_TRUE(full.starts_with("VeskRecorder 录音机 —— 主链路自检报告\r\n=====================================\r\n"));
  EXPECT_TRUE(full.ends_with("\r\n=====================================\r\n结论：全部通过。\r\n")) << full;
  EXPECT_EQ(Headings(full), (std::vector<std::string>{"[1]", "[2]", "[3]", "[4]", "[5]", "[6]", "[7]", "[20]", "[21]",
                                                      "[22]", "[23]", "[24]", "[25]", "[26]", "[12]", "[13]",
                                                      "[14]", "[15]", "[16]", "[17]", "[18]"}));
  // Check lines are indented four spaces; nothing failed.
  EXPECT_FALSE(std::regex_search(full, std::regex("\r\n(?!    )[^\r]* … (OK|不合格)\r\n")));
  EXPECT_EQ(Count(full, "不合格"), 0u) << full;
  EXPECT_NE(full.find("    [0] Microphone [默认]\r\n    [1] Speakers [默认]  (回环)\r\n    [2] Headphones  (回环)\r\n"),
            std::string::npos);
  EXPECT_NE(full.find("[3] 用设备 [0] Microphone 采集 2 秒并编码成 MP3 …"), std::string::npos);
  // The 440 Hz tone at half scale: −6 dB peak, −9 dB RMS on both channels.
  EXPECT_EQ(Count(full, "    实测电平：峰值 L -6.0 dB / R -6.0 dB，RMS L -9.0 dB / R -9.0 dB\r\n"
                        "    → 有信号，电平表这条路是通的。\r\n"),
            2u);
  for (const char* scratch : {"selftest-out.mp3", "selftest-out.wav", "selftest-edit.mp3", "selftest-seg_01.wav",
                              "selftest-crash.wav", "selftest-bits24.wav"})
    EXPECT_TRUE(fs::exists(dir_ / scratch)) << scratch;
  EXPECT_TRUE(fs::exists(dir_ / "data" / "VeskRecorder" / "VeskDenoise32"));  // written out from the embedded copy

  ASSERT_EQ(test::Shell("pactl set-source-mute Microphone 1"), 0);
  const std::string silent = Run({"--selftest", "1", "--dev", "99"}, 0);
  EXPECT_NE(silent.find("\r\n    --dev 99 超范围（共 3 个），改回自动挑。\r\n\r\n[3] 用设备 [0] Microphone 采集 1 秒"),
            std::string::npos);
  EXPECT_EQ(Count(silent, "    → 整个采集期都是静音。设备通着，但这路输入当下没有信号。\r\n"
                          "      要验「录得到声音」，请让这路真的出声（放音乐 / 说话 / 选回环设备）再跑一次。\r\n"),
            2u);
  EXPECT_NE(silent.find("头四字节 52 49 46 46（应为 52 49 46 46） … OK"), std::string::npos);

  for (int* module : {&daemon_->MicrophoneModule(), &daemon_->SpeakersModule(), &daemon_->HeadphonesModule()})
    ASSERT_TRUE(daemon_->Unload(*module));
  const std::string none = Run({"--selftest"}, 1);
  EXPECT_TRUE(none.ends_with("\r\n\r\n[2] 枚举到输入源 0 个：\r\n"
                             "    → 没有任何可录音的端点。请检查 设置→系统→声音→输入。\r\n"
                             "=====================================\r\n"
                             "结论：设备层就没通过，后面的录音测试跳过。\r\n"))
      << none;
}

}  // namespace
}  // namespace vesk
