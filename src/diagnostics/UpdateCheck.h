// The update check's decisions and its request: whether an automatic check
// is due (at most once a calendar day, unless switched off), which version
// the vendor's endpoint names, and what the dialog then says. The threads
// and the dialog that run it are the windows' (ui/UpdateChecks).
#pragma once

#include <atomic>
#include <string>

#include "net/HttpClient.h"
#include "os/Clock.h"

namespace lorvant {

// What a finished check asks the dialog to show; Show false: nothing.
struct TUpdateNotice {
  bool Show = false;
  std::string Caption;  // "Upgrade Notify" or "Check Update"
  std::string CurrentVersion, LatestVersion;
  std::string Header, Notify, Link;
};

// The body of url's answer when its status is 200, else "". Throws
// EHttpError when no answer arrives.
std::string GetHttpText(THttpClient& http, const std::string& url,
                        const std::atomic<bool>* cancel = nullptr);

// The version query, its values URL-encoded.
std::string VersionCheckUrl(const std::string& version, const std::string& user_name);
std::string DownloadPageUrl();
std::string UpdateNewsUrl();

// latest reads as a decimal number other than 0 and differs from current
// as text. The locale's decimal separator and "." are both accepted.
bool IsUpdateAvailable(const std::string& latest, const std::string& current);

// Fills the texts of notice from its two versions: the update when there is
// one; otherwise, for a manual check, the latest-version texts; otherwise
// nothing to show.
void FillUpdateNotice(TUpdateNotice* notice, bool manual);

// "yyyymmdd" of t.
std::string FormatCheckDate(const DateTime& t);
// Whether a check is due at now after one on date ("yyyymmdd"): more than
// a day (strictly) from that date's 00:00. *valid false when date is not a
// date in that layout.
bool IsCheckDue(const std::string& date, const DateTime& now, bool* valid);

// The automatic check: honours "NotNotifyUpdate" and the once-a-day rule
// (writing "False" on the first check and the date after a request), asks
// the endpoint and returns a notice to show only when an update exists.
TUpdateNotice RunAutomaticUpdateCheck(THttpClient& http, const DateTime& now,
                                      const std::atomic<bool>* cancel = nullptr);
// The manual check: always asks and always returns a notice to show.
TUpdateNotice RunManualUpdateCheck(THttpClient& http, const DateTime& now,
                                   const std::atomic<bool>* cancel = nullptr);

// The dialog's "Do not remind me again": writes "-1" or "0".
void SetNotNotifyUpdate(bool not_notify);

}  // namespace lorvant
