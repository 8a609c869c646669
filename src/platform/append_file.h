#pragma once
// Appends text to a file opened in append mode just for this call (created
// when missing; a symbolic link is never followed on Linux). Used by logs
// that several processes may write to at once: each call is one write.
#include <filesystem>
#include <string>

namespace vesk {

bool AppendToFile(const std::filesystem::path& path, const std::string& text);

}  // namespace vesk
