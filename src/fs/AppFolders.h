// The per-user folders the program keeps its files in: the home folder, the
// XDG config, data and documents folders, and the product's data folder.
// One rule finds them all, also when HOME or XDG_* are unset.
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

}  // namespace lorvant
