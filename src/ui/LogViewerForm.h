// The log viewer: the in-memory debug log as it stood when it was opened.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;

namespace lorvant {

class TLogViewerForm : public QDialog {
  Q_OBJECT

 public:
  explicit TLogViewerForm(QWidget* parent = nullptr);

  // Replaces the shown text (CR LF line ends are shown as lines).
  void SetText(const std::string& text);

  QPlainTextEdit* memLog;
};

}  // namespace lorvant
