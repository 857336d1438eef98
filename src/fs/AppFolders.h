// The per-user folders the program keeps its files in and guards: the home
// folder, the XDG config, data and documents folders, the XDG user folders,
// and the product's data folder. One rule finds them all, also when HOME or
// the XDG_* variables are unset (cron jobs and services often run so).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lorvant {

// The user's home folder: $HOME when it is absolute, else the account's
// from the password database; without trailing '/'. "" when neither is
// known.
std::string GetHomePath();

// $XDG_CONFIG_HOME when absolute, else home + "/.config"; "" without a home.
// Not created.
std::string GetConfigPath();

// $XDG_DATA_HOME when absolute, else home + "/.local/share", without
// trailing '/'; created with its missing parents when absent, as a fresh
// account may not have it yet. "" when no home folder is known. Never throws.
std::string GetAppDataPath();

// The XDG user folders (Desktop, Documents, Download, Music, Pictures,
// Public, Templates, Videos) as user-dirs.dirs in the config folder names
// them, each else home + "/" + its default name; "$HOME" is expanded and a
// relative entry is ignored. Pairs of the key ("DOCUMENTS") and the path,
// without trailing '/'; none without a home. Not created.
std::vector<std::pair<std::string, std::string>> GetUserFolders();

// The XDG documents folder (see GetUserFolders), created when absent. ""
// when no home folder is known. Never throws.
std::string GetDocumentsPath();

// GetAppDataPath() + "/" + name + "/", the last level created when missing.
// Throws Exception("Cannot create \"<folder>\"") when that fails.
std::string GetAppDataFolder(const std::string& name);

// GetAppDataFolder(name) + "exception.log".
std::string GetExceptionLogFile(const std::string& name);

}  // namespace lorvant
