#include "ui/LinesSpinBox.h"

#include <algorithm>

namespace lorvant {
namespace {

// The digits of text without blanks and group separators, with its sign;
// false when text is no whole number.
bool ParseWhole(QString text, const QLocale& locale, bool* negative, QString* digits) {
  text.remove(' ');
  text.remove(locale.groupSeparator());
  *negative = text.startsWith('-');
  if (*negative || text.startsWith('+')) text.remove(0, 1);
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (c < '0' || c > '9') return false;
  }
  *digits = text;
  return true;
}

}  // namespace

TLinesSpinBox::TLinesSpinBox(QWidget* parent) : QSpinBox(parent) {}

int TLinesSpinBox::ValueOfText(const QString& text) const {
  bool negative = false;
  QString digits;
  if (!ParseWhole(text, locale(), &negative, &digits)) return minimum();
  if (negative) return minimum();
  while (digits.size() > 1 && digits.front() == '0') digits.remove(0, 1);
  // More digits than any int holds is above every ceiling.
  if (digits.size() > 10) return maximum();
  const qlonglong n = digits.toLongLong();
  return static_cast<int>(std::clamp<qlonglong>(n, minimum(), maximum()));
}

QValidator::State TLinesSpinBox::validate(QString& input, int&) const {
  bool negative = false;
  QString digits;
  if (!ParseWhole(input, locale(), &negative, &digits) || negative) {
    return QValidator::Intermediate;
  }
  bool ok = false;
  const qlonglong n = digits.toLongLong(&ok);
  return ok && n >= minimum() && n <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void TLinesSpinBox::fixup(QString& input) const { input = textFromValue(ValueOfText(input)); }

int TLinesSpinBox::valueFromText(const QString& text) const { return ValueOfText(text); }

}  // namespace lorvant
