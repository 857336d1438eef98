#include "diagnostics/UpdateCheck.h"

#include <cstdio>
#include <cstdlib>

#include "base/TextUtil.h"
#include "diagnostics/ExceptionReport.h"
#include "os/SystemInfo.h"
#include "os/VersionUtil.h"
#include "settings/AppSettings.h"
#include "settings/RegUtil.h"

namespace lorvant {
namespace {

constexpr char kProduct[] = "Lorvant";

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// A decimal number with '.' or sep as its separator; 0 for any other text.
double ReadNumber(const std::string& text, char sep) {
  size_t i = 0;
  const size_t n = text.size();
  std::string plain;
  if (i < n && (text[i] == '+' || text[i] == '-')) plain += text[i++];
  size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') plain += text[i++], ++digits;
  if (i < n && (text[i] == '.' || text[i] == sep)) {
    plain += '.';
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') plain += text[i++], ++digits;
  }
  if (digits == 0) return 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    size_t exponent = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') plain += text[i++], ++exponent;
    if (exponent == 0) return 0;
  }
  if (i != n) return 0;
  return std::strtod(plain.c_str(), nullptr);
}

std::string CurrentMajorMinor() { return GetFileVersionMajorMinor(GetExeName()); }

// Both checks ask the same way; a failed request means "no newer version".
void FetchLatestVersion(THttpClient& http, TUpdateNotice* notice, const std::atomic<bool>* cancel) {
  notice->CurrentVersion = CurrentMajorMinor();
  try {
    // Only the version number is read, so blanks and a line end around it
    // do not make the same version look new.
    notice->LatestVersion = TrimText(GetHttpText(
        http, VersionCheckUrl(GetFileVersionString(GetExeName()), RegisteredUserName()), cancel));
  } catch (const std::exception&) {
    notice->LatestVersion = notice->CurrentVersion;
  }
}

void WriteCheckDate(const DateTime& now) {
  RegWriteString(kProductKey, "CheckUpdateDate", FormatCheckDate(now));
}

}  // namespace

std::string GetHttpText(THttpClient& http, const std::string& url,
                        const std::atomic<bool>* cancel) {
  const THttpReply reply = http.Get(url, cancel);
  return reply.status == 200 ? reply.body : "";
}

std::string VersionCheckUrl(const std::string& version, const std::string& user_name) {
  return VendorEndpoint() + "/versioncheck.php?product=" + kProduct +
         "&version=" + UrlEncode(version) + "&username=" + UrlEncode(user_name);
}

std::string DownloadPageUrl() { return VendorEndpoint() + "/download.php?product=" + kProduct; }

std::string UpdateNewsUrl() { return VendorEndpoint() + "/update_news.php?product=" + kProduct; }

void FillUpdateNotice(TUpdateNotice* notice, bool manual) {
  if (IsUpdateAvailable(notice->LatestVersion, notice->CurrentVersion)) {
    notice->Show = true;
    notice->Header =
        std::string("Updates are available for ") + kProduct + ", version " + notice->LatestVersion;
    notice->Notify = "Please download and install latest version from ";
    notice->Link = DownloadPageUrl();
  } else if (manual) {
    notice->Show = true;
    notice->Header = "This is the latest version (" + notice->CurrentVersion + ") of " + kProduct;
    notice->Notify = "You can see update news on this page: ";
    notice->Link = UpdateNewsUrl();
  }
}

bool IsUpdateAvailable(const std::string& latest, const std::string& current) {
  return ReadNumber(latest, GetDecimalSeparator()) != 0 && latest != current;
}

std::string FormatCheckDate(const DateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%04d%02d%02d", t.year % 10000, t.month % 100, t.day % 100);
  return buf;
}

bool IsCheckDue(const std::string& date, const DateTime& now, bool* valid) {
  *valid = date.size() == 8 && date.find_first_not_of("0123456789") == std::string::npos;
  if (!*valid) return false;
  const int y = std::atoi(date.substr(0, 4).c_str());
  const int m = std::atoi(date.substr(4, 2).c_str());
  const int d = std::atoi(date.substr(6, 2).c_str());
  *valid = y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
  if (!*valid) return false;
  const long long then_ms = DaysFromCivil(y, m, d) * 86400000LL;
  const long long now_ms = DaysFromCivil(now.year, now.month, now.day) * 86400000LL +
                           ((now.hour * 60LL + now.minute) * 60 + now.second) * 1000 +
                           now.millisecond;
  return std::llabs(now_ms - then_ms) > 86400000LL;
}

TUpdateNotice RunAutomaticUpdateCheck(THttpClient& http, const DateTime& now,
                                      const std::atomic<bool>* cancel) {
  TUpdateNotice notice;
  notice.Caption = "Upgrade Notify";
  const std::string not_notify = RegReadString(kProductKey, "NotNotifyUpdate");
  const bool first = not_notify.empty();
  if (first) RegWriteString(kProductKey, "NotNotifyUpdate", "False");
  bool off = false;
  if (TryTextToBool(not_notify, &off) && off) return notice;
  if (!first) {
    const std::string date = RegReadString(kProductKey, "CheckUpdateDate");
    if (date.empty()) {
      WriteCheckDate(now);
      return notice;
    }
    bool valid = false;
    if (!IsCheckDue(date, now, &valid)) return notice;
  }
  FetchLatestVersion(http, &notice, cancel);
  FillUpdateNotice(&notice, false);
  WriteCheckDate(now);
  return notice;
}

TUpdateNotice RunManualUpdateCheck(THttpClient& http, const DateTime& now,
                                   const std::atomic<bool>* cancel) {
  TUpdateNotice notice;
  notice.Caption = "Check Update";
  FetchLatestVersion(http, &notice, cancel);
  FillUpdateNotice(&notice, true);
  WriteCheckDate(now);
  return notice;
}

void SetNotNotifyUpdate(bool not_notify) {
  RegWriteString(kProductKey, "NotNotifyUpdate", not_notify ? "-1" : "0");
}

}  // namespace lorvant
