// Single instance on Windows: a named mutex in the session's namespace; the
// second start raises the running main window itself and sends it its file.
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

  bool RaiseRunning(const std::filesystem::path& file) override {
    if (first_ || windowClass_.empty()) return false;
    HWND other = FindWindowW(windowClass_.c_str(), nullptr);
    if (other == nullptr) return false;
    // This process was just started by the user, so it may hand the
    // foreground on; the running one could not take it itself.
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    SetForegroundWindow(other);
    if (file.empty()) return true;
    const std::wstring path = file.wstring();
    COPYDATASTRUCT data{};
    data.dwData = kOpenFileCopyDataTag;
    data.cbData = DWORD(path.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(path.data());
    DWORD_PTR handled = 0;
    // A window busy in a modal loop still answers; a hung one must not hang this start.
    return SendMessageTimeoutW(other, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                               &handled) != 0 &&
           handled != 0;
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
