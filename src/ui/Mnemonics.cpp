#include "ui/Mnemonics.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <functional>
#include <set>
#include <vector>

namespace lorvant {
namespace {

// A text that can carry an accelerator, read and written through its
// owner.
struct Caption {
  std::function<QString()> get;
  std::function<void(const QString&)> set;
};

bool Markable(QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }

// The text with '&' put before a letter not in used (first letters of
// words first, then any), and that letter added to used; the text as it
// was when every letter is taken.
QString Marked(const QString& text, std::set<QChar>* used) {
  std::vector<int> order;
  for (int i = 0; i < text.size(); ++i) {
    const bool word_start = i == 0 || !text[i - 1].isLetterOrNumber();
    if (word_start && Markable(text[i])) order.push_back(i);
  }
  for (int i = 0; i < text.size(); ++i) {
    if (Markable(text[i])) order.push_back(i);
  }
  for (int i : order) {
    const QChar letter = text[i].toLower();
    if (used->count(letter) == 0) {
      used->insert(letter);
      return text.left(i) + '&' + text.mid(i);
    }
  }
  return text;
}

// The widget whose pages hold w (a page of a stacked widget), or nullptr
// when w sits on the window itself.
QWidget* PageOf(QWidget* w, QWidget* window) {
  for (QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget()) {
    if (qobject_cast<QStackedWidget*>(p->parentWidget()) != nullptr) return p;
  }
  return nullptr;
}

void Collect(QWidget* scope, QWidget* window, std::vector<Caption>* captions,
             std::vector<QWidget*>* pages) {
  QWidget* const own = scope == window ? nullptr : scope;
  for (QWidget* w : scope->findChildren<QWidget*>()) {
    if (w->window() != window || PageOf(w, window) != own) continue;
    if (qobject_cast<QStackedWidget*>(w->parentWidget()) != nullptr) {
      pages->push_back(w);
      continue;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      if (qobject_cast<QToolButton*>(w) != nullptr || button->text().isEmpty()) continue;
      captions->push_back({[button] { return button->text(); },
                           [button](const QString& t) { button->setText(t); }});
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      if (label->buddy() == nullptr || label->textFormat() == Qt::RichText) continue;
      captions->push_back(
          {[label] { return label->text(); }, [label](const QString& t) { label->setText(t); }});
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
      for (int i = 0; i < tabs->count(); ++i) {
        captions->push_back({[tabs, i] { return tabs->tabText(i); },
                             [tabs, i](const QString& t) { tabs->setTabText(i, t); }});
      }
    }
  }
}

void Assign(QWidget* scope, QWidget* window, std::set<QChar> used) {
  std::vector<Caption> captions;
  std::vector<QWidget*> pages;
  if (scope == window) {
    for (QAction* action : window->actions()) {
      if (action->isSeparator() || action->text().isEmpty()) continue;
      captions.push_back({[action] { return action->text(); },
                          [action](const QString& t) { action->setText(t); }});
    }
  }
  Collect(scope, window, &captions, &pages);
  for (const Caption& caption : captions) {
    const QChar letter = MnemonicOf(caption.get());
    if (!letter.isNull()) used.insert(letter);
  }
  for (const Caption& caption : captions) {
    const QString text = caption.get();
    if (MnemonicOf(text).isNull()) caption.set(Marked(text, &used));
  }
  for (QWidget* page : pages) Assign(page, window, used);
}

}  // namespace

QChar MnemonicOf(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toLower();
  }
  return QChar();
}

void AssignMnemonics(QWidget* window) { Assign(window, window, {}); }

}  // namespace lorvant
