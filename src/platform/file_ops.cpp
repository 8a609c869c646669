#include "platform/file_ops.h"

#include "platform/text.h"

namespace vesk {

std::vector<std::string> ListRegularFileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->symlink_status(typeEc).type() == std::filesystem::file_type::regular)
      names.push_back(PathToUtf8(it->path().filename()));
  }
  return names;
}

}  // namespace vesk
