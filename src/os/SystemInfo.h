// Facts about the system that the system information text reports: OS
// version, language, decimal separator, architecture, account rights and
// the running executable.
#pragma once

#include <string>

namespace lorvant {

// "<name> (Version <major>.<minor>, Build <patch>, 64-bit Edition)" from the
// PRETTY_NAME of os-release and the kernel's release and machine.
std::string GetOSVersionText();
// The pattern above filled in; release is a kernel release such as
// "6.1.0-18-amd64" (major, minor and patch, missing parts 0).
std::string FormatOSVersionText(const std::string& name, const std::string& release,
                                const std::string& machine);

// GetOSVersionText, then "System Language: " and "System Decimal
// Separator: " lines, CR LF separated: the system information of reports.
std::string GetSystemInfoText();

// True when the kernel runs a 64-bit machine (x86_64, aarch64, ...).
bool IsOS64Bit();

// English name of the language of the user's locale ($LC_ALL, $LC_MESSAGES,
// $LANG in that order): "de_DE.UTF-8" gives "German"; the C and POSIX
// locales give "English"; a code without a known name is returned as is.
std::string GetSystemLanguageName();

// Decimal separator of the user's locale from the environment; '.' when the
// locale is not available or its separator is not a single byte.
char GetDecimalSeparator();

// True when the process runs with root's effective user id.
bool IsAdmin();

// Full path of the running executable; "" when it cannot be read.
std::string GetExeName();

// The vendor's web address: $LORVANT_ENDPOINT when set, else
// "http://www.pelmora.example"; without a trailing '/'.
std::string VendorEndpoint();
// The product's page there, and the support address (for "mailto:").
std::string ProductPageUrl();
std::string SupportEmailAddress();

}  // namespace lorvant
