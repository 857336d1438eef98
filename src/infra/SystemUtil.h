// The per-user folders the program keeps its files in (XDG data and
// documents folders) and the facts about the system that the system
// information text reports: OS version, language, decimal separator.
#pragma once

#include <string>

namespace lorvant {

// The user's home folder: $HOME, else the account's; "" when unknown.
std::string GetHomePath();

// True when folder (relative to the current one) is the file system's root
// or the user's home folder, whatever name leads there.
bool IsRootOrHomeFolder(const std::string& folder);

// $XDG_DATA_HOME (when absolute), else $HOME/.local/share, without trailing
// '/'; created with its missing parents when absent, as a fresh account may
// not have it yet. "" when no home folder is known. Never throws.
std::string GetAppDataPath();

// XDG_DOCUMENTS_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (default
// ~/.config), else $HOME/Documents, without trailing '/'; created when
// absent. "" when no home folder is known. Never throws.
std::string GetDocumentsPath();

// GetAppDataPath() + "/" + name + "/", the last level created when missing.
// Throws Exception("Cannot create \"<folder>\"") when that fails.
std::string GetAppDataFolder(const std::string& name);

// GetAppDataFolder(name) + "exception.log".
std::string GetExceptionLogFile(const std::string& name);

// "<name> (Version <major>.<minor>, Build <patch>, 64-bit Edition)" from the
// PRETTY_NAME of os-release and the kernel's release and machine.
std::string GetOSVersionText();
// The pattern above filled in; release is a kernel release such as
// "6.1.0-18-amd64" (major, minor and patch, missing parts 0).
std::string FormatOSVersionText(const std::string& name, const std::string& release,
                                const std::string& machine);

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

}  // namespace lorvant
