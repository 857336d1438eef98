// The windows at the keyboard: every field label, button, tab and menu item
// has its accelerator, none taken twice in one window, the dialogs start in
// their first field and Escape closes them.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <map>
#include <set>

#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "tasks/SessionSaver.h"
#include "tasks/SimpleBatchFileCreator.h"
#include "ui/BatchFileCreateDlg.h"
#include "ui/FileNameEdit.h"
#include "ui/FileSplitForm.h"
#include "ui/LinkButton.h"
#include "ui/MainForm.h"
#include "ui/SessionSaveDlg.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

// The accelerator of a caption ("&Split" -> 's'); 0 without one. "&&" is a
// shown "&".
char Accelerator(const QString& text) {
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
std::map<std::string, char> Captions(QWidget* window, const std::set<QWidget*>& skip = {}) {
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
void ExpectOwnAccelerators(const std::map<std::string, char>& captions) {
  std::map<char, std::string> taken;
  for (const auto& [caption, key] : captions) {
    SCOPED_TRACE(caption);
    EXPECT_NE(key, 0);
    if (key == 0) continue;
    auto [it, fresh] = taken.emplace(key, caption);
    EXPECT_TRUE(fresh) << "'" << key << "' also in " << it->second;
  }
}

TEST(KeyboardTest, TheSplitWindowsCaptionsHaveTheirOwnAccelerators) {
  TFileSplitForm form(nullptr);
  const auto captions = Captions(&form);
  ExpectOwnAccelerators(captions);
  // The shown texts stay as they were.
  for (const char* shown : {"Text File:", "Output Folder: ", "Max Lines per Split File", "Split",
                            "Stop", "Save Task", "Progress", "Log"}) {
    bool found = false;
    for (const auto& [caption, key] : captions)
      found |= QString::fromStdString(caption).remove('&') == shown;
    EXPECT_TRUE(found) << shown;
  }
}

TEST(KeyboardTest, TheStartPageAndItsMenusHaveTheirOwnAccelerators) {
  test::FakeDesktop desktop;
  TMainForm form(nullptr);
  // The task links show file names and times as they are.
  std::set<QWidget*> task_links(form.lblRecentTask.begin(), form.lblRecentTask.end());
  task_links.insert(form.lblSavedTask.begin(), form.lblSavedTask.end());
  std::map<std::string, char> page = Captions(form.centralWidget(), task_links);
  for (QAction* menu : form.menuBar()->actions()) {
    page[menu->text().toStdString()] = Accelerator(menu->text());
    std::map<std::string, char> items;
    for (QAction* item : menu->menu()->actions()) {
      if (!item->isSeparator()) items[item->text().toStdString()] = Accelerator(item->text());
    }
    SCOPED_TRACE(menu->text().toStdString());
    ExpectOwnAccelerators(items);
  }
  ExpectOwnAccelerators(page);
  EXPECT_EQ(form.alblWizard->text().remove('&').toStdString(), "New Task");
  EXPECT_EQ(form.lblSavedTaskMore->text().remove('&').toStdString(), "More ...");
}

class DialogKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("keys");
    batch_.SetDialogFactory([] { return std::make_unique<TSimpleBatchFileCreateDlg>(); });
    batch_.OptionName = "task";
    manager_.SetDialogFactory([] { return std::make_unique<TSessionSaveDlg>(); });
    session_.SourceFile = dir_ + "/data.txt";
    session_.DestFolder = dir_ + "/out";
    session_.MaxLines = 10;
  }

  test::FakeDesktop desktop_;
  test::ErrorRecorder errors_;
  std::string dir_;
  TSimpleBatchFileCreator batch_{nullptr};
  TSessionManager manager_{&batch_};
  TFileSplitSession session_;
};

// Each dialog starts in its first field, has its accelerators, and Escape
// closes it as Cancel would.
TEST_F(DialogKeyboardTest, DialogsStartInTheirFirstFieldAndEscapeClosesThem) {
  bool save_seen = false;
  test::OnNextModal<TSessionSaveDlg>([&](TSessionSaveDlg* dlg) {
    save_seen = true;
    EXPECT_EQ(dlg->focusWidget(), dlg->edtSessionFile->LineEdit());
    ExpectOwnAccelerators(Captions(dlg));
    QTest::keyClick(dlg->focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
  });
  EXPECT_FALSE(manager_.SaveSession(&session_));
  EXPECT_TRUE(save_seen);

  bool batch_seen = false;
  test::OnNextModal<TSessionSaveDlg>([&](TSessionSaveDlg* dlg) {
    dlg->edtSessionFile->SetText(dir_ + "/nightly.sft");
    dlg->btnBatch->click();
  });
  test::OnNextModal<TSimpleBatchFileCreateDlg>([&](TSimpleBatchFileCreateDlg* dlg) {
    batch_seen = true;
    EXPECT_EQ(dlg->focusWidget(), dlg->edtSessionFile->LineEdit());
    ExpectOwnAccelerators(Captions(dlg));
    EXPECT_EQ(dlg->lblSessionFile->text().remove('&').toStdString(), "Task File");
    QTest::keyClick(dlg->focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
  });
  EXPECT_TRUE(manager_.SaveSession(&session_));  // the task is saved; the script is not made
  EXPECT_TRUE(batch_seen);
  EXPECT_FALSE(test::PathExists(dir_ + "/nightly.sh"));
  EXPECT_TRUE(desktop_.messages.empty());
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
