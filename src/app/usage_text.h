#pragma once
// The text printed when no window can be shown or an option is unknown: the
// headless modes and where their reports go.
#include <string>

namespace vesk {

// `why` is the first line after the version ("没有图形显示…", "未知选项：…").
std::string UsageText(const std::string& why);

}  // namespace vesk
