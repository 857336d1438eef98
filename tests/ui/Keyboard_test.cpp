// The windows at the keyboard: every field label, button, tab and menu item
// has its accelerator, none taken twice in one window, and Escape closes
// the split window.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <set>

#include "ui/FileNameEdit.h"
#include "ui/FileSplitForm.h"
#include "ui/KeyboardCheck.h"
#include "ui/LinkButton.h"
#include "ui/MainForm.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

TEST(KeyboardTest, TheSplitWindowsCaptionsHaveTheirOwnAccelerators) {
  TFileSplitForm form(nullptr);
  std::vector<QString> captions = test::CaptionTexts(&form);
  for (const QString& tab : test::TabTexts(&form)) captions.push_back(tab);
  EXPECT_EQ(test::AcceleratorProblemsOf(captions), std::vector<std::string>{});
  // The shown texts stay as they were.
  for (const char* shown : {"Text File:", "Output Folder: ", "Max Lines per Split File", "Split",
                            "Stop", "Save Task", "Progress", "Log"}) {
    bool found = false;
    for (const QString& caption : captions) found |= QString(caption).remove('&') == shown;
    EXPECT_TRUE(found) << shown;
  }
}

TEST(KeyboardTest, TheStartPageAndItsMenusHaveTheirOwnAccelerators) {
  test::FakeDesktop desktop;
  TMainForm form(nullptr);
  // The task links show file names and times as they are.
  std::set<const QWidget*> task_links(form.lblRecentTask.begin(), form.lblRecentTask.end());
  task_links.insert(form.lblSavedTask.begin(), form.lblSavedTask.end());
  std::vector<QString> page = test::CaptionTexts(form.centralWidget(), task_links);
  for (QAction* menu : form.menuBar()->actions()) {
    page.push_back(menu->text());
    std::vector<QString> items;
    for (QAction* item : menu->menu()->actions()) {
      if (!item->isSeparator()) items.push_back(item->text());
    }
    EXPECT_EQ(test::AcceleratorProblemsOf(items), std::vector<std::string>{})
        << menu->text().toStdString();
  }
  EXPECT_EQ(test::AcceleratorProblemsOf(page), std::vector<std::string>{});
  EXPECT_EQ(form.alblWizard->text().remove('&').toStdString(), "New Task");
  EXPECT_EQ(form.lblSavedTaskMore->text().remove('&').toStdString(), "More ...");
}

// The split window closes on Escape like the dialogs.
TEST(KeyboardTest, EscapeClosesTheSplitWindow) {
  test::FakeDesktop desktop;
  TFileSplitForm form(nullptr);
  form.show();
  QApplication::setActiveWindow(&form);
  QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace lorvant
