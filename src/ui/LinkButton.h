// A link on a page: blue, underlined, the hand cursor, and a button to the
// keyboard and to screen readers (it takes the focus and answers Space).
#pragma once

#include <QPushButton>

namespace lorvant {

class TLinkButton : public QPushButton {
  Q_OBJECT

 public:
  explicit TLinkButton(const QString& text, QWidget* parent = nullptr);
  // Draws the link in colour (blue, or purple once visited).
  void SetLinkColor(const QColor& color);
  QColor LinkColor() const { return color_; }

 private:
  QColor color_;
};

}  // namespace lorvant
