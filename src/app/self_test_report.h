#pragma once
// The self-test's report, built in memory: one line per call, CR LF line
// ends, check lines indented four spaces and ending "… OK" or "… 不合格",
// explanations starting "    → " (a second-level reason "      → "). Every
// failed check adds one to the failure count.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vesk {

class SelfTestReport {
 public:
  // One line (a line may carry its own "\r\n" continuation lines).
  void Line(const std::string& text);
  // An empty line, then the section's heading ("[n] …").
  void Section(const std::string& heading);
  // "    " + description + " … OK" / " … 不合格" (or the given failure text);
  // returns ok.
  bool Check(const std::string& description, bool ok, const std::string& failText = "不合格");
  // A row of a rule table: case text, computed and expected value.
  bool Row(const std::string& caseText, int64_t got, int64_t expected);
  // "    → " + text, and "      → " + text.
  void Why(const std::string& text);
  void Why2(const std::string& text);
  // A failure that has no check line of its own.
  void CountFailure() { ++failures_; }

  int Failures() const { return failures_; }
  const std::string& Text() const { return text_; }
  // The closing lines: the rule and the conclusion.
  void Conclude();
  // UTF-8 with a byte-order mark, replacing an existing file.
  bool Write(const std::filesystem::path& path) const;

 private:
  std::string text_;
  int failures_ = 0;
};

// The level of a linear value in dB as the report prints it: 20·log10(v)
// above 1e-7, else −120.
double ReportDb(double value);

}  // namespace vesk
