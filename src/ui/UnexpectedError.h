// Where the windows send an error nobody expected: the application installs
// its handler (log at error level, then the report); until it does, or in
// tests, the message is shown in an error box. Callable from any thread:
// the handler always runs on the window's thread.
#pragma once

#include <functional>
#include <string>

namespace lorvant {

using TUnexpectedErrorHandler = std::function<void(const std::string& message)>;

// Installs handler (an empty one: the error box again).
void SetUnexpectedErrorHandler(TUnexpectedErrorHandler handler);
// Hands message to the handler, on the window's thread.
void ReportUnexpectedError(const std::string& message);
// Runs fn on the window's thread: at once when called there, else queued.
void RunOnWindowThread(std::function<void()> fn);

}  // namespace lorvant
