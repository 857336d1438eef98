// The per-user settings store: string values under a key path such as
// "Software\Pelmora\Lorvant", kept in $XDG_CONFIG_HOME (default ~/.config)
// with the key path as folders. Every write replaces the values file
// atomically under an advisory lock, so several processes may write at once.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "settings/ValuesFile.h"

namespace lorvant {

// The product key every setting of this program lives under.
inline constexpr char kProductKey[] = "Software\\Pelmora\\Lorvant";

// The value's text. A missing value is written as an empty value and ""
// returned; "" too when the key cannot be opened or created.
std::string RegReadString(const std::string& key, const std::string& value_name);
// Writes the value; does nothing when the key cannot be opened or created.
void RegWriteString(const std::string& key, const std::string& value_name,
                    const std::string& value);

// The folder that holds key's values (created by the calls above).
std::string RegKeyFolder(const std::string& key);

// Lower-level access for ordered lists stored under one key (the saved-task
// list): the values in file order, an atomic replacement of all of them, and
// a read-change-write of all of them under the key's lock, so two processes
// changing the list at once lose nothing. Each returns false when the key
// cannot be opened or created.
using RegValueList = ValueList;
bool RegReadAll(const std::string& key, RegValueList* values);
bool RegReplaceAll(const std::string& key, const RegValueList& values);
bool RegUpdateAll(const std::string& key, const std::function<void(RegValueList*)>& update);

}  // namespace lorvant
