#pragma once
// Plug-in discovery and engine selection: finds the best installed "Voice
// De-noise" VST3 effect, and routes each render in-process (64-bit module),
// through the 32-bit helper program, or to the built-in noise reduction when
// no plug-in is found or the user chose it.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "denoise/builtin_denoise.h"

namespace vesk {

struct DenoiseEngine {
  std::filesystem::path modulePath;  // empty = no plug-in
  std::string fileName;              // the .vst3 entry's own name
  int architecture = 0;              // 0 other/unreadable, 1 x64, 2 x86 (32-bit)
  std::string displayName;
  bool discovered = false;
  bool nativeApplied = false;
  double nativeValue = 0;
  unsigned lastLevel = 1;
  // The built-in engine renders (no plug-in found, or chosen by the user).
  bool builtin = false;
  // Built-in engine: the noise profile of the next render (measured from the
  // render's own samples when not valid) and the last render's remark.
  NoiseProfile noiseProfile;
  std::string builtinNote;
  // Plug-in modules of this program's architecture are tried out in a helper
  // process before they are loaded here; the verdicts are kept in this file
  // (empty: the data folder's "plugin-probes.txt").
  std::filesystem::path probeBook;
  int64_t probeTimeoutMs = 20000;
  // Renders out of process: 1 always, 0 never, -1 once a probe of the
  // module ever failed.
  int isolateChoice = -1;
};

struct DenoiseCandidate {
  std::filesystem::path modulePath;
  std::string fileName;
  int architecture = 0;
};

// Level 0 "激进" +6 dB, 1 "均衡" 0, 2 "轻柔" −6 dB.
double ReductionOffsetForLevel(unsigned level);

// Folder list: VESK_VST3_PATH (";"-separated) when set, else the platform's
// VST3 folders. Preferred name: VESK_DENOISE_PLUGIN (a substring of the file
// name, case-sensitive).
std::vector<std::filesystem::path> DenoiseSearchFolders();
// Scans the folders (three levels deep) and returns the candidates that
// pass the scan filter, in scan order.
std::vector<DenoiseCandidate> ScanForDenoisePlugins(const std::vector<std::filesystem::path>& folders);
// The candidate filter and ranking; -1 when none qualifies.
int ChooseDenoiseCandidate(const std::vector<DenoiseCandidate>& candidates, const std::string& preferred);

// Finds the plug-in; without one the built-in engine is chosen (where this
// build has it).
void DiscoverDenoisePlugin(DenoiseEngine& engine);
// Switches between the found plug-in and the built-in engine (a request for
// the plug-in without one keeps the built-in engine). Sets the display name.
void ChooseBuiltinEngine(DenoiseEngine& engine, bool builtin);
// The found plug-in's name without ".vst3" (empty without one).
std::string PluginDisplayName(const DenoiseEngine& engine);
bool RunDenoise(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                std::string& error, unsigned level);
bool DenoiseAvailable(DenoiseEngine& engine);
// The strength of the last render for the export's result line (the
// built-in engine: "内置降噪·均衡").
std::string StrengthSuffix(const DenoiseEngine& engine);

// Helpers of discovery.
bool ResolveBundleModule(const std::filesystem::path& entry, std::filesystem::path& module);
int ReadModuleArch(const std::filesystem::path& module);
unsigned RxVersionOf(const std::string& fileName);
// Header checks on the first bytes of a module file: PE (Windows) and ELF.
int PeArchOf(const uint8_t* bytes, size_t size);
int ElfArchOf(const uint8_t* bytes, size_t size);

// Platform parts (denoise/linux, denoise/win).
std::vector<std::filesystem::path> DefaultVst3Folders();
const std::vector<std::string>& BundleSubFolders();
int ModuleArchFromHeader(const uint8_t* bytes, size_t size);
// Ending of a module file inside a bundle sub-folder (".so", ".vst3").
const char* BundleModuleSuffix();
// The architecture of this program's own modules (1 or 2): modules of the
// other one need the helper.
int NativeArch();

}  // namespace vesk
