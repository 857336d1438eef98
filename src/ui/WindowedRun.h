// The windowed run as the application starts it: the windows live in a
// module of their own (lorvant-gui.so), loaded only when there are windows
// to show, so a command-line run never loads Qt. The application hands the
// module what the windows need of it.
#pragma once

#include <functional>
#include <string>

namespace lorvant {

class TSessionManager;
class TSimpleBatchFileCreator;

struct TWindowsHost {
  TSessionManager* session_manager = nullptr;             // not owned
  TSimpleBatchFileCreator* batch_file_creator = nullptr;  // not owned
  // The application's handling of an unexpected error (log, then report).
  std::function<void(const std::string& message)> handle_error;
};

// Shows the main window until it closes, with the dialogs plugged into the
// host's session manager and batch-file creator; unplugs them after.
// Returns the application's exit code.
int RunWindows(TWindowsHost& host);

}  // namespace lorvant

// Shows the exception report for message in an application of its own:
// the application object failed while being set up, so nothing else runs.
int ShowSetupFailure(const std::string& message);

// The module's entries, looked up by name: RunWindows(*host) and
// ShowSetupFailure(message).
extern "C" int LorvantRunWindows(lorvant::TWindowsHost* host);
constexpr const char* kLorvantWindowsEntry = "LorvantRunWindows";
extern "C" int LorvantShowSetupFailure(const char* message);
constexpr const char* kLorvantSetupFailureEntry = "LorvantShowSetupFailure";
