// Message boxes and the common item dialogs.
#include <windows.h>
#include <shobjidl.h>

#include <cstdio>
#include <vector>

#include "core/version.h"
#include "platform/win/com_ref.h"
#include "ui/win/dialogs_win.h"

namespace vesk::ui::win {
namespace {

void ReportDialogFailure(HWND owner, HRESULT hr) {
  char text[160];
  std::snprintf(text, sizeof text, "打开文件对话框 失败（HRESULT 0x%08X）。", unsigned(hr));
  MessageBoxW(owner, Wide(text).c_str(), Wide(kProductTitle).c_str(), MB_OK | MB_ICONERROR);
}

// Shows `dialog` and reads the chosen path. False when cancelled or failed
// (a failure other than cancel is reported).
bool RunDialog(HWND owner, IFileDialog* dialog, std::filesystem::path& chosen) {
  HRESULT hr = dialog->Show(owner);
  if (hr == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return false;
  ComRef<IShellItem> item;
  if (SUCCEEDED(hr)) hr = dialog->GetResult(item.Put());
  PWSTR path = nullptr;
  if (SUCCEEDED(hr)) hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
  if (FAILED(hr)) {
    ReportDialogFailure(owner, hr);
    return false;
  }
  chosen = std::filesystem::path(path);
  CoTaskMemFree(path);
  return true;
}

void SetInitialFolder(IFileDialog* dialog, const std::filesystem::path& folder) {
  if (folder.empty()) return;
  ComRef<IShellItem> item;
  if (SUCCEEDED(SHCreateItemFromParsingName(folder.wstring().c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(item.Put()))))
    dialog->SetFolder(item.Get());
}

}  // namespace

HWND CreateModalFrame(HWND owner, unsigned dpi, const wchar_t* cls, const std::string& title, int clientW,
                      int clientH, void* state) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, ScaleUnits(clientW, dpi), ScaleUnits(clientH, dpi)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT ownerRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &ownerRect);
  const int x = ownerRect.left + (ownerRect.right - ownerRect.left - w) / 2;
  const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - h) / 2;
  return CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, cls, Wide(title).c_str(), style, x, y, w, h, owner,
                         nullptr, GetModuleHandleW(nullptr), state);
}

void RunModal(HWND owner, HWND dialog, HWND focus, const bool& done, const std::function<void()>& onQuit) {
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOWNORMAL);
  if (focus) SetFocus(focus);
  MSG msg;
  while (!done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The application is ending: close and let the outer loop see the quit.
      if (got == 0) PostQuitMessage(int(msg.wParam));
      if (onQuit) onQuit();
      break;
    }
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
  DestroyWindow(dialog);
  if (owner) SetActiveWindow(owner);
}

BoxAnswer ShowMessageBox(HWND owner, BoxKind kind, const std::string& title, const std::string& text,
                         BoxButtons buttons, BoxAnswer defaultButton) {
  UINT flags = MB_SETFOREGROUND;
  switch (kind) {
    case BoxKind::Information: flags |= MB_ICONINFORMATION; break;
    case BoxKind::Warning: flags |= MB_ICONWARNING; break;
    case BoxKind::Error: flags |= MB_ICONERROR; break;
    case BoxKind::Question: flags |= MB_ICONQUESTION; break;
    case BoxKind::Details: break;  // shown by RunDetailsBox
  }
  if (buttons == BoxButtons::YesNo) {
    flags |= MB_YESNO;
    if (defaultButton == BoxAnswer::No) flags |= MB_DEFBUTTON2;
  } else {
    flags |= MB_OK;
  }
  const int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), flags);
  switch (answer) {
    case IDYES: return BoxAnswer::Yes;
    case IDNO: return BoxAnswer::No;
    case IDOK: return BoxAnswer::Ok;
    default: return defaultButton;
  }
}

bool PickFileDialog(HWND owner, const FileDialogRequest& request, std::filesystem::path& chosen) {
  ComRef<IFileDialog> dialog;
  HRESULT hr = CoCreateInstance(request.save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr,
                                CLSCTX_INPROC_SERVER, IID_IFileDialog, reinterpret_cast<void**>(dialog.Put()));
  if (FAILED(hr)) {
    ReportDialogFailure(owner, hr);
    return false;
  }
  // Filter texts and patterns must outlive SetFileTypes' use of them.
  std::vector<std::wstring> labels, patterns;
  for (const FileFilter& f : request.filters) {
    std::wstring pattern;
    for (const std::string& ext : f.extensions) pattern += (pattern.empty() ? L"*." : L";*.") + Wide(ext);
    for (const std::string& name : f.fileNames) pattern += (pattern.empty() ? L"" : L";") + Wide(name);
    labels.push_back(Wide(f.label));
    patterns.push_back(pattern.empty() ? L"*.*" : pattern);
  }
  std::vector<COMDLG_FILTERSPEC> specs;
  for (size_t i = 0; i < labels.size(); ++i) specs.push_back({labels[i].c_str(), patterns[i].c_str()});
  if (!specs.empty()) dialog->SetFileTypes(UINT(specs.size()), specs.data());
  if (request.save && !request.filters.empty() && !request.filters.front().extensions.empty())
    dialog->SetDefaultExtension(Wide(request.filters.front().extensions.front()).c_str());
  if (!request.title.empty()) dialog->SetTitle(Wide(request.title).c_str());
  if (!request.fileName.empty()) dialog->SetFileName(Wide(request.fileName).c_str());
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  options |= FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR;
  options |= request.save ? FOS_OVERWRITEPROMPT : FOS_FILEMUSTEXIST;
  dialog->SetOptions(options);
  SetInitialFolder(dialog.Get(), request.folder);
  return RunDialog(owner, dialog.Get(), chosen);
}

bool PickFolderDialog(HWND owner, const std::string& title, const std::filesystem::path& initial,
                      std::filesystem::path& chosen) {
  ComRef<IFileDialog> dialog;
  const HRESULT hr = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                      reinterpret_cast<void**>(dialog.Put()));
  if (FAILED(hr)) {
    ReportDialogFailure(owner, hr);
    return false;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
  if (!title.empty()) dialog->SetTitle(Wide(title).c_str());
  SetInitialFolder(dialog.Get(), initial);
  return RunDialog(owner, dialog.Get(), chosen);
}

}  // namespace vesk::ui::win
