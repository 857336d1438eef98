// A whole-number box for a count with a floor and a ceiling, as the split
// window's lines per file: any text may be typed, a text that is not a
// number counts as the floor, and leaving the box (or Enter) brings what
// was typed into range instead of quietly going back to the old value.
#pragma once

#include <QSpinBox>

namespace lorvant {

class TLinesSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  explicit TLinesSpinBox(QWidget* parent = nullptr);

  // The value text stands for: the floor for a text that is not a whole
  // number, else the number brought into minimum() .. maximum().
  int ValueOfText(const QString& text) const;

 protected:
  // In-range numbers are acceptable, every other text is intermediate, so
  // typing is never refused and fixup decides on leaving.
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  int valueFromText(const QString& text) const override;
};

}  // namespace lorvant
