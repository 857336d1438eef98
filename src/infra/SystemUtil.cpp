#include "infra/SystemUtil.h"

#include <langinfo.h>
#include <locale.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "infra/Env.h"
#include "infra/Exception.h"
#include "infra/FileUtil.h"

namespace lorvant {
namespace {

std::string EnvVar(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The value part of a shell-style assignment: double quotes with backslash
// escapes, single quotes taken literally, or a bare word.
std::string Unquote(const std::string& value) {
  if (value.empty()) return value;
  const char quote = value[0];
  if (quote != '"' && quote != '\'') {
    size_t end = value.find_first_of(" \t\r");
    return value.substr(0, end);
  }
  std::string out;
  for (size_t i = 1; i < value.size() && value[i] != quote; ++i) {
    if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

// KEY=value assignments of a shell-style file such as os-release, with
// comments and blank lines skipped; an unreadable file yields none.
std::map<std::string, std::string> ReadAssignments(const std::string& file_name) {
  std::map<std::string, std::string> values;
  std::string text;
  try {
    text = ReadWholeFile(file_name);
  } catch (const Exception&) {
    return values;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    size_t eq = line.find('=', first);
    if (eq == std::string::npos) continue;
    values[line.substr(first, eq - first)] = Unquote(line.substr(eq + 1));
  }
  return values;
}

std::string OSName(const std::string& fallback) {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    auto values = ReadAssignments(file);
    if (!values["PRETTY_NAME"].empty()) return values["PRETTY_NAME"];
    if (!values["NAME"].empty()) return values["NAME"];
  }
  return fallback;
}

// Leading decimal number of text at pos, advancing pos past it and one '.'.
int TakeNumber(const std::string& text, size_t* pos) {
  int n = 0;
  while (*pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9') {
    if (n < 100000000) n = n * 10 + (text[*pos] - '0');
    ++*pos;
  }
  if (*pos < text.size() && text[*pos] == '.') {
    ++*pos;
  } else {
    *pos = text.size();  // a missing part reads 0 from here on
  }
  return n;
}

bool MachineIs64Bit(const std::string& machine) {
  return machine.find("64") != std::string::npos || machine == "s390x";
}

// The user's locale name for a category, as setlocale(category, "") picks it.
std::string LocaleName(const char* category_variable) {
  for (const char* name : {"LC_ALL", category_variable, "LANG"}) {
    std::string value = EnvVar(name);
    if (!value.empty()) return value;
  }
  return "C";
}

}  // namespace

std::string GetHomePath() {
  std::string home = EnvVar("HOME");
  if (!home.empty()) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "";
}

bool IsRootOrHomeFolder(const std::string& folder) {
  const std::string full = ExpandFileName(folder);
  return IsSameFolder(full, "/") || IsSameFolder(full, GetHomePath());
}

std::string GetAppDataPath() {
  std::string path = EnvVar("XDG_DATA_HOME");
  if (path.empty() || path[0] != '/') {
    std::string home = GetHomePath();
    if (home.empty()) return "";
    path = StripTrailingSlashes(home) + "/.local/share";
  }
  path = StripTrailingSlashes(path);
  if (!DirectoryExists(path)) ForceFolder(path);
  return path;
}

std::string GetDocumentsPath() {
  std::string home = StripTrailingSlashes(GetHomePath());
  if (home.empty()) return "";
  std::string config = EnvVar("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::string path =
      ReadAssignments(StripTrailingSlashes(config) + "/user-dirs.dirs")["XDG_DOCUMENTS_DIR"];
  for (const char* var : {"$HOME", "${HOME}"}) {
    size_t len = std::strlen(var);
    if (path.compare(0, len, var) == 0 && (path.size() == len || path[len] == '/')) {
      path = home + path.substr(len);
      break;
    }
  }
  if (path.empty() || path[0] != '/') path = home + "/Documents";
  path = StripTrailingSlashes(path);
  if (!DirectoryExists(path)) ForceFolder(path);
  return path;
}

std::string GetAppDataFolder(const std::string& name) {
  const std::string path = GetAppDataPath();
  const std::string folder = path + "/" + name;
  // Without a data path the folder would land in the file system's root.
  if (path.empty() || (!DirectoryExists(folder) && Env::Default()->CreateDir(folder) != 0 &&
                       !DirectoryExists(folder))) {
    throw Exception("Cannot create \"" + folder + "\"");
  }
  return folder + "/";
}

std::string GetExceptionLogFile(const std::string& name) {
  return GetAppDataFolder(name) + "exception.log";
}

std::string FormatOSVersionText(const std::string& name, const std::string& release,
                                const std::string& machine) {
  size_t pos = 0;
  int major = TakeNumber(release, &pos);
  int minor = TakeNumber(release, &pos);
  int build = TakeNumber(release, &pos);
  char buf[128];
  std::snprintf(buf, sizeof(buf), " (Version %d.%d, Build %d, %s)", major, minor, build,
                MachineIs64Bit(machine) ? "64-bit Edition" : "32-bit Edition");
  return name + buf;
}

std::string GetOSVersionText() {
  struct utsname uts;
  if (::uname(&uts) != 0) return FormatOSVersionText(OSName("Linux"), "", "");
  return FormatOSVersionText(OSName(uts.sysname), uts.release, uts.machine);
}

bool IsOS64Bit() {
  struct utsname uts;
  return ::uname(&uts) == 0 && MachineIs64Bit(uts.machine);
}

std::string GetSystemLanguageName() {
  static const std::map<std::string, std::string> kNames = {
      {"af", "Afrikaans"},  {"ar", "Arabic"},    {"be", "Belarusian"}, {"bg", "Bulgarian"},
      {"bn", "Bangla"},     {"bs", "Bosnian"},   {"ca", "Catalan"},    {"cs", "Czech"},
      {"cy", "Welsh"},      {"da", "Danish"},    {"de", "German"},     {"el", "Greek"},
      {"en", "English"},    {"eo", "Esperanto"}, {"es", "Spanish"},    {"et", "Estonian"},
      {"eu", "Basque"},     {"fa", "Persian"},   {"fi", "Finnish"},    {"fr", "French"},
      {"ga", "Irish"},      {"gl", "Galician"},  {"he", "Hebrew"},     {"hi", "Hindi"},
      {"hr", "Croatian"},   {"hu", "Hungarian"}, {"hy", "Armenian"},   {"id", "Indonesian"},
      {"is", "Icelandic"},  {"it", "Italian"},   {"ja", "Japanese"},   {"ka", "Georgian"},
      {"kk", "Kazakh"},     {"ko", "Korean"},    {"lt", "Lithuanian"}, {"lv", "Latvian"},
      {"mk", "Macedonian"}, {"ms", "Malay"},     {"mt", "Maltese"},    {"nb", "Norwegian"},
      {"nl", "Dutch"},      {"nn", "Norwegian"}, {"no", "Norwegian"},  {"pl", "Polish"},
      {"pt", "Portuguese"}, {"ro", "Romanian"},  {"ru", "Russian"},    {"sk", "Slovak"},
      {"sl", "Slovenian"},  {"sq", "Albanian"},  {"sr", "Serbian"},    {"sv", "Swedish"},
      {"sw", "Kiswahili"},  {"ta", "Tamil"},     {"th", "Thai"},       {"tr", "Turkish"},
      {"uk", "Ukrainian"},  {"ur", "Urdu"},      {"uz", "Uzbek"},      {"vi", "Vietnamese"},
      {"zh", "Chinese"},
  };
  std::string locale = LocaleName("LC_MESSAGES");
  std::string code = locale.substr(0, locale.find_first_of("_.@"));
  if (code.empty() || code == "C" || code == "POSIX") return "English";
  auto it = kNames.find(code);
  return it != kNames.end() ? it->second : code;
}

char GetDecimalSeparator() {
  const char* point = nullptr;
  locale_t user = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  char separator = '.';
  if (user != static_cast<locale_t>(0)) {
    point = ::nl_langinfo_l(RADIXCHAR, user);
  } else {
    point = ::localeconv()->decimal_point;
  }
  if (point != nullptr && point[0] != '\0' && point[1] == '\0') separator = point[0];
  if (user != static_cast<locale_t>(0)) ::freelocale(user);
  return separator;
}

bool IsAdmin() { return ::geteuid() == 0; }

std::string GetExeName() {
  std::string buf(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return "";
  buf.resize(static_cast<size_t>(n));
  return buf;
}

}  // namespace lorvant
