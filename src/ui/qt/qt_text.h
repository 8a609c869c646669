#pragma once
// UTF-8 texts and paths to and from Qt strings.
#include <QString>
#include <filesystem>
#include <string>

#include "platform/text.h"

namespace vesk::ui::qt {

inline QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }
inline std::string U(const QString& text) { return text.toUtf8().toStdString(); }
inline QString QPath(const std::filesystem::path& path) { return Q(PathToUtf8(path)); }
inline std::filesystem::path PathOf(const QString& text) { return PathFromUtf8(U(text)); }

}  // namespace vesk::ui::qt
