// Finds and loads the windows' module, lorvant-gui.so, which holds the
// windows and Qt: only a windowed run loads it, so a run from the command
// line (or from cron) starts without Qt's libraries.
#pragma once

#include <string>
#include <vector>

namespace lorvant {

struct TWindowsHost;

using TRunWindowsEntry = int (*)(TWindowsHost*);
using TShowSetupFailureEntry = int (*)(const char*);

// Where the module may be, in the order tried: beside the executable (a
// build), then <prefix>/lib/lorvant/ for an executable in <prefix>/bin.
std::vector<std::string> WindowsModuleCandidates(const std::string& exe_path);
// Loads the module (once; it stays loaded) and returns its entry; nullptr
// with *error set when no candidate loads.
TRunWindowsEntry LoadWindowsModule(std::string* error);
// The same for the entry that reports a failed set-up.
TShowSetupFailureEntry LoadSetupFailureEntry(std::string* error);
// Whether there is a display to open windows on (X11 or Wayland), or Qt is
// told to draw without one (QT_QPA_PLATFORM offscreen or minimal).
bool DisplayAvailable();

}  // namespace lorvant
