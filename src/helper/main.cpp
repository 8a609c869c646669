// VeskDenoise32: renders one sample file through a 32-bit noise-reduction
// plug-in for the main program and reports through "<out>.log".
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

struct HelperOptions {
  std::string plugin, in, out;
};

HelperOptions ParseHelperOptions(const std::vector<std::string>& args) {
  HelperOptions o;
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    const std::string& a = args[i];
    if (vesk::EqualsNoCase(a, "--plugin")) o.plugin = args[++i];
    else if (vesk::EqualsNoCase(a, "--in")) o.in = args[++i];
    else if (vesk::EqualsNoCase(a, "--out")) o.out = args[++i];
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const HelperOptions o = ParseHelperOptions(vesk::ProcessArguments(argc, argv));
  vesk::InitComForThread(true);
  std::string error;
  if (o.plugin.empty() || o.in.empty() || o.out.empty())
    error = "参数不完整（需要 --plugin/--in/--out）";
  else
    error = "这个版本的辅助程序还不能加载降噪插件。";
  const std::string report = "ok=0\narch=32\nms=0\nengine=\nerr=" + error + "\n";
  vesk::File f;
  if (f.OpenWrite(vesk::PathFromUtf8(o.out + ".log"))) f.Write(report.data(), report.size());
  vesk::UninitComForThread();
  return 1;
}
