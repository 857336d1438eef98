// Keyboard accelerators for a window's controls: every button, check box,
// labelled field and command of a window gets an underlined letter
// (Alt+letter), as desktop users expect. Accelerators a text already has are
// kept; the others are chosen so that no two controls that can be seen
// together share one. Only the underline is new: the shown text stays.
#pragma once

#include <QChar>
#include <QString>

class QWidget;

namespace lorvant {

// The letter text marks with '&' (in lower case), or a null QChar when it
// marks none ("&&" is a plain '&').
QChar MnemonicOf(const QString& text);

// Gives each control of window without an accelerator one. The pages of a
// stacked widget or tab widget, shown one at a time, may reuse each
// other's letters, but never those of the controls around them.
void AssignMnemonics(QWidget* window);

}  // namespace lorvant
