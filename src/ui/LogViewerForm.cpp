#include "ui/LogViewerForm.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace lorvant {

TLogViewerForm::TLogViewerForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Log");
  memLog = new QPlainTextEdit(this);
  memLog->setAccessibleName("Log");
  memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memLog->setFont(QFont("Monospace"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(memLog);
  resize(720, 440);
  memLog->setFocus();
}

void TLogViewerForm::SetText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  memLog->setPlainText(shown);
  memLog->moveCursor(QTextCursor::End);
}

}  // namespace lorvant
