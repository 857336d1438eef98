#include "ui/LinkButton.h"

namespace lorvant {

TLinkButton::TLinkButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setFlat(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setAutoDefault(false);
  setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  SetLinkColor(Qt::blue);
}

void TLinkButton::SetLinkColor(const QColor& color) {
  color_ = color;
  // Flat, left-aligned text that still shows the keyboard focus.
  // The focus frame replaces a transparent one of the same width, so the
  // text neither moves nor gets clipped when the link takes the focus.
  setStyleSheet(QString("QPushButton { color: %1; text-decoration: underline;"
                        " border: 1px solid transparent; padding: 1px 2px; text-align: left;"
                        " background: transparent; }"
                        "QPushButton:focus { border: 1px dotted %1; }")
                    .arg(color.name()));
}

}  // namespace lorvant
