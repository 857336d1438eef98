#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "diagnostics/ExceptionReport.h"
#include "fs/AppFolders.h"
#include "os/SystemInfo.h"
#include "os/VersionUtil.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "tasks/SessionSaver.h"
#include "tasks/SimpleBatchFileCreator.h"
#include "ui/AboutBox.h"
#include "ui/BatchFileCreateDlg.h"
#include "ui/FileNameEdit.h"
#include "ui/HyperLink.h"
#include "ui/KeyboardCheck.h"
#include "ui/LogViewerForm.h"
#include "ui/SessionSaveDlg.h"
#include "ui/UiTestSupport.h"
#include "ui/VersionLabel.h"
#include "ui/WebBrowserForm.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

class SaveFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("save");
    batch_.SetDialogFactory([] { return std::make_unique<TSimpleBatchFileCreateDlg>(); });
    batch_.OptionName = "task";
    manager_.SetDialogFactory([] { return std::make_unique<TSessionSaveDlg>(); });
    session_.SourceFile = dir_ + "/big data.csv";
    session_.DestFolder = dir_ + "/out";
    session_.MaxLines = 500;
  }
  // Saves through the dialog, typing name and pressing button there.
  bool Save(const std::string& name, const char* button) {
    test::OnNextModal<TSessionSaveDlg>([name, button](TSessionSaveDlg* dlg) {
      dlg->edtSessionFile->SetText(name);
      QPushButton* b = std::string(button) == "OK"       ? dlg->btnSave
                       : std::string(button) == "Cancel" ? dlg->btnCancel
                                                         : dlg->btnBatch;
      b->click();
      if (dlg->isVisible()) dlg->reject();  // a failed check keeps it open
    });
    return manager_.SaveSession(&session_);
  }

  test::FakeDesktop desktop_;
  test::ErrorRecorder errors_;
  std::string dir_;
  TSimpleBatchFileCreator batch_{nullptr};
  TSessionManager manager_{&batch_};
  TFileSplitSession session_;
};

TEST_F(SaveFlowTest, ABareNameGoesToTheDocumentsFolderAndTheTaskIsWritten) {
  std::string description;
  test::OnNextModal<TSessionSaveDlg>([&description](TSessionSaveDlg* dlg) {
    description = dlg->lblSessionDesc->text().toStdString();
    dlg->edtSessionFile->SetText("my task");
    dlg->btnSave->click();
  });
  EXPECT_TRUE(manager_.SaveSession(&session_));
  EXPECT_EQ(description, "Save Session (From : " + dir_ + "/big data.csv  To : " + dir_ +
                             "/out  Max Lines per Split File: 500)");
  const std::string saved = GetDocumentsPath() + "/Lorvant/my_task.sft";
  EXPECT_EQ(session_.FileName, saved);
  TFileSplitSession back;
  back.ReadFromFile(saved);
  EXPECT_EQ(back.SourceFile, session_.SourceFile);
  EXPECT_EQ(back.MaxLines, 500);
  // The check created the file with one empty line; the save backed that up.
  EXPECT_EQ(test::ReadBytes(saved + ".bak"), "\r\n");
  EXPECT_EQ(session_.SavedTaskList().Items().front(), saved);

  // Saving again keeps the previous task as the backup.
  const std::string before = test::ReadBytes(saved);
  session_.MaxLines = 7;
  EXPECT_TRUE(Save(saved, "OK"));
  EXPECT_EQ(test::ReadBytes(saved + ".bak"), before);
}

TEST_F(SaveFlowTest, NameChecksKeepTheDialogOpenWithTheirMessage) {
  EXPECT_FALSE(Save("   ", "OK"));
  EXPECT_FALSE(Save(dir_ + "/missing folder/t.sft", "OK"));
  ASSERT_EQ(desktop_.messages.size(), 2u);
  EXPECT_EQ(desktop_.messages[0], "Please choose/enter Sessoin file.");
  EXPECT_EQ(desktop_.messages[1], "Can not create Session file \"" + dir_ +
                                      "/missing folder/t.sft\": No such file or directory, "
                                      "please select another file.");
  // A name with a folder keeps its blanks; Cancel writes nothing.
  EXPECT_FALSE(Save(dir_ + "/my task", "Cancel"));
  EXPECT_FALSE(test::PathExists(dir_ + "/my task.sft"));
  EXPECT_TRUE(Save(dir_ + "/my task", "OK"));
  EXPECT_EQ(session_.FileName, dir_ + "/my task.sft");
  // Cancelled later, a task saved before still counts as saved.
  EXPECT_TRUE(Save("ignored", "Cancel"));
}

TEST_F(SaveFlowTest, SaveAndMakeBatchFileWritesTheScriptAndOpensItInTheEditor) {
  std::vector<std::string> boxes;
  test::OnNextModal<TSimpleBatchFileCreateDlg>([&](TSimpleBatchFileCreateDlg* dlg) {
    boxes = {dlg->lblSessionFile->text().remove(QChar('&')).toStdString(),
             dlg->edtSessionFile->Text(), dlg->edtLogFile->Text(), dlg->edtBatchFile->Text()};
    EXPECT_TRUE(dlg->btnScheduleTask->isEnabled());
    // An empty log file name is refused and the dialog stays open.
    dlg->edtLogFile->SetText("");
    dlg->btnOK->click();
    EXPECT_TRUE(dlg->isVisible());
    dlg->edtLogFile->SetText(boxes[2]);
    dlg->btnOK->click();
  });
  EXPECT_TRUE(Save(dir_ + "/nightly.sft", "Batch"));
  const std::string script = dir_ + "/nightly.sh";
  EXPECT_EQ(boxes, (std::vector<std::string>{"Task File", dir_ + "/nightly.sft",
                                             dir_ + "/nightly.log", script}));
  EXPECT_EQ(desktop_.messages, (std::vector<std::string>{"Please enter log file name.",
                                                         "File " + script + " Created."}));
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{script});
  EXPECT_NE(test::ReadBytes(script).find("task=\"" + dir_ + "/nightly.sft\""), std::string::npos);
  EXPECT_EQ(fs::status(script).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
}

TEST(AboutBoxTest, ShowsTheProductVersionAndAnEmptyLinkRow) {
  test::FakeDesktop desktop;
  std::string product, version, link;
  bool link_shown = true, on_ok = false;
  std::vector<std::string> problems;
  test::OnNextModal<TAboutBox>([&](TAboutBox* box) {
    product = box->ProductName->text().toStdString();
    version = box->VersionLabel1->text().toStdString();
    link_shown = box->HyperLink1->isVisible();
    on_ok = test::KeyboardFocus(box) == box->OKButton;
    problems = test::AcceleratorProblems(box);
    box->HyperLink1->click();  // no link kind: nothing happens
    box->OKButton->click();
  });
  TAboutBoxDialog dialog;
  dialog.ProductName = "Lorvant";
  EXPECT_TRUE(dialog.Execute());
  // The box and the error report say the same of the build's architecture.
  TExceptionReport report;
  report.Prepare("Disk full", "");
  const std::string app_version = report.Fields.Get("app_version");
  const std::string architecture = " (" + GetAppArchitecture() + ")";
  EXPECT_EQ(product, "Lorvant" + architecture);
  EXPECT_EQ(app_version.substr(app_version.size() - architecture.size()), architecture);
#if defined(__x86_64__)
  EXPECT_EQ(product, "Lorvant (x64)");
#endif
  EXPECT_TRUE(on_ok);
  EXPECT_EQ(problems, std::vector<std::string>{});
  EXPECT_EQ(version, FillVersionMask("Version %s.%s (Release %s Build %s)",
                                     GetFileVersionString(GetExeName())));
  EXPECT_FALSE(link_shown);
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_EQ(FillVersionMask("Version %s.%s (Release %s Build %s)", "1.0.1.201208"),
            "Version 1.0 (Release 1 Build 201208)");
  EXPECT_EQ(FillVersionMask("Version %s.%s (Release %s Build %s)", "x.x.x.x"),
            "Version x.x (Release x Build x)");
}

TEST(SmallWindowsTest, TheLogAndThePageTakeTheKeyboardAndEscapeCloses) {
  TLogViewerForm log;
  log.SetText("one\r\ntwo");
  TWebBrowserForm page;
  page.SetPage("<p>Solved</p>");
  const struct {
    QDialog* dialog;
    QWidget* first;
  } cases[] = {{&log, log.memLog}, {&page, page.WebBrowser1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dialog->windowTitle().toStdString());
    bool focused = false, closed = false;
    test::OnNextModal<QDialog>([&](QDialog* shown) {
      focused = test::KeyboardFocus(shown) == c.first;
      closed = test::EscapeCloses(shown);
      if (!closed) shown->reject();
    });
    EXPECT_EQ(c.dialog->exec(), QDialog::Rejected);
    EXPECT_TRUE(focused);
    EXPECT_TRUE(closed);
  }
}

TEST(HyperLinkTest, OpensItsAddressAndSaysWhyWhenTheDesktopCannot) {
  test::FakeDesktop desktop;
  THyperLink link;
  link.click();  // no address: nothing, and it stays blue
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_EQ(link.LinkColor(), QColor(Qt::blue));
  link.URL = "http://127.0.0.1:9/";
  struct Case {
    int code;
    const char* message;
  } cases[] = {{2, "The specified file was not found."},
               {31, "There is no application associated with the given filename extension."},
               {7, "Unknownrror in ShellExecte."},
               {42, nullptr}};
  for (const Case& c : cases) {
    desktop.messages.clear();
    desktop.open_code = c.code;
    link.click();
    EXPECT_EQ(desktop.messages,
              c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
  }
  EXPECT_EQ(desktop.opened.size(), 4u);
  EXPECT_EQ(link.LinkColor(), QColor(128, 0, 128));  // visited
}

TEST(DesktopTest, FiltersBecomeQtNameFilters) {
  EXPECT_EQ(QtNameFilters("Split File Task (*.sft)|*.sft"), "Split File Task (*.sft)");
  EXPECT_EQ(QtNameFilters("Txt Files (*.*)|*.txt|JSON Files (*.json; *.jsonl)|*.json; *.jsonl"),
            "Txt Files (*.txt);;JSON Files (*.json *.jsonl)");
}

}  // namespace
}  // namespace lorvant

namespace lorvant {
namespace {

// A batch file in a folder that does not exist is the user's mistake: the
// dialog says why and stays open with the focus on the name, no report.
TEST_F(SaveFlowTest, ABatchFileThatCannotBeWrittenIsToldInTheDialog) {
  const std::string script = dir_ + "/no such folder/nightly.sh";
  bool still_open = false;
  bool focus_on_name = false;
  test::OnNextModal<TSimpleBatchFileCreateDlg>([&](TSimpleBatchFileCreateDlg* dlg) {
    dlg->edtBatchFile->SetText(script);
    dlg->btnOK->click();
    still_open = dlg->isVisible();
    focus_on_name = dlg->focusWidget() == dlg->edtBatchFile->LineEdit();
    dlg->reject();
  });
  EXPECT_TRUE(Save(dir_ + "/nightly.sft", "Batch"));
  EXPECT_TRUE(still_open);
  EXPECT_TRUE(focus_on_name);
  EXPECT_EQ(desktop_.messages, std::vector<std::string>{"Cannot create file \"" + script +
                                                        "\". No such file or directory"});
  EXPECT_TRUE(errors_.reported.empty());
  EXPECT_TRUE(desktop_.opened.empty());
}

// Each dialog starts in its first field, has its accelerators, and Escape
// closes it as Cancel would.
TEST_F(SaveFlowTest, DialogsStartInTheirFirstFieldAndEscapeClosesThem) {
  bool save_seen = false;
  test::OnNextModal<TSessionSaveDlg>([&](TSessionSaveDlg* dlg) {
    save_seen = true;
    EXPECT_EQ(dlg->focusWidget(), dlg->edtSessionFile->LineEdit());
    EXPECT_EQ(test::AcceleratorProblems(dlg), std::vector<std::string>{});
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
    EXPECT_EQ(test::AcceleratorProblems(dlg), std::vector<std::string>{});
    EXPECT_EQ(dlg->lblSessionFile->text().remove('&').toStdString(), "Task File");
    QTest::keyClick(dlg->focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
  });
  EXPECT_TRUE(manager_.SaveSession(&session_));  // the task is saved; the script is not made
  EXPECT_TRUE(batch_seen);
  EXPECT_FALSE(test::PathExists(dir_ + "/nightly.sh"));
  EXPECT_TRUE(desktop_.messages.empty());
}

}  // namespace
}  // namespace lorvant
