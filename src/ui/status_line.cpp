#include "ui/status_line.h"

namespace vesk::ui {

bool IsFailureStatus(const std::string& status) {
  // The words every failure text of the program carries; results and
  // progress never use them.
  static const char* const kMarks[] = {"失败", "出错", "错误", "不一致", "没能", "打不开", "找不到",
                                       "没找到", "无法", "不受支持", "丢失", "内存不足"};
  for (const char* mark : kMarks)
    if (status.find(mark) != std::string::npos) return true;
  return false;
}

void StatusLineView::SetText(TextView view, const std::string& text) {
  window_.SetText(view, text);
  if (view != TextView::Status) return;
  status_ = text;
  MarkDetails(IsFailureStatus(text));
}

BoxAnswer StatusLineView::ShowBox(BoxKind kind, const std::string& title, const std::string& text,
                                  BoxButtons buttons, BoxAnswer defaultButton) {
  // The line that goes with a warning is that warning's short form.
  if ((kind == BoxKind::Warning || kind == BoxKind::Error) && !status_.empty()) MarkDetails(true);
  return window_.ShowBox(kind, title, text, buttons, defaultButton);
}

bool StatusLineView::OpenDetails() {
  if (!details_) return false;
  window_.ShowDetailsBox(kStatusDetailsTitle, status_);
  return true;
}

void StatusLineView::MarkDetails(bool available) {
  if (available == details_) return;
  details_ = available;
  window_.SetStatusDetails(available);
}

}  // namespace vesk::ui
