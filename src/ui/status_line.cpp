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

}  // namespace vesk::ui
