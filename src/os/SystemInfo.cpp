#include "os/SystemInfo.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "os/Env.h"

namespace lorvant {
namespace {

std::string EnvVar(const char* name) { return Env::Default()->GetVar(name); }

std::string OSName(const std::string& fallback) {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::map<std::string, std::string> values;
    try {
      values = ParseShellAssignments(ReadWholeFile(file));
    } catch (const Exception&) {
    }
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
  std::string sysname, release, machine;
  if (!Env::Default()->KernelInfo(&sysname, &release, &machine)) {
    return FormatOSVersionText(OSName("Linux"), "", "");
  }
  return FormatOSVersionText(OSName(sysname), release, machine);
}

bool IsOS64Bit() {
  std::string sysname, release, machine;
  return Env::Default()->KernelInfo(&sysname, &release, &machine) && MachineIs64Bit(machine);
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

bool IsAdmin() { return Env::Default()->EffectiveUserId() == 0; }

std::string GetExeName() { return Env::Default()->ExecutablePath(); }

std::string VendorEndpoint() {
  std::string endpoint = Env::Default()->GetVar("LORVANT_ENDPOINT");
  if (endpoint.empty()) endpoint = "http://www.pelmora.example";
  while (!endpoint.empty() && endpoint.back() == '/') endpoint.pop_back();
  return endpoint;
}

std::string ProductPageUrl() { return VendorEndpoint() + "/lorvant/"; }

std::string SupportEmailAddress() { return "support@pelmora.example"; }

std::string GetSystemInfoText() {
  return GetOSVersionText() + "\r\nSystem Language: " + GetSystemLanguageName() +
         "\r\nSystem Decimal Separator: " + std::string(1, GetDecimalSeparator());
}

}  // namespace lorvant
