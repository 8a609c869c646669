#pragma once
// The VST3 host core: runs a whole in-memory buffer, offline and in place,
// through one audio effect. Shared by the main program (64-bit plug-ins) and
// the helper program (32-bit plug-ins). Every render creates and destroys its
// own plug-in instance; only the loaded module survives between renders.
// Runs on the caller's thread; two renders at once are not coordinated.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk {

struct PluginRef {
  std::filesystem::path modulePath;  // the module file to load
  std::string displayName;           // used in messages and the host log
};

inline constexpr int kRenderBlockFrames = 1024;

// Processes `samples` (interleaved float, 1 or 2 channels) in place. With a
// non-zero reductionOffset (dB) the plug-in's "Reduction" parameter is moved
// away from zero (positive) or towards zero (negative) from its default.
// On failure `error` gets "<display name>：<message>". `applied` is true when a
// Reduction value was set and the offset was not 0; `nativeValue` is the plain
// value set (0 otherwise). Output pointers may be null.
bool RenderThroughPlugin(const PluginRef& plugin, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                         double reductionOffset, std::string* error, std::string* className, double* nativeValue,
                         bool* applied);

// The strength wrapper: offset 0 renders once at the defaults; a negative
// offset falls back to a 50/50 wet/dry mix and a positive one to a second
// pass when the plug-in has no usable Reduction parameter.
bool DenoiseAtStrength(const PluginRef& plugin, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                       std::string* error, std::string* className, double reductionOffset, double* nativeValue);

// One line to "vst3-host.log" in the data folder when VESK_VST3_HOST_LOG is
// set to a non-empty value (decided once per run).
void HostLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool HostLogEnabled();
std::filesystem::path HostLogPath();

// Each UTF-16 unit of the UTF-8 text: ASCII kept, everything else "?".
std::string NarrowToAscii(const std::string& utf8);

}  // namespace vesk
