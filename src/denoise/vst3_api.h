#pragma once
// The VST 3 interfaces this program uses, declared from their published
// layouts: interface identifiers, method order, structure layouts and result
// codes. Shared by the host core and by the test plug-in, so the static
// checks at the end pin every layout to the published sizes and offsets.
#include <cstddef>
#include <cstdint>

// Interface methods and the factory entry use stdcall on 32-bit Windows; the
// attribute is ignored on x64 and absent elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define VESK_PLUGIN_API __stdcall
#else
#define VESK_PLUGIN_API
#endif

namespace vesk::vst {

using int8 = char;
using uint8 = uint8_t;
using int16 = int16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using TBool = uint8;
using tresult = int32;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using String128 = TChar[128];
using FIDString = const char8*;
using TUID = char[16];
using ParamID = uint32;
using ParamValue = double;
using SampleRate = double;
using TSamples = int64;
using Sample32 = float;
using Sample64 = double;
using SpeakerArrangement = uint64;
using MediaType = int32;
using BusDirection = int32;
using IoMode = int32;
using UnitID = int32;
using ProgramListID = int32;

// Result codes: COM values on Windows, small integers elsewhere.
#if defined(_WIN32)
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kNoInterface = int32(0x80004002u);
inline constexpr tresult kInvalidArgument = int32(0x80070057u);
inline constexpr tresult kNotImplemented = int32(0x80004001u);
inline constexpr tresult kInternalError = int32(0x80004005u);
inline constexpr tresult kOutOfMemory = int32(0x8007000Eu);
inline constexpr bool kComCompatible = true;
#else
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kOutOfMemory = 6;
inline constexpr bool kComCompatible = false;
#endif

// A 16-byte interface or class identifier in the platform's byte order.
struct Uid {
  char bytes[16];
};

constexpr Uid MakeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  Uid u{};
  auto be = [&u](int at, uint32 v) {
    u.bytes[at] = char(v >> 24);
    u.bytes[at + 1] = char(v >> 16);
    u.bytes[at + 2] = char(v >> 8);
    u.bytes[at + 3] = char(v);
  };
  if (kComCompatible) {
    // GUID layout: Data1 and the two halves of l2 little-endian.
    u.bytes[0] = char(l1);
    u.bytes[1] = char(l1 >> 8);
    u.bytes[2] = char(l1 >> 16);
    u.bytes[3] = char(l1 >> 24);
    u.bytes[4] = char(l2 >> 16);
    u.bytes[5] = char(l2 >> 24);
    u.bytes[6] = char(l2);
    u.bytes[7] = char(l2 >> 8);
  } else {
    be(0, l1);
    be(4, l2);
  }
  be(8, l3);
  be(12, l4);
  return u;
}

inline bool UidEquals(const char* a, const Uid& b) {
  for (int i = 0; i < 16; ++i)
    if (a[i] != b.bytes[i]) return false;
  return true;
}

inline constexpr Uid kIidFUnknown = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
inline constexpr Uid kIidPluginBase = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
inline constexpr Uid kIidPluginFactory = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
inline constexpr Uid kIidPluginFactory2 = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
inline constexpr Uid kIidPluginFactory3 = MakeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
inline constexpr Uid kIidComponent = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
inline constexpr Uid kIidAudioProcessor = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
inline constexpr Uid kIidEditController = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
inline constexpr Uid kIidComponentHandler = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
inline constexpr Uid kIidConnectionPoint = MakeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
inline constexpr Uid kIidBStream = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
inline constexpr Uid kIidParamValueQueue = MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
inline constexpr Uid kIidParameterChanges = MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
inline constexpr Uid kIidHostApplication = MakeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
inline constexpr Uid kIidUnitHandler = MakeUid(0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56);
inline constexpr Uid kIidPlugInterfaceSupport = MakeUid(0x4FB58B9E, 0x9EAA4E0F, 0xAB361C1C, 0xCCB56FEA);

// Constants.
inline constexpr MediaType kAudio = 0;
inline constexpr BusDirection kInput = 0;
inline constexpr BusDirection kOutput = 1;
inline constexpr int32 kRealtime = 0;
inline constexpr int32 kPrefetch = 1;
inline constexpr int32 kOffline = 2;
inline constexpr int32 kSample32 = 0;
inline constexpr SpeakerArrangement kMono = 1u << 19;  // kSpeakerM, not 1
inline constexpr SpeakerArrangement kStereo = 0x3;
inline constexpr int32 kIBSeekSet = 0;
inline constexpr int32 kIBSeekCur = 1;
inline constexpr int32 kIBSeekEnd = 2;
inline constexpr const char* kVstAudioEffectClass = "Audio Module Class";
inline constexpr const char* kVstComponentControllerClass = "Component Controller Class";

// Structures (natural layout; the SDK's pack(16)/pack(8) never raise
// alignment, so the compiler's default matches on every target).
struct PFactoryInfo {
  char8 vendor[64];
  char8 url[256];
  char8 email[128];
  int32 flags;
};

struct PClassInfo {
  TUID cid;
  int32 cardinality;
  char8 category[32];
  char8 name[64];
};

struct ParameterInfo {
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 stepCount;
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32 flags;
};

struct BusInfo {
  MediaType mediaType;
  BusDirection direction;
  int32 channelCount;
  String128 name;
  int32 busType;
  uint32 flags;
};

struct RoutingInfo {
  MediaType mediaType;
  int32 busIndex;
  int32 channel;
};

struct ProcessSetup {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 maxSamplesPerBlock;
  SampleRate sampleRate;
};

struct AudioBusBuffers {
  int32 numChannels;
  uint64 silenceFlags;
  union {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

struct Chord {
  uint8 keyNote;
  uint8 rootNote;
  int16 chordMask;
};

struct FrameRate {
  uint32 framesPerSecond;
  uint32 flags;
};

struct ProcessContext {
  uint32 state;
  double sampleRate;
  TSamples projectTimeSamples;
  int64 systemTime;
  TSamples continousTimeSamples;
  double projectTimeMusic;
  double barPositionMusic;
  double cycleStartMusic;
  double cycleEndMusic;
  double tempo;
  int32 timeSigNumerator;
  int32 timeSigDenominator;
  Chord chord;
  int32 smpteOffsetSubframes;
  FrameRate frameRate;
  int32 samplesToNextClock;
};

class IParameterChanges;
class IEventList;

struct ProcessData {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 numSamples;
  int32 numInputs;
  int32 numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

// Interfaces. No virtual destructors: a vtable holds exactly the methods
// below, in this order.
class FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API queryInterface(const TUID iid, void** obj) = 0;
  virtual uint32 VESK_PLUGIN_API addRef() = 0;
  virtual uint32 VESK_PLUGIN_API release() = 0;
};

class IPluginBase : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API initialize(FUnknown* context) = 0;
  virtual tresult VESK_PLUGIN_API terminate() = 0;
};

class IPluginFactory : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 VESK_PLUGIN_API countClasses() = 0;
  virtual tresult VESK_PLUGIN_API getClassInfo(int32 index, PClassInfo* info) = 0;
  virtual tresult VESK_PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

// The class-info variants 2 and W are never read here; the slots only keep
// the vtable order.
class IPluginFactory2 : public IPluginFactory {
 public:
  virtual tresult VESK_PLUGIN_API getClassInfo2(int32 index, void* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2 {
 public:
  virtual tresult VESK_PLUGIN_API getClassInfoUnicode(int32 index, void* info) = 0;
  virtual tresult VESK_PLUGIN_API setHostContext(FUnknown* context) = 0;
};

class IBStream : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
  virtual tresult VESK_PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
  virtual tresult VESK_PLUGIN_API seek(int64 pos, int32 mode, int64* result) = 0;
  virtual tresult VESK_PLUGIN_API tell(int64* pos) = 0;
};

class IComponent : public IPluginBase {
 public:
  virtual tresult VESK_PLUGIN_API getControllerClassId(TUID classId) = 0;
  virtual tresult VESK_PLUGIN_API setIoMode(IoMode mode) = 0;
  virtual int32 VESK_PLUGIN_API getBusCount(MediaType type, BusDirection dir) = 0;
  virtual tresult VESK_PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
  virtual tresult VESK_PLUGIN_API getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult VESK_PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
  virtual tresult VESK_PLUGIN_API setActive(TBool state) = 0;
  virtual tresult VESK_PLUGIN_API setState(IBStream* state) = 0;
  virtual tresult VESK_PLUGIN_API getState(IBStream* state) = 0;
};

class IAudioProcessor : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                     SpeakerArrangement* outputs, int32 numOuts) = 0;
  virtual tresult VESK_PLUGIN_API getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) = 0;
  virtual tresult VESK_PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) = 0;
  virtual uint32 VESK_PLUGIN_API getLatencySamples() = 0;
  virtual tresult VESK_PLUGIN_API setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult VESK_PLUGIN_API setProcessing(TBool state) = 0;
  virtual tresult VESK_PLUGIN_API process(ProcessData& data) = 0;
  virtual uint32 VESK_PLUGIN_API getTailSamples() = 0;
};

class IComponentHandler : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API beginEdit(ParamID id) = 0;
  virtual tresult VESK_PLUGIN_API performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult VESK_PLUGIN_API endEdit(ParamID id) = 0;
  virtual tresult VESK_PLUGIN_API restartComponent(int32 flags) = 0;
};

class IEditController : public IPluginBase {
 public:
  virtual tresult VESK_PLUGIN_API setComponentState(IBStream* state) = 0;
  virtual tresult VESK_PLUGIN_API setState(IBStream* state) = 0;
  virtual tresult VESK_PLUGIN_API getState(IBStream* state) = 0;
  virtual int32 VESK_PLUGIN_API getParameterCount() = 0;
  virtual tresult VESK_PLUGIN_API getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
  virtual tresult VESK_PLUGIN_API getParamStringByValue(ParamID id, ParamValue valueNormalized, TChar* string) = 0;
  virtual tresult VESK_PLUGIN_API getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) = 0;
  virtual ParamValue VESK_PLUGIN_API normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
  virtual ParamValue VESK_PLUGIN_API plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue VESK_PLUGIN_API getParamNormalized(ParamID id) = 0;
  virtual tresult VESK_PLUGIN_API setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult VESK_PLUGIN_API setComponentHandler(IComponentHandler* handler) = 0;
  virtual void* VESK_PLUGIN_API createView(FIDString name) = 0;
};

class IMessage;
class IConnectionPoint : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API connect(IConnectionPoint* other) = 0;
  virtual tresult VESK_PLUGIN_API disconnect(IConnectionPoint* other) = 0;
  virtual tresult VESK_PLUGIN_API notify(IMessage* message) = 0;
};

class IParamValueQueue : public FUnknown {
 public:
  virtual ParamID VESK_PLUGIN_API getParameterId() = 0;
  virtual int32 VESK_PLUGIN_API getPointCount() = 0;
  // Published with references; declared with pointers (same ABI) because
  // hosts must tolerate callers that pass null for either output.
  virtual tresult VESK_PLUGIN_API getPoint(int32 index, int32* sampleOffset, ParamValue* value) = 0;
  virtual tresult VESK_PLUGIN_API addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;
};

class IParameterChanges : public FUnknown {
 public:
  virtual int32 VESK_PLUGIN_API getParameterCount() = 0;
  virtual IParamValueQueue* VESK_PLUGIN_API getParameterData(int32 index) = 0;
  virtual IParamValueQueue* VESK_PLUGIN_API addParameterData(const ParamID* id, int32* index) = 0;
};

class IHostApplication : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API getName(TChar* name) = 0;
  virtual tresult VESK_PLUGIN_API createInstance(TUID cid, TUID iid, void** obj) = 0;
};

class IUnitHandler : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API notifyUnitSelection(UnitID unitId) = 0;
  virtual tresult VESK_PLUGIN_API notifyProgramListChange(ProgramListID listId, int32 programIndex) = 0;
};

class IPlugInterfaceSupport : public FUnknown {
 public:
  virtual tresult VESK_PLUGIN_API isPlugInterfaceSupported(const TUID iid) = 0;
};

using GetFactoryProc = IPluginFactory*(VESK_PLUGIN_API*)();

// Published layouts.
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116 && offsetof(PClassInfo, name) == 52);
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(BusInfo) == 276 && sizeof(RoutingInfo) == 12);
#if defined(__i386__) && !defined(_WIN32)
static_assert(offsetof(ProcessSetup, sampleRate) == 12 && sizeof(ProcessSetup) == 20);
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 12 && sizeof(AudioBusBuffers) == 16);
static_assert(sizeof(ProcessContext) == 104 && offsetof(ProcessContext, samplesToNextClock) == 100);
#else
static_assert(offsetof(ProcessSetup, sampleRate) == 16 && sizeof(ProcessSetup) == 24);
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 16 && sizeof(AudioBusBuffers) == 24);
static_assert(sizeof(ProcessContext) == 112 && offsetof(ProcessContext, samplesToNextClock) == 104);
#endif
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(ProcessData, inputs) == 24 && offsetof(ProcessData, processContext) == 72 &&
              sizeof(ProcessData) == 80);
#else
static_assert(offsetof(ProcessData, inputs) == 20 && offsetof(ProcessData, processContext) == 44 &&
              sizeof(ProcessData) == 48);
#endif

}  // namespace vesk::vst
