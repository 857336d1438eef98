#include "ui/CaptureScreen.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "image/JpegEncoder.h"

namespace lorvant {

std::string CaptureWindow(QWidget* window, const std::string& path) {
  if (window == nullptr) return "";
  const QImage image = window->grab().toImage().convertToFormat(QImage::Format_RGB888);
  const std::string jpeg = EncodeJpeg(image.constBits(), image.width(), image.height(),
                                      static_cast<size_t>(image.bytesPerLine()), 70);
  WriteFileAtomically(path, jpeg);
  return path;
}

QWidget* WorkingWindow() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* focus = QApplication::focusWidget()) return focus->window();
  return nullptr;
}

std::string ScreenshotPath() { return GetAppDataFolder("Lorvant") + "screenshot.jpg"; }

}  // namespace lorvant
