#pragma once
// Host-side VST3 objects. The host owns every one of them for the length of
// one render, so addRef and release do no counting (they return 1) and the
// plug-in must not keep them beyond the render.
#include <cstdint>
#include <memory>
#include <vector>

#include "denoise/vst3_api.h"

namespace vesk {

class HostContext;

class AppBridge final : public vst::IHostApplication {
 public:
  explicit AppBridge(HostContext* owner) : owner_(owner) {}
  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::tresult VESK_PLUGIN_API getName(vst::TChar* name) override;
  vst::tresult VESK_PLUGIN_API createInstance(vst::TUID cid, vst::TUID iid, void** obj) override;

 private:
  HostContext* owner_;
};

class HandlerBridge final : public vst::IComponentHandler {
 public:
  explicit HandlerBridge(HostContext* owner) : owner_(owner) {}
  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::tresult VESK_PLUGIN_API beginEdit(vst::ParamID) override { return vst::kResultOk; }
  vst::tresult VESK_PLUGIN_API performEdit(vst::ParamID, vst::ParamValue) override { return vst::kResultOk; }
  vst::tresult VESK_PLUGIN_API endEdit(vst::ParamID) override { return vst::kResultOk; }
  vst::tresult VESK_PLUGIN_API restartComponent(vst::int32) override { return vst::kResultOk; }

 private:
  HostContext* owner_;
};

class UnitBridge final : public vst::IUnitHandler {
 public:
  explicit UnitBridge(HostContext* owner) : owner_(owner) {}
  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::tresult VESK_PLUGIN_API notifyUnitSelection(vst::UnitID) override { return vst::kResultOk; }
  vst::tresult VESK_PLUGIN_API notifyProgramListChange(vst::ProgramListID, vst::int32) override {
    return vst::kResultOk;
  }

 private:
  HostContext* owner_;
};

class SupportBridge final : public vst::IPlugInterfaceSupport {
 public:
  explicit SupportBridge(HostContext* owner) : owner_(owner) {}
  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::tresult VESK_PLUGIN_API isPlugInterfaceSupported(const vst::TUID) override { return vst::kResultFalse; }

 private:
  HostContext* owner_;
};

// The host's answer to every interface request a plug-in makes through any
// of the bridges.
class HostContext {
 public:
  HostContext() : app_(this), handler_(this), unit_(this) {}
  virtual ~HostContext() { delete support_; }
  HostContext(const HostContext&) = delete;
  HostContext& operator=(const HostContext&) = delete;

  virtual vst::tresult Query(const char* iid, void** obj);
  AppBridge* App() { return &app_; }
  HandlerBridge* Handler() { return &handler_; }

 private:
  AppBridge app_;
  HandlerBridge handler_;
  UnitBridge unit_;
  SupportBridge* support_ = nullptr;
};

class ParamValueQueueImpl final : public vst::IParamValueQueue {
 public:
  explicit ParamValueQueueImpl(vst::ParamID id) : id_(id) {}
  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::ParamID VESK_PLUGIN_API getParameterId() override { return id_; }
  vst::int32 VESK_PLUGIN_API getPointCount() override { return vst::int32(points_.size()); }
  vst::tresult VESK_PLUGIN_API getPoint(vst::int32 index, vst::int32* sampleOffset, vst::ParamValue* value) override;
  vst::tresult VESK_PLUGIN_API addPoint(vst::int32 sampleOffset, vst::ParamValue value, vst::int32&) override {
    points_.push_back({sampleOffset, value});
    return vst::kResultOk;
  }

 private:
  struct Point {
    vst::int32 offset;
    vst::ParamValue value;
  };
  vst::ParamID id_;
  std::vector<Point> points_;
};

class ParamChangesImpl final : public vst::IParameterChanges {
 public:
  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::int32 VESK_PLUGIN_API getParameterCount() override { return vst::int32(queues_.size()); }
  vst::IParamValueQueue* VESK_PLUGIN_API getParameterData(vst::int32 index) override;
  // Always appends a new queue (no search for an existing one).
  vst::IParamValueQueue* VESK_PLUGIN_API addParameterData(const vst::ParamID* id, vst::int32* index) override;

 private:
  std::vector<std::unique_ptr<ParamValueQueueImpl>> queues_;
};

// The state copy between component and controller. Positions and the size
// are capped at kMaxBytes (a plug-in's state is far smaller): a seek beyond
// it is refused, a write that would grow past it fails with kOutOfMemory,
// so no plug-in can make the host's size arithmetic overflow.
class MemStream final : public vst::IBStream {
 public:
  static constexpr vst::int64 kMaxBytes = vst::int64(64) << 20;

  vst::tresult VESK_PLUGIN_API queryInterface(const vst::TUID iid, void** obj) override;
  vst::uint32 VESK_PLUGIN_API addRef() override { return 1; }
  vst::uint32 VESK_PLUGIN_API release() override { return 1; }
  vst::tresult VESK_PLUGIN_API read(void* buffer, vst::int32 numBytes, vst::int32* numBytesRead) override;
  vst::tresult VESK_PLUGIN_API write(void* buffer, vst::int32 numBytes, vst::int32* numBytesWritten) override;
  vst::tresult VESK_PLUGIN_API seek(vst::int64 pos, vst::int32 mode, vst::int64* result) override;
  vst::tresult VESK_PLUGIN_API tell(vst::int64* pos) override;
  size_t Size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
  vst::int64 position_ = 0;
};

}  // namespace vesk
