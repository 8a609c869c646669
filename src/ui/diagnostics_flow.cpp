#include "ui/diagnostics_flow.h"

#include <system_error>

#include "core/app_log.h"
#include "core/diagnostics.h"
#include "core/version.h"
#include "platform/text.h"
#include "ui/control_ids.h"

namespace vesk::ui {

namespace fs = std::filesystem;

std::vector<MenuItem> DiagnosticsFlow::ContextMenu() const {
  std::vector<MenuItem> items = {{kMenuOpenLogFolder, "打开日志文件夹", false, true, false},
                                 {kMenuExportDiagnostics, "导出诊断日志到桌面…", false, true, false}};
  if (places_.previousRunUnclean)
    items.push_back({0, "上次运行非正常结束（导出日志可发给开发者）", false, false, false});
  return items;
}

void DiagnosticsFlow::OpenLogFolder() {
  const fs::path file = !places_.logFile.empty() ? places_.logFile : AppLogCurrentStatus().path;
  AppLog("[log] 用户打开日志文件夹（当前日志=%s）", PathToUtf8(file).c_str());
  std::error_code ec;
  if (!file.empty() && fs::exists(file, ec) && port_.Shell().RevealFile(file)) return;
  const fs::path folder = !places_.logFolder.empty() ? places_.logFolder : AppLogCurrentStatus().folder;
  port_.Shell().OpenFolder(file.empty() ? folder : file.parent_path());
}

void DiagnosticsFlow::Export(const std::string& snapshot) {
  AppLog("[log] 用户导出诊断日志到桌面");
  std::string note;
  const fs::path folder = places_.desktopDir.empty() ? ExportDiagnostics(kVersion, snapshot, note)
                                                     : ExportDiagnosticsTo(places_.desktopDir, kVersion, snapshot, note);
  if (folder.empty()) {
    const std::string reason = note.empty() ? std::string("未知原因") : note;
    port_.Status("导出诊断日志失败：" + reason);
    AppLog("[log] 导出诊断日志失败：%s", reason.c_str());
    port_.ShowBox(BoxKind::Warning, "导出诊断日志", "导出诊断日志失败：\n" + reason);
    return;
  }
  const std::string path = PathToUtf8(folder);
  port_.Status(note.empty() ? "诊断日志已导出到桌面：" + path : "诊断日志已导出（" + note + "）：" + path);
  AppLog("[log] 诊断日志已导出：%s%s", path.c_str(), note.c_str());
  if (!port_.Shell().RevealFile(folder)) port_.Shell().OpenFolder(folder);
}

}  // namespace vesk::ui
