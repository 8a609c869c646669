#pragma once
// The text a Linux start prints when no window can be shown: the headless
// modes and where their reports go.
#include <string>

namespace vesk {

// `why` is the first line after the version ("没有图形显示…").
std::string UsageText(const std::string& why);

}  // namespace vesk
