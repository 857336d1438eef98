#include "diagnostics/OfficeVersionSolution.h"

#include <cstdlib>

#include "settings/OfficeApps.h"

namespace lorvant {
namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The number between the "v" and the first full stop of a version text; a
// text without one counts as old (0).
long MajorVersion(const std::string& version) {
  const size_t v = version.find('v');
  if (v == std::string::npos) return 0;
  const size_t dot = version.find('.', v + 1);
  const std::string number = version.substr(v + 1, dot == std::string::npos ? dot : dot - v - 1);
  char* end = nullptr;
  const long major = std::strtol(number.c_str(), &end, 10);
  return (number.empty() || *end != '\0') ? 0 : major;
}

}  // namespace

TOfficeVersionSolution::TOfficeVersionSolution()
    : TOfficeVersionSolution(GetAccessArchitecture(),
                             GetAccessPath().empty() ? "" : GetAccessVersionText()) {}

TOfficeVersionSolution::TOfficeVersionSolution(std::string access_architecture,
                                               std::string access_version)
    : AccessArchitecture(std::move(access_architecture)),
      access_version_(std::move(access_version)) {}

bool TOfficeVersionSolution::Search(const std::string& text) {
  Text = text;
  Solution.clear();
  Keyword.clear();
  if (!Contains(text, ".mdb") && !Contains(text, ".accdb") &&
      !Contains(text, "Cannot create ODBC alias")) {
    return false;
  }
  const bool access_64 = AccessArchitecture == "x64";
  const bool old_32 = !access_64 && MajorVersion(access_version_) < 12;
  if (AppArchitecture == "x86" && Contains(text, ".accdb") && (access_64 || old_32)) {
    Solution =
        "If you can not open Office 2007 and above file (*.accdb, *.xlsx), please download and "
        "install Microsoft Access Database Engine.";
    Keyword = "office_engine";
  }
  return !Keyword.empty();
}

}  // namespace lorvant
