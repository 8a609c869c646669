// VeskDenoise32 / VeskDenoise64: renders one sample file through a
// noise-reduction plug-in for the main program and reports through
// "<out>.log". One process serves exactly one render. The 32-bit build hosts
// 32-bit plug-ins; the build of the main program's own architecture tries
// modules out before the main program loads them, and runs renders that
// must not take the main program down with a faulting plug-in.
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "denoise/vst3_host.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/text.h"

// The main program compares this with its own version before it trusts a
// helper file it finds (Linux has no version resource to carry it).
extern "C" __attribute__((used)) const char kVeskHelperVersionMarker[] = "VESK-PRODUCT-VERSION=" VESK_VERSION_STRING;

// The report's "arch=" value: the helper's name ("32" for VeskDenoise32,
// which readers of the report expect whatever the build's word size).
#ifndef VESK_HELPER_ARCH
#define VESK_HELPER_ARCH "32"
#endif

namespace {

struct HelperOptions {
  std::string plugin, in, out;
  uint32_t rate = 48000;
  uint16_t channels = 1;
  double reduction = 0;
};

HelperOptions ParseHelperOptions(const std::vector<std::string>& args) {
  HelperOptions o;
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    const std::string& a = args[i];
    const std::string& v = args[i + 1];
    if (vesk::EqualsNoCase(a, "--plugin")) o.plugin = v;
    else if (vesk::EqualsNoCase(a, "--in")) o.in = v;
    else if (vesk::EqualsNoCase(a, "--out")) o.out = v;
    else if (vesk::EqualsNoCase(a, "--rate")) o.rate = uint32_t(std::strtoul(v.c_str(), nullptr, 10));
    else if (vesk::EqualsNoCase(a, "--ch")) o.channels = uint16_t(std::strtoul(v.c_str(), nullptr, 10));
    else if (vesk::EqualsNoCase(a, "--reduction")) o.reduction = std::strtod(v.c_str(), nullptr);
    else continue;
    ++i;
  }
  return o;
}

bool ReadSamples(const std::string& path, std::vector<float>& samples, std::string& error) {
  vesk::File f;
  if (!f.OpenRead(vesk::PathFromUtf8(path))) {
    error = "读不到输入文件：" + path;
    return false;
  }
  const int64_t size = f.Size();
  if (size < 0 || uint64_t(size) >= (1ull << 32)) {
    error = "输入文件读取不完整";
    return false;
  }
  // A trailing partial sample is ignored rather than read past the buffer.
  try {
    samples.resize(size_t(size) / 4);
  } catch (const std::bad_alloc&) {
    error = "内存不足。";
    return false;
  }
  const int64_t want = int64_t(samples.size()) * 4;
  if (want > 0 && f.Read(samples.data(), size_t(want)) != want) {
    error = "输入文件读取不完整";
    return false;
  }
  return true;
}

bool WriteSamples(const std::string& path, const std::vector<float>& samples, std::string& error) {
  vesk::File f;
  // Never an existing file or link: the main program removed any stale one.
  if (!f.CreateNew(vesk::PathFromUtf8(path))) {
    error = "写不出输出文件：" + path;
    return false;
  }
  if (!samples.empty() && !f.Write(samples.data(), samples.size() * 4)) {
    error = "输出文件写入不完整";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A plug-in that faults ends this process with the fault's code, which the
  // main program reports; a dialog would leave it waiting.
  vesk::EndProcessOnUnhandledFault();
  const HelperOptions o = ParseHelperOptions(vesk::ProcessArguments(argc, argv));
  vesk::InitComForThread(true);
  std::string error, className;
  double ms = 0;
  bool ok = false;
  if (o.plugin.empty() || o.in.empty() || o.out.empty()) {
    error = "参数不完整（需要 --plugin/--in/--out）";
  } else {
    std::vector<float> samples;
    if (ReadSamples(o.in, samples, error)) {
      vesk::PluginRef plugin;
      plugin.modulePath = vesk::PathFromUtf8(o.plugin);
      const size_t slash = o.plugin.find_last_of("\\/");
      plugin.displayName = slash == std::string::npos ? o.plugin : o.plugin.substr(slash + 1);
      const uint64_t start = vesk::TickMs();
      ok = vesk::DenoiseAtStrength(plugin, samples, o.rate, o.channels, &error, &className, o.reduction, nullptr);
      ms = double(vesk::TickMs() - start);
      if (ok) ok = WriteSamples(o.out, samples, error);
    }
  }
  std::string report = std::string("ok=") + (ok ? "1" : "0") + "\narch=" VESK_HELPER_ARCH "\n" + vesk::Format("ms=%.0f\n", ms) +
                       "engine=" + className + "\n";
  if (!error.empty()) report += "err=" + vesk::OneLineValue(error) + "\n";
  vesk::File f;
  if (f.OpenWrite(vesk::PathFromUtf8(o.out + ".log"))) f.Write(report.data(), report.size());
  vesk::UninitComForThread();
  return ok ? 0 : 1;
}
