// The built VeskRecorder.exe --selftest under Wine, against the private
// PulseAudio daemon of scripts/wine-audio-check.sh (scripts/run-tests.sh runs
// the Windows test program inside it): Wine has no MP3 encoder, so [1] fails
// with its explanation, the MP3 steps fail saying so, everything else runs
// on and passes, and the exit code is 1.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

TEST(SelfTestUnderWine, Mp3PartsFailWithTheirReasonsTheRestPassesExitOne) {
  if (!UnderWine()) GTEST_SKIP() << "Windows proper has an MP3 encoder";
  if (std::getenv("PULSE_SERVER") == nullptr) VESK_MISSING_PART("no sound server given (PULSE_SERVER)");
  test::ScratchDir dir;
  const auto program = test::CopyBuiltProgram("VeskRecorder", dir.path());
  const test::RunResult run = test::RunProgram(program, {"--selftest", "2"});
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 1) << run.output;

  std::string report = test::ReadText(dir / "selftest-report.txt");
  ASSERT_EQ(report.substr(0, 3), "\xEF\xBB\xBF");
  report.erase(0, 3);
  EXPECT_FALSE(std::regex_search(report, std::regex("[^\r]\n"))) << "a line ends without CR";
  EXPECT_TRUE(report.starts_with("VeskRecorder 录音机 —— 主链路自检报告\r\n=====================================\r\n"));

  // Every section ran, in order, although the first one failed.
  std::vector<std::string> headings;
  const std::regex heading("\r\n\r\n(\\[\\d+\\])");
  for (auto it = std::sregex_iterator(report.begin(), report.end(), heading); it != std::sregex_iterator(); ++it)
    headings.push_back((*it)[1]);
  EXPECT_EQ(headings, (std::vector<std::string>{"[1]", "[2]", "[3]", "[4]", "[5]", "[6]", "[7]", "[20]", "[21]",
                                                "[22]", "[23]", "[24]", "[25]", "[26]", "[12]", "[13]", "[14]",
                                                "[15]", "[16]", "[17]", "[18]"}));
  EXPECT_NE(report.find("\r\n[1] 系统 MP3 编码器：不可用\r\n"
                        "    → 说明：本机 Windows 媒体基础里没有 MP3 编码器 MFT。\r\n"
                        "      程序仍可用 WAV 录制；MP3 相关按钮会拒绝并给出提示。\r\n"),
            std::string::npos)
      << report;

  // The devices: the daemon's microphone is the default input and hears the
  // 440 Hz tone at half scale; the WAV capture passes.
  EXPECT_NE(report.find(" [默认]\r\n"), std::string::npos);
  EXPECT_NE(report.find("（想指定某一个，加参数：--selftest 3 --dev 序号）"), std::string::npos);
  const size_t wav = report.find("\r\n[4] 同一设备采集 2 秒并存成 WAV …\r\n");
  ASSERT_NE(wav, std::string::npos);
  const std::string section4 = report.substr(wav, report.find("\r\n\r\n[5]", wav) - wav);
  EXPECT_NE(section4.find("头四字节 52 49 46 46（应为 52 49 46 46） … OK"), std::string::npos) << section4;
  EXPECT_NE(section4.find("    实测电平：峰值 L -6.0 dB / R -6.0 dB，RMS L -9.0 dB / R -9.0 dB\r\n"
                          "    → 有信号，电平表这条路是通的。"),
            std::string::npos)
      << section4;
  EXPECT_NE(report.find("selftest-out.wav → 48000 Hz / 2 声道 / "), std::string::npos);

  // Each failed check line is about MP3 (itself or its explanation); the
  // conclusion counts them and [1].
  const std::vector<std::string> lines = Lines(report);
  int failed = 1;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].ends_with(" … 不合格")) continue;
    ++failed;
    const std::string about = AsciiLower(lines[i] + (i + 1 < lines.size() ? lines[i + 1] : ""));
    EXPECT_NE(about.find("mp3"), std::string::npos) << lines[i];
    EXPECT_TRUE(i + 1 < lines.size() && lines[i + 1].starts_with("    → ")) << "no reason after: " << lines[i];
  }
  EXPECT_GE(failed, 3);
  std::ostringstream end;
  end << "\r\n=====================================\r\n结论：有 " << failed << " 项未通过，见上面标 → 的行。\r\n";
  EXPECT_TRUE(report.ends_with(end.str())) << report.substr(report.size() > 300 ? report.size() - 300 : 0);
}

}  // namespace
}  // namespace vesk
