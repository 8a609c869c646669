// Single instance on Windows: a named mutex in the session's namespace; the
// second start raises the running main window itself.
#include <windows.h>

#include "platform/single_instance.h"
#include "platform/win/wide.h"

namespace vesk {
namespace {

class WinSingleInstance final : public SingleInstance {
 public:
  explicit WinSingleInstance(const SingleInstanceOptions& options) : windowClass_(Utf8ToWide(options.windowClass)) {
    const std::wstring name = L"Local\\" + Utf8ToWide(options.name);
    mutex_ = CreateMutexW(nullptr, TRUE, name.c_str());
    first_ = !(mutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS);
  }
  ~WinSingleInstance() override {
    if (mutex_ != nullptr) {
      if (first_) ReleaseMutex(mutex_);
      CloseHandle(mutex_);
    }
  }

  bool IsFirst() const override { return first_; }

  bool RaiseRunning() override {
    if (first_ || windowClass_.empty()) return false;
    HWND other = FindWindowW(windowClass_.c_str(), nullptr);
    if (other == nullptr) return false;
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    SetForegroundWindow(other);
    return true;
  }

 private:
  std::wstring windowClass_;
  HANDLE mutex_ = nullptr;
  bool first_ = true;
};

}  // namespace

std::filesystem::path SingleInstanceFolder() { return {}; }

std::unique_ptr<SingleInstance> ClaimSingleInstance(const SingleInstanceOptions& options) {
  return std::make_unique<WinSingleInstance>(options);
}

}  // namespace vesk
