// The screenshot an error report carries: the window the user was working
// in, grabbed by Qt and kept as "screenshot.jpg" in the data folder.
#pragma once

#include <string>

class QWidget;

namespace lorvant {

// Grabs window (nothing when nullptr) into path as a JPEG of quality 70,
// replacing the file atomically. Returns path, or "" when there was no
// window. Throws Exception when the file cannot be written.
std::string CaptureWindow(QWidget* window, const std::string& path);

// The window the user is working in: the active one, else the modal one
// on top, else the one holding the focus (without a window manager no
// window may count as active); nullptr when there is none.
QWidget* WorkingWindow();

// The file an error report's screenshot goes to.
std::string ScreenshotPath();

}  // namespace lorvant
