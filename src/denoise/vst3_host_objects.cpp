#include "denoise/vst3_host_objects.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vesk {
using namespace vst;

namespace {

template <typename T>
tresult Answer(T* self, void** obj) {
  *obj = self;
  return kResultOk;
}

// The host's name as plug-ins see it through IHostApplication::getName.
constexpr char16_t kHostName[] = u"VeskRecorder Denoise Host";

}  // namespace

tresult HostContext::Query(const char* iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidComponentHandler)) return Answer<IComponentHandler>(&handler_, obj);
  if (UidEquals(iid, kIidUnitHandler)) return Answer<IUnitHandler>(&unit_, obj);
  if (UidEquals(iid, kIidPlugInterfaceSupport)) {
    if (!support_) support_ = new SupportBridge(this);
    return Answer<IPlugInterfaceSupport>(support_, obj);
  }
  if (UidEquals(iid, kIidFUnknown)) return Answer<FUnknown>(static_cast<IHostApplication*>(&app_), obj);
  *obj = nullptr;
  return kNoInterface;
}

tresult AppBridge::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidHostApplication) || UidEquals(iid, kIidFUnknown))
    return Answer<IHostApplication>(this, obj);
  return owner_->Query(iid, obj);
}

tresult AppBridge::getName(TChar* name) {
  if (!name) return kInvalidArgument;
  size_t n = 0;
  for (; kHostName[n] && n < 127; ++n) name[n] = kHostName[n];
  name[n] = 0;
  return kResultOk;
}

tresult AppBridge::createInstance(TUID, TUID, void** obj) {
  if (obj) *obj = nullptr;
  return kNotImplemented;
}

tresult HandlerBridge::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidComponentHandler)) return Answer<IComponentHandler>(this, obj);
  return owner_->Query(iid, obj);
}

tresult UnitBridge::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidUnitHandler)) return Answer<IUnitHandler>(this, obj);
  return owner_->Query(iid, obj);
}

tresult SupportBridge::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidPlugInterfaceSupport)) return Answer<IPlugInterfaceSupport>(this, obj);
  return owner_->Query(iid, obj);
}

tresult ParamValueQueueImpl::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidParamValueQueue) || UidEquals(iid, kIidFUnknown)) return Answer<IParamValueQueue>(this, obj);
  *obj = nullptr;
  return kNoInterface;
}

tresult ParamValueQueueImpl::getPoint(int32 index, int32* sampleOffset, ParamValue* value) {
  if (index < 0 || size_t(index) >= points_.size()) return kInternalError;
  if (sampleOffset) *sampleOffset = points_[size_t(index)].offset;
  if (value) *value = points_[size_t(index)].value;
  return kResultOk;
}

tresult ParamChangesImpl::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidParameterChanges) || UidEquals(iid, kIidFUnknown))
    return Answer<IParameterChanges>(this, obj);
  *obj = nullptr;
  return kNoInterface;
}

IParamValueQueue* ParamChangesImpl::getParameterData(int32 index) {
  if (index < 0 || size_t(index) >= queues_.size()) return nullptr;
  return queues_[size_t(index)].get();
}

IParamValueQueue* ParamChangesImpl::addParameterData(const ParamID* id, int32* index) {
  // The call returns a queue, not a result code: a missing argument gets none.
  if (!id || !index) return nullptr;
  queues_.push_back(std::make_unique<ParamValueQueueImpl>(*id));
  *index = int32(queues_.size() - 1);
  return queues_.back().get();
}

tresult MemStream::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (UidEquals(iid, kIidBStream) || UidEquals(iid, kIidFUnknown)) return Answer<IBStream>(this, obj);
  *obj = nullptr;
  return kNoInterface;
}

tresult MemStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytesRead) *numBytesRead = 0;
  if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
  // position_ never exceeds kMaxBytes, so the difference cannot overflow.
  const int64 available = std::max<int64>(0, int64(bytes_.size()) - position_);
  const int32 n = int32(std::min<int64>(available, numBytes));
  if (n > 0) std::memcpy(buffer, bytes_.data() + size_t(position_), size_t(n));
  position_ += n;
  if (numBytesRead) *numBytesRead = n;
  return kResultOk;
}

tresult MemStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytesWritten) *numBytesWritten = 0;
  if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
  // Checked in 64 bits before any size_t arithmetic (32 bits in the helper).
  const int64 end = position_ + int64(numBytes);
  if (end > kMaxBytes) return kOutOfMemory;
  try {
    if (uint64_t(end) > bytes_.size()) bytes_.resize(size_t(end));
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  if (numBytes > 0) std::memcpy(bytes_.data() + size_t(position_), buffer, size_t(numBytes));
  position_ = end;
  if (numBytesWritten) *numBytesWritten = numBytes;
  return kResultOk;
}

tresult MemStream::seek(int64 pos, int32 mode, int64* result) {
  int64 base = 0;
  if (mode == kIBSeekCur) base = position_;
  else if (mode == kIBSeekEnd) base = int64(bytes_.size());
  else if (mode != kIBSeekSet) return kInvalidArgument;
  // base lies in [0, kMaxBytes]; positions before the start or past the cap
  // are refused (and the sum below cannot overflow once pos is in range).
  if (pos < -base || pos > kMaxBytes - base) return kInvalidArgument;
  position_ = base + pos;
  if (result) *result = position_;
  return kResultOk;
}

tresult MemStream::tell(int64* pos) {
  if (!pos) return kInvalidArgument;
  *pos = position_;
  return kResultOk;
}

}  // namespace vesk
