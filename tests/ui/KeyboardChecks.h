// Test support for the windows' keyboard use: the accelerators of a
// window's captions, and the check that each has its own.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>
#include <map>
#include <set>
#include <string>

namespace lorvant::test {

// The accelerator of a caption ("&Split" -> 's'); 0 without one. "&&" is a
// shown "&".
inline char Accelerator(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return static_cast<char>(text[i + 1].toLower().toLatin1());
  }
  return 0;
}

// Collects the captions of a window's labels that name a field, its
// buttons (the browse buttons show an icon only and are reached by Tab)
// and tabs, as caption -> accelerator.
inline std::map<std::string, char> Captions(QWidget* window, const std::set<QWidget*>& skip = {}) {
  std::map<std::string, char> out;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->buddy() != nullptr || Accelerator(label->text()) != 0) {
      EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
      out[label->text().toStdString()] = Accelerator(label->text());
    }
  }
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (qobject_cast<QToolButton*>(button) != nullptr || skip.contains(button)) continue;
    out[button->text().toStdString()] = Accelerator(button->text());
  }
  for (QTabBar* tabs : window->findChildren<QTabBar*>()) {
    for (int i = 0; i < tabs->count(); ++i) {
      out[tabs->tabText(i).toStdString()] = Accelerator(tabs->tabText(i));
    }
  }
  return out;
}

// Every caption has an accelerator, and no two share one.
inline void ExpectOwnAccelerators(const std::map<std::string, char>& captions) {
  std::map<char, std::string> taken;
  for (const auto& [caption, key] : captions) {
    SCOPED_TRACE(caption);
    EXPECT_NE(key, 0);
    if (key == 0) continue;
    auto [it, fresh] = taken.emplace(key, caption);
    EXPECT_TRUE(fresh) << "'" << key << "' also in " << it->second;
  }
}

}  // namespace lorvant::test
