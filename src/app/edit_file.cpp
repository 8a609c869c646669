#include "app/edit_file.h"

#include <cmath>

#include "core/settings.h"
#include "doc/save_naming.h"
#include "media/mp3_encoder.h"
#include "platform/text.h"

namespace vesk {

namespace {

// Digits with an optional decimal part; no sign, no exponent.
bool ParseSeconds(std::string_view text, double& seconds) {
  size_t digits = 0, intDigits = 0;
  double value = 0, scale = 1;
  bool point = false;
  for (const char ch : text) {
    if (ch == '.' && !point) {
      point = true;
    } else if (ch >= '0' && ch <= '9') {
      ++digits;
      if (point) {
        scale /= 10;
        value += (ch - '0') * scale;
      } else {
        if (++intDigits > 9) return false;  // more than 30 years of audio
        value = value * 10 + (ch - '0');
      }
    } else {
      return false;
    }
  }
  seconds = value;
  return digits > 0;
}

const char* StepName(EditOp op) {
  switch (op) {
    case EditOp::Delete: return "--delete";
    case EditOp::Silence: return "--silence";
    case EditOp::Trim: return "--trim";
  }
  return "";
}

}  // namespace

bool ParseEditRange(const std::string& text, uint32_t rate, uint64_t& first, uint64_t& last) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos || rate == 0) return false;
  double a = 0, b = 0;
  if (!ParseSeconds(std::string_view(text).substr(0, dash), a) ||
      !ParseSeconds(std::string_view(text).substr(dash + 1), b) || !(a < b))
    return false;
  first = uint64_t(std::llround(a * rate));
  last = uint64_t(std::llround(b * rate));
  return first < last;
}

bool ApplyEditSteps(AudioDoc& doc, const std::vector<EditStep>& steps, std::string& error) {
  const uint32_t rate = doc.Format().sampleRate;
  for (const EditStep& step : steps) {
    uint64_t a = 0, b = 0;
    if (!ParseEditRange(step.range, rate, a, b)) {
      error = Format("%s 的时间范围“%s”写得不对：应为 起点-终点（秒，起点小于终点），例如 1.5-3。", StepName(step.op),
                     step.range.c_str());
      return false;
    }
    if (b > doc.Frames()) {
      error = Format("%s 的时间范围“%s”超出了音频的长度（%.3f 秒）。", StepName(step.op), step.range.c_str(),
                     doc.DurationSeconds());
      return false;
    }
    doc.SetSelection(a, b);
    std::string warning;  // an edit too big to undo is still made
    bool done = false;
    switch (step.op) {
      case EditOp::Delete: done = doc.DeleteSelection(warning); break;
      case EditOp::Silence: done = doc.SilenceSelection(warning); break;
      case EditOp::Trim: done = doc.TrimToSelection(warning); break;
    }
    if (!done) {
      error = warning;
      return false;
    }
  }
  return true;
}

bool EditFile(const std::filesystem::path& input, const std::filesystem::path& output,
              const std::vector<EditStep>& steps, AudioDoc& doc, std::string& error) {
  if (input.empty()) {
    error = "没有给出要编辑的文件（--edit <输入> <输出>）。";
    return false;
  }
  if (output.empty()) {
    error = "没有给出输出文件（--edit <输入> <输出>）。";
    return false;
  }
  const std::string extension = AsciiLower(PathToUtf8(output.extension()));
  const bool mp3 = extension == ".mp3";
  if (!mp3 && extension != ".wav") {
    error = "输出文件名须以 .wav 或 .mp3 结尾。";
    return false;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(input, ec)) {
    error = "找不到输入文件：" + PathToUtf8(input);
    return false;
  }
  if (std::filesystem::equivalent(input, output, ec) && !ec) {
    error = "输出文件不能就是输入文件，没有写出文件。";
    return false;
  }
  if (mp3 && !Mp3EncoderAvailable()) {
    error = "系统没有可用的 MP3 编码器，无法导出 MP3。可以导出 WAV。";
    return false;
  }
  if (!doc.Load(input, error) || !ApplyEditSteps(doc, steps, error)) return false;
  AudioFormat requested = doc.Format();
  requested.bits = uint16_t(mp3 ? 16 : WavExportBits(0, doc.SourceBits()));
  return doc.Save(output, mp3, uint32_t(SettingsState{}.bitrateKbps), error, &requested);
}

}  // namespace vesk
