#include "diagnostics/ExceptionReport.h"

#include <algorithm>

#include "base/TextUtil.h"
#include "diagnostics/DebugHelper.h"
#include "diagnostics/OfficeVersionSolution.h"
#include "os/SystemInfo.h"
#include "os/VersionUtil.h"
#include "settings/OfficeApps.h"
#include "settings/RegUtil.h"

namespace lorvant {
namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string ContentTypeFor(const std::string& path) {
  const std::string lower = LowerAscii(path);
  if (lower.find("jpg") != std::string::npos) return "mime/jpeg";
  if (lower.find("gif") != std::string::npos) return "mime/gif";
  if (lower.find("png") != std::string::npos) return "mime/png";
  return "";
}

}  // namespace

void TFormFields::Set(const std::string& name, const std::string& value) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [&name](const auto& item) { return item.first == name; });
  if (value.empty()) {
    if (it != items_.end()) items_.erase(it);
  } else if (it != items_.end()) {
    it->second = value;
  } else {
    items_.emplace_back(name, value);
  }
}

std::string TFormFields::Get(const std::string& name) const {
  for (const auto& item : items_) {
    if (item.first == name) return item.second;
  }
  return "";
}

std::string TExceptionReport::ClassifyMessage(const std::string& message) {
  if (StartsWith(message, "Assertion failure")) return "Assertion failure";
  if (StartsWith(message, "Access violation")) return "Memory Error";
  if (message.find("UniDAC") != std::string::npos) return "Database Error";
  return message;
}

void TExceptionReport::Prepare(const std::string& message, const std::string& debug_log) {
  ErrorMessage = message;
  Fields.Set("app_name", "Lorvant");
  Fields.Set("os_version", GetOSVersionText());
  Fields.Set("app_version", GetAppVersionText());
  Fields.Set("register_user", RegisteredUserName());
  Fields.Set("access_version", GetAccessVersionText() + " (" + GetAccessArchitecture() + ")");
  Fields.Set("excel_version", GetExcelVersionText() + " (" + GetExcelArchitecture() + ")");
  Fields.Set("info", "Exception: " + ErrorMessage + "\r\n\r\nSystem Info: " + GetSystemInfoText());
  Fields.Set("msg", ErrorMessage);
  TOfficeVersionSolution solution;
  if (solution.Search(ErrorMessage) || solution.Search(debug_log)) {
    Advice = solution.Solution;
    Fields.Set("keyword", solution.Keyword);
  }
}

void TExceptionReport::Send(THttpClient& http, const std::string& screenshot_file, bool include_log,
                            const std::atomic<bool>* cancel) {
  Fields.Set("screenshot", screenshot_file);
  Fields.Set("log", include_log ? TDebugHelper::GetLog() : "");
  const THttpReply reply = http.PostForm(ReportExceptionUrl(), Parts(), cancel);
  if (reply.status < 200 || reply.status > 299) {
    throw EHttpError("The report page answered with HTTP status " + std::to_string(reply.status) +
                     ".");
  }
  Reply = reply.body;
  if (include_log) TDebugHelper::ClearLog();
}

std::vector<THttpPart> TExceptionReport::Parts() const {
  std::vector<THttpPart> parts;
  for (const auto& [name, value] : Fields.Items()) {
    THttpPart part;
    part.name = name;
    part.value = value;
    if (LowerAscii(name).find("screenshot") != std::string::npos) {
      part.is_file = true;
      part.content_type = ContentTypeFor(value);
    }
    parts.push_back(std::move(part));
  }
  return parts;
}

std::string ReportExceptionUrl() { return VendorEndpoint() + "/report_exception.php"; }

std::string RegisteredUserName() { return RegReadString(kProductKey, "RegisterUser"); }

}  // namespace lorvant
