#include "settings/OfficeApps.h"

#include "os/VersionUtil.h"
#include "settings/RegUtil.h"

namespace lorvant {
namespace {

std::string OfficeVersionText(const std::string& path) {
  return path.empty() ? "" : GetFileVersionInfoText(path);
}

std::string OfficeArchitecture(const std::string& path) {
  return path.empty() ? "x86" : GetBinaryArchitecture(path);
}

}  // namespace

std::string GetAccessPath() { return RegReadString(kProductKey, "AccessPath"); }
std::string GetExcelPath() { return RegReadString(kProductKey, "ExcelPath"); }
std::string GetAccessVersionText() { return OfficeVersionText(GetAccessPath()); }
std::string GetExcelVersionText() { return OfficeVersionText(GetExcelPath()); }
std::string GetAccessArchitecture() { return OfficeArchitecture(GetAccessPath()); }
std::string GetExcelArchitecture() { return OfficeArchitecture(GetExcelPath()); }

}  // namespace lorvant
