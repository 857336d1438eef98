// Test support for the keyboard and assistive technology: whether every
// control of a window that can be seen carries an accelerator of its own,
// what Escape does, and a check box toggled as a screen reader does it.
#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/HyperLink.h"

namespace lorvant::test {

// The letter after a single '&' of text, in lower case; 0 when none.
inline char AcceleratorOf(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toLower().toLatin1();
  }
  return 0;
}

// The captions of window's visible buttons and check boxes (no icon-only
// tool buttons, no links that show an address, none of skip) and of its
// labels that name a field. window may be a part of a window.
inline std::vector<QString> CaptionTexts(QWidget* window,
                                         const std::set<const QWidget*>& skip = {}) {
  std::vector<QString> texts;
  for (auto* b : window->findChildren<QAbstractButton*>()) {
    if (b->window() != window->window() || !b->isVisibleTo(window) || b->text().isEmpty() ||
        skip.count(b) > 0 || qobject_cast<QToolButton*>(b) != nullptr ||
        qobject_cast<THyperLink*>(b) != nullptr) {
      continue;
    }
    texts.push_back(b->text());
  }
  for (auto* l : window->findChildren<QLabel*>()) {
    if (l->window() == window->window() && l->isVisibleTo(window) && l->buddy() != nullptr &&
        skip.count(l) == 0) {
      texts.push_back(l->text());
    }
  }
  return texts;
}

// The texts of window's tabs.
inline std::vector<QString> TabTexts(QWidget* window) {
  std::vector<QString> texts;
  for (auto* tabs : window->findChildren<QTabBar*>()) {
    for (int i = 0; i < tabs->count(); ++i) texts.push_back(tabs->tabText(i));
  }
  return texts;
}

// The texts that have no accelerator or share theirs with another one;
// empty when each has its own. A letter shared by two texts of given
// (accelerators the design fixed) is not counted.
inline std::vector<std::string> AcceleratorProblemsOf(const std::vector<QString>& texts,
                                                      const std::vector<QString>& given = {}) {
  std::vector<std::string> problems;
  std::map<char, QString> seen;
  for (const QString& text : texts) {
    const char letter = AcceleratorOf(text);
    if (letter == 0) {
      problems.push_back("no accelerator: " + text.toStdString());
    } else if (!seen.emplace(letter, text).second &&
               !(std::count(given.begin(), given.end(), text) > 0 &&
                 std::count(given.begin(), given.end(), seen[letter]) > 0)) {
      problems.push_back("'" + std::string(1, letter) + "' twice: " + seen[letter].toStdString() +
                         " / " + text.toStdString());
    }
  }
  return problems;
}

// The problems of window's captions (CaptionTexts).
inline std::vector<std::string> AcceleratorProblems(QWidget* window,
                                                    const std::vector<QString>& given = {}) {
  return AcceleratorProblemsOf(CaptionTexts(window), given);
}

// The widget that takes the keys once window is the active window.
inline QWidget* KeyboardFocus(QWidget* window) {
  QApplication::processEvents();
  return window->focusWidget();
}

// Presses Escape where the keyboard is and says whether dialog closed.
inline bool EscapeCloses(QWidget* dialog) {
  QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : dialog;
  QTest::keyClick(target, Qt::Key_Escape);
  return !dialog->isVisible();
}

// Toggles box through its accessible action, as a screen reader does: no
// click is sent. False when the box offers no such action.
inline bool AccessibleToggle(QAbstractButton* box) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
  if (accessible == nullptr || accessible->actionInterface() == nullptr) return false;
  QAccessibleActionInterface* actions = accessible->actionInterface();
  if (!actions->actionNames().contains(QAccessibleActionInterface::toggleAction())) return false;
  actions->doAction(QAccessibleActionInterface::toggleAction());
  return true;
}

}  // namespace lorvant::test
