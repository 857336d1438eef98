#include "ui/Mnemonics.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>
#include <cstdint>
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

// The positions of text's letters that are not in used, first letters of
// words first, each letter once.
std::vector<int> Candidates(const QString& text, const std::set<QChar>& used) {
  std::vector<int> order;
  std::set<QChar> seen;
  auto consider = [&](int i) {
    const QChar letter = text[i].toLower();
    if (used.count(letter) == 0 && seen.insert(letter).second) order.push_back(i);
  };
  for (int i = 0; i < text.size(); ++i) {
    const bool word_start = i == 0 || !text[i - 1].isLetterOrNumber();
    if (word_start && Markable(text[i])) consider(i);
  }
  for (int i = 0; i < text.size(); ++i) {
    if (Markable(text[i])) consider(i);
  }
  return order;
}

// Marks each of texts with a letter not in used, adding it there. The text
// with the fewest letters left goes first, so that a short one is not left
// without; a text keeps no letter when every one of its letters is taken.
void MarkAll(std::vector<const Caption*> texts, std::set<QChar>* used) {
  while (!texts.empty()) {
    auto fewest = texts.begin();
    size_t least = SIZE_MAX;
    for (auto it = texts.begin(); it != texts.end(); ++it) {
      const size_t n = Candidates((*it)->get(), *used).size();
      if (n < least) {
        least = n;
        fewest = it;
      }
    }
    const Caption* caption = *fewest;
    texts.erase(fewest);
    const QString text = caption->get();
    const std::vector<int> order = Candidates(text, *used);
    if (order.empty()) continue;
    used->insert(text[order.front()].toLower());
    caption->set(text.left(order.front()) + '&' + text.mid(order.front()));
  }
}

// The widget whose pages hold w (a page of a stacked widget), or nullptr
// when w sits on the window itself.
QWidget* PageOf(QWidget* w, QWidget* window) {
  for (QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget()) {
    if (qobject_cast<QStackedWidget*>(p->parentWidget()) != nullptr) return p;
  }
  return nullptr;
}

// The texts shown together: those of a window or of one page of a stacked
// widget (the pages of a tab widget too), and the pages inside it. Tabs
// take no letter: Ctrl+Tab moves between them, and the fields on them
// need every letter there is.
struct Scope {
  std::vector<Caption> captions;
  std::vector<Scope> pages;
};

// The texts of scope that can be seen with it: what the window hides for
// good (the other generation's panels, say) takes no letter.
Scope Collect(QWidget* scope, QWidget* window) {
  Scope result;
  QWidget* const own = scope == window ? nullptr : scope;
  if (own == nullptr) {
    for (QAction* action : window->actions()) {
      if (action->isSeparator() || action->text().isEmpty()) continue;
      result.captions.push_back({[action] { return action->text(); },
                                 [action](const QString& t) { action->setText(t); }});
    }
  }
  for (QWidget* w : scope->findChildren<QWidget*>()) {
    if (w->window() != window || PageOf(w, window) != own) continue;
    if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget())) {
      if (stack == scope || stack->isVisibleTo(scope)) result.pages.push_back(Collect(w, window));
      continue;
    }
    if (!w->isVisibleTo(scope)) continue;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      if (qobject_cast<QToolButton*>(w) != nullptr || button->text().isEmpty()) continue;
      result.captions.push_back({[button] { return button->text(); },
                                 [button](const QString& t) { button->setText(t); }});
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      if (label->buddy() == nullptr || label->textFormat() == Qt::RichText) continue;
      result.captions.push_back(
          {[label] { return label->text(); }, [label](const QString& t) { label->setText(t); }});
    }
  }
  return result;
}

// The letters the texts of scope and of all its pages already mark.
void Given(const Scope& scope, std::set<QChar>* letters) {
  for (const Caption& caption : scope.captions) {
    const QChar letter = MnemonicOf(caption.get());
    if (!letter.isNull()) letters->insert(letter);
  }
  for (const Scope& page : scope.pages) Given(page, letters);
}

// Marks the texts of scope without a letter, keeping clear of the letters
// above it and of every letter given below, so that a page's own letters
// stay its own.
void Assign(const Scope& scope, const std::set<QChar>& above) {
  std::set<QChar> used = above;
  Given(scope, &used);
  std::vector<const Caption*> unmarked;
  for (const Caption& caption : scope.captions) {
    if (MnemonicOf(caption.get()).isNull()) unmarked.push_back(&caption);
  }
  MarkAll(unmarked, &used);
  // Each page keeps clear of what surrounds it, not of its siblings.
  std::set<QChar> around = above;
  for (const Caption& caption : scope.captions) {
    const QChar letter = MnemonicOf(caption.get());
    if (!letter.isNull()) around.insert(letter);
  }
  for (const Scope& page : scope.pages) Assign(page, around);
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

void AssignMnemonics(QWidget* window) { Assign(Collect(window, window), {}); }

}  // namespace lorvant
