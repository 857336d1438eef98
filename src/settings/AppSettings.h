// The start-up setting of the program: whether the launch page is shown,
// read once from the product key when the application starts.
#pragma once

#include <string_view>

namespace lorvant {

class TAppSettings {
 public:
  TAppSettings() = delete;

  // Set by Load(); true until then.
  static inline bool ShowLaunch = true;

  // ShowLaunch := not the boolean text of "NotShowLaunch" under the product
  // key (creating that value, empty, when missing); not a boolean -> false.
  static void Load();
};

// Reads a boolean text: a number (zero false, any other true) or True/False
// in any letter case. False, leaving *value alone, for any other text.
bool TryTextToBool(std::string_view text, bool* value);

}  // namespace lorvant
