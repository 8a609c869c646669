#include "app/self_test_report.h"

#include <cinttypes>
#include <cmath>

#include "platform/file.h"
#include "platform/text.h"

namespace vesk {

void SelfTestReport::Line(const std::string& text) {
  text_ += text;
  text_ += "\r\n";
}

void SelfTestReport::Section(const std::string& heading) {
  Line("");
  Line(heading);
}

bool SelfTestReport::Check(const std::string& description, bool ok, const std::string& failText) {
  Line("    " + description + " … " + (ok ? std::string("OK") : failText));
  if (!ok) ++failures_;
  return ok;
}

bool SelfTestReport::Row(const std::string& caseText, int64_t got, int64_t expected) {
  return Check(Format("%s：得 %" PRId64 "，应为 %" PRId64, caseText.c_str(), got, expected), got == expected);
}

void SelfTestReport::Why(const std::string& text) { Line("    → " + text); }
void SelfTestReport::Why2(const std::string& text) { Line("      → " + text); }

void SelfTestReport::Conclude() {
  Line("=====================================");
  if (failures_ == 0)
    Line("结论：全部通过。");
  else
    Line(Format("结论：有 %d 项未通过，见上面标 → 的行。", failures_));
}

bool SelfTestReport::Write(const std::filesystem::path& path) const {
  File file;
  if (!file.OpenWrite(path)) return false;
  static const char kBom[] = "\xEF\xBB\xBF";
  return file.Write(kBom, 3) && file.Write(text_.data(), text_.size());
}

double ReportDb(double value) { return value > 1e-7 ? 20.0 * std::log10(value) : -120.0; }

}  // namespace vesk
