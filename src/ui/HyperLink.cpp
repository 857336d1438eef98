#include "ui/HyperLink.h"

#include "ui/Desktop.h"

namespace lorvant {

THyperLink::THyperLink(QWidget* parent) : TLinkButton(QString(), parent) {
  QFont f = font();
  f.setPointSize(8);
  setFont(f);
  connect(this, &QPushButton::clicked, this, &THyperLink::Clicked);
}

void THyperLink::Clicked() {
  if (handler_) {
    handler_();
    return;
  }
  if (URL.empty()) return;
  Open(URL);
  SetLinkColor(QColor(128, 0, 128));
}

int THyperLink::Open(const std::string& target) {
  const int code = Desktop().Open(target);
  if (code <= 32) Desktop().ShowMessage(window(), OpenFailureMessage(code));
  return code;
}

}  // namespace lorvant
