#include "ui/FileSplitForm.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <tuple>

#include "engine/ProgressConvertOutputer.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "tasks/SessionSaver.h"
#include "textio/FileLineCountCache.h"
#include "ui/FileNameEdit.h"
#include "ui/GUIProgressMonitor.h"
#include "ui/SessionSaveDlg.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

std::string Lines(int64_t from, int64_t to) {
  std::string text;
  for (int64_t i = from; i <= to; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

class FileSplitFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("form");
    source_ = dir_ + "/data.txt";
    test::WriteBytes(source_, Lines(1, 1000));
    manager_.SetDialogFactory([this] {
      ++save_dialogs_;
      return std::make_unique<TSessionSaveDlg>();
    });
  }
  std::vector<QWidget*> Options() const {
    return {form_.seHeaderLines, form_.edtMaxBytes, form_.chkCsvRecords, form_.chkKeepLineEnds};
  }
  std::string Memo() const { return form_.memOutput->toPlainText().toStdString(); }
  // Sets the source box and waits for its line count.
  void ChooseSource(const std::string& path) {
    QSignalSpy counted(&form_, &TFileSplitForm::linesCounted);
    form_.edtToSplitFile->SetText(path);
    ASSERT_TRUE(test::WaitForSignals(counted));
  }
  void RunToEnd() {
    QSignalSpy finished(&form_, &TFileSplitForm::runFinished);
    form_.btnSplit->click();
    ASSERT_TRUE(test::WaitForSignals(finished));
  }

  test::FakeDesktop desktop_;
  test::ErrorRecorder errors_;
  std::string dir_, source_;
  TSessionManager manager_{nullptr};
  int save_dialogs_ = 0;
  TFileSplitForm form_{&manager_};
};

TEST_F(FileSplitFormTest, SplitRunsWithProgressSummaryAndClosingLine) {
  ChooseSource(source_);
  EXPECT_EQ(form_.deOutputFolder->Text(), dir_ + "/data_split");
  EXPECT_EQ(form_.lblFileLines->text().toStdString(), "File Lines: 1000");
  EXPECT_EQ(form_.lblFileSize->text().toStdString(), "File Size: 8.685 KB");
  form_.seLinesCount->setValue(300);
  const int64_t counts_before = TFileLineCountCache::CountsMade();
  RunToEnd();
  // The run took its total from the label's count: the source was not
  // counted again.
  EXPECT_EQ(TFileLineCountCache::CountsMade(), counts_before);
  EXPECT_EQ(form_.Monitor().Total, 1000);
  EXPECT_EQ(form_.pbSave->value(), form_.pbSave->maximum());
  EXPECT_EQ(form_.lblPercent->text().toStdString(), "100 %");
  EXPECT_TRUE(form_.lblMessage->text().toStdString().starts_with("1000 records,    Elapsed: "));
  EXPECT_TRUE(form_.lblMessage->text().toStdString().ends_with(".    "));
  EXPECT_TRUE(form_.lblNotify->text().isEmpty());
  EXPECT_NE(Memo().find("1000 records,    Elapsed: "), std::string::npos) << Memo();
  EXPECT_TRUE(Memo().ends_with("Split to 4 files.")) << Memo();
  EXPECT_EQ(
      test::ReadBytes(dir_ + "/data_split/4.txt"), "line 901\r\n" + [] {
        std::string s;
        for (int i = 902; i <= 1000; ++i) s += "line " + std::to_string(i) + "\r\n";
        return s;
      }());
  EXPECT_FALSE(form_.btnStop->isEnabled());
  EXPECT_TRUE(form_.btnSplit->isEnabled());
  EXPECT_TRUE(errors_.reported.empty());
}

TEST_F(FileSplitFormTest, StopMidRunKeepsEveryLineWrittenSoFar) {
  // Large enough that the run is still going when Stop is clicked.
  const int64_t kLines = 3000000;
  test::WriteBytes(source_, Lines(1, kLines));
  ChooseSource(source_);
  form_.seLinesCount->setValue(1000);
  QSignalSpy finished(&form_, &TFileSplitForm::runFinished);
  QSignalSpy progressed(form_.pbSave, &QProgressBar::valueChanged);
  form_.btnSplit->click();
  EXPECT_TRUE(form_.btnStop->isEnabled());
  EXPECT_FALSE(form_.btnSplit->isEnabled());  // no second run meanwhile
  form_.btnSplitClick();                      // and not through the slot either
  for (QWidget* w : Options()) EXPECT_FALSE(w->isEnabled()) << w->accessibleName().toStdString();
  ASSERT_TRUE(test::WaitForSignals(progressed));
  form_.btnStop->click();
  ASSERT_TRUE(test::WaitForSignals(finished));
  ASSERT_EQ(finished.count(), 1);
  for (QWidget* w : Options()) EXPECT_TRUE(w->isEnabled()) << w->accessibleName().toStdString();

  // The pieces hold the first lines of the source, in order, and nothing else.
  const int files = static_cast<int>(
      std::distance(fs::directory_iterator(dir_ + "/data_split"), fs::directory_iterator()));
  ASSERT_GT(files, 0);
  std::string joined;
  for (int i = 1; i <= files; ++i) {
    joined += test::ReadBytes(dir_ + "/data_split/" + std::to_string(i) + ".txt");
  }
  int64_t written = 0;
  for (char c : joined) written += c == '\n';
  EXPECT_LT(written, kLines);
  std::string expected;
  for (int64_t i = 1; i <= written; ++i) expected += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(joined, expected);
  EXPECT_TRUE(
      form_.lblMessage->text().toStdString().starts_with(std::to_string(written) + " records,"))
      << form_.lblMessage->text().toStdString();
  EXPECT_TRUE(Memo().ends_with("Split to " + std::to_string(files) + " files.")) << Memo();
}

TEST_F(FileSplitFormTest, ChecksBeforeARunShowTheirMessageAndMoveTheFocus) {
  form_.show();
  // No source.
  form_.btnSplit->click();
  ASSERT_EQ(desktop_.messages, std::vector<std::string>{"select a text file"});
  EXPECT_EQ(form_.focusWidget(), form_.edtToSplitFile->LineEdit());

  // A folder that is not empty, and the user cancels: nothing is touched.
  ChooseSource(source_);
  const std::string out = dir_ + "/data_split";
  fs::create_directories(out + "/sub");
  test::WriteBytes(out + "/keep.txt", "mine");
  desktop_.answers = {false};
  form_.btnSplit->click();
  ASSERT_EQ(desktop_.questions,
            std::vector<std::string>{"Output folder should be empty, delete files in it?"});
  EXPECT_EQ(form_.focusWidget(), form_.deOutputFolder->LineEdit());
  EXPECT_EQ(test::ReadBytes(out + "/keep.txt"), "mine");
  EXPECT_FALSE(form_.Running());

  // OK: the files go, the empty subfolder stays, the pieces are beside it.
  desktop_.answers = {true};
  RunToEnd();
  EXPECT_FALSE(test::PathExists(out + "/keep.txt"));
  EXPECT_TRUE(fs::is_directory(out + "/sub"));
  EXPECT_TRUE(test::PathExists(out + "/1.txt"));
  EXPECT_TRUE(Memo().ends_with("Split to 1 files.")) << Memo();

  // The line count box never holds less than 1.
  form_.seLinesCount->setValue(0);
  EXPECT_EQ(form_.seLinesCount->value(), 1);
}

TEST_F(FileSplitFormTest, AMissingSourceIsShownInTheLabelsAndToldOnceAtSplit) {
  ChooseSource(source_);
  // Typing a path letter by letter: no report per keystroke.
  const std::string missing = dir_ + "/nope.csv";
  for (size_t n = dir_.size() + 1; n <= missing.size(); ++n) {
    form_.edtToSplitFile->SetText(missing.substr(0, n));
  }
  const std::string error = "Cannot open file \"" + missing + "\". No such file or directory";
  EXPECT_EQ(form_.lblFileSize->text().toStdString(), error);
  EXPECT_EQ(form_.lblFileLines->text().toStdString(), "File Lines: ");
  EXPECT_EQ(form_.deOutputFolder->Text(), dir_ + "/nope_split");
  // Leaving the box: the labels say it; nothing pops up.
  emit form_.edtToSplitFile->editingFinished();
  EXPECT_TRUE(desktop_.messages.empty());
  // Split says it once, and no run starts.
  form_.btnSplit->click();
  EXPECT_EQ(desktop_.messages, std::vector<std::string>{error});
  EXPECT_FALSE(form_.Running());
  EXPECT_TRUE(Memo().empty()) << Memo();
  EXPECT_TRUE(errors_.reported.empty());
}

TEST_F(FileSplitFormTest, FillingFromTaskFilesReplacesTheProposalAndKeepsLimits) {
  const std::string task = dir_ + "/t.sft";
  TFileSplitSession session;
  session.SourceFile = source_;
  session.DestFolder = dir_ + "/elsewhere";
  session.MaxLines = 0;
  session.WriteToFile(task);
  form_.ReadFromFile(task);
  EXPECT_EQ(form_.edtToSplitFile->Text(), source_);
  EXPECT_EQ(form_.deOutputFolder->Text(), dir_ + "/elsewhere");
  EXPECT_EQ(form_.seLinesCount->value(), 1);
  EXPECT_TRUE(form_.Session().FileName.empty());  // a recent task is not the task's file

  form_.LoadFromFile(task);
  EXPECT_EQ(form_.Session().FileName, task);

  // A task file that is gone reads as empty values: no file to split.
  try {
    form_.ReadFromFile(dir_ + "/gone.sft");
    ADD_FAILURE() << "filled from a task file that does not exist";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"\". No such file or directory");
  }

  // A task whose source is gone cannot fill the window.
  fs::remove(source_);
  try {
    form_.LoadFromFile(task);
    ADD_FAILURE() << "filled from a task without its source";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + source_ + "\". No such file or directory");
  }
}

TEST_F(FileSplitFormTest, OptionsGoIntoTheSavedTaskAndComeBackFromIt) {
  ChooseSource(source_);
  form_.seHeaderLines->setValue(3);
  form_.edtMaxBytes->setText(" 10240k ");
  form_.chkCsvRecords->setChecked(true);
  form_.chkKeepLineEnds->setChecked(true);
  const std::string task = dir_ + "/with options.sft";
  test::OnNextModal<TSessionSaveDlg>([task](TSessionSaveDlg* dlg) {
    dlg->edtSessionFile->SetText(task);
    dlg->btnSave->click();
  });
  form_.btnSave->click();
  ASSERT_EQ(save_dialogs_, 1);
  ASSERT_EQ(form_.Session().FileName, task);

  TFileSplitForm back(nullptr);
  back.LoadFromFile(task);
  EXPECT_EQ(back.seHeaderLines->value(), 3);
  EXPECT_EQ(back.edtMaxBytes->text().toStdString(), "10M");
  EXPECT_TRUE(back.chkCsvRecords->isChecked());
  EXPECT_TRUE(back.chkKeepLineEnds->isChecked());

  // Both ways of filling the window replace every option; a size that does
  // not read as one shows as no limit, a header count out of range as none.
  struct Case {
    const char* options;
    int header_lines;
    const char* max_bytes;
    bool csv, keep_ends;
  };
  for (const Case& c :
       {Case{"", 0, "", false, false},
        Case{"HeaderLines=2\r\nMaxBytes=512\r\nCsvRecords=1\r\n", 2, "512", true, false},
        Case{"HeaderLines=x\r\nMaxBytes=10 MB\r\nKeepLineEnds=1\r\n", 0, "", false, true}}) {
    SCOPED_TRACE(c.options);
    test::WriteBytes(task, "[Split]\r\nSourceFile=" + source_ + "\r\nDestFolder=" + dir_ +
                               "/out\r\nMaxLines=7\r\n" + c.options);
    for (bool load : {true, false}) {
      back.seHeaderLines->setValue(9);  // other values than the case's, to be replaced
      back.edtMaxBytes->setText("1G");
      back.chkCsvRecords->setChecked(!c.csv);
      back.chkKeepLineEnds->setChecked(!c.keep_ends);
      if (load) {
        back.LoadFromFile(task);
      } else {
        back.ReadFromFile(task);
      }
      EXPECT_EQ(back.seHeaderLines->value(), c.header_lines);
      EXPECT_EQ(back.edtMaxBytes->text().toStdString(), c.max_bytes);
      EXPECT_EQ(back.chkCsvRecords->isChecked(), c.csv);
      EXPECT_EQ(back.chkKeepLineEnds->isChecked(), c.keep_ends);
    }
  }
}

TEST_F(FileSplitFormTest, ASizeThatIsNoSizeIsRefusedBeforeRunningOrSaving) {
  form_.show();
  ChooseSource(source_);
  form_.edtMaxBytes->setText("10 MB");
  // Were the check missing, the save dialog would otherwise stay up.
  test::OnNextModal<TSessionSaveDlg>([](TSessionSaveDlg* dlg) { dlg->reject(); });
  for (QPushButton* button : {form_.btnSplit, form_.btnSave}) {
    SCOPED_TRACE(button->text().toStdString());
    desktop_.messages.clear();
    form_.btnSplit->setFocus();
    button->click();
    EXPECT_EQ(desktop_.messages,
              std::vector<std::string>{"Max bytes per split file must be a size such as 500K, "
                                       "10M or 2G."});
    EXPECT_EQ(form_.focusWidget(), form_.edtMaxBytes);
  }
  EXPECT_FALSE(form_.Running());
  EXPECT_FALSE(test::PathExists(dir_ + "/data_split"));
  EXPECT_EQ(save_dialogs_, 0);
  EXPECT_TRUE(form_.Session().FileName.empty());
}

TEST_F(FileSplitFormTest, HeaderLinesStartEveryPiece) {
  const std::string csv = dir_ + "/orders.csv";
  test::WriteBytes(csv, "id,name\n1,a\n2,b\n3,c\n4,d\n5,e\n");
  ChooseSource(csv);
  form_.seLinesCount->setValue(2);
  form_.seHeaderLines->setValue(1);
  RunToEnd();
  EXPECT_TRUE(errors_.reported.empty());
  std::string records;
  int pieces = 0;
  for (; test::PathExists(dir_ + "/orders_split/" + std::to_string(pieces + 1) + ".csv");
       ++pieces) {
    const std::string piece =
        test::ReadBytes(dir_ + "/orders_split/" + std::to_string(pieces + 1) + ".csv");
    ASSERT_TRUE(piece.starts_with("id,name\r\n")) << pieces + 1 << ": " << piece;
    records += piece.substr(9);
  }
  EXPECT_GE(pieces, 3);
  EXPECT_EQ(records, "1,a\r\n2,b\r\n3,c\r\n4,d\r\n5,e\r\n");
}

TEST_F(FileSplitFormTest, ClosingDuringARunStopsItFirst) {
  test::WriteBytes(source_, Lines(1, 3000000));
  ChooseSource(source_);
  form_.seLinesCount->setValue(1000);
  form_.show();
  QSignalSpy finished(&form_, &TFileSplitForm::runFinished);
  QSignalSpy progressed(form_.pbSave, &QProgressBar::valueChanged);
  form_.btnSplit->click();
  ASSERT_TRUE(test::WaitForSignals(progressed));
  form_.close();
  EXPECT_TRUE(form_.isVisible());  // answers until the run has stopped
  ASSERT_TRUE(test::WaitForSignals(finished));
  EXPECT_FALSE(form_.isVisible());
  EXPECT_FALSE(form_.Running());
  EXPECT_LT(form_.Monitor().BarPosition(), 3000000);
}

}  // namespace
}  // namespace lorvant

namespace lorvant {
namespace {

// Tab walks the window in reading order and comes back to the start.
TEST(FileSplitFormKeyboardTest, TabVisitsEveryControlInReadingOrder) {
  test::FakeDesktop desktop;
  TFileSplitForm form(nullptr);
  form.show();
  QApplication::setActiveWindow(&form);
  form.edtToSplitFile->LineEdit()->setFocus();
  std::vector<std::string> seen;
  for (int i = 0; i < 14; ++i) {
    QWidget* w = QApplication::focusWidget();
    ASSERT_NE(w, nullptr);
    auto* button = qobject_cast<QAbstractButton*>(w);
    seen.push_back(!w->accessibleName().isEmpty() ? w->accessibleName().toStdString()
                   : button != nullptr            ? button->text().remove('&').toStdString()
                                                  : w->metaObject()->className());
    QTest::keyClick(w, Qt::Key_Tab);
  }
  EXPECT_EQ(
      seen,
      (std::vector<std::string>{
          "Text File:", "Browse for Text File", "Output Folder:", "Browse for Output Folder",
          "Max Lines per Split File", "Header Lines", "Max Bytes per Split File",
          "CSV records (quoted line breaks stay in their record)", "Keep each line's own line end",
          "Split", "Save Task", "QTabBar", "Text File:", "Browse for Text File"}));
}

// Each option carries its label's text as its accessible name and says
// what it does; a label hands the focus to its box.
TEST(FileSplitFormKeyboardTest, OptionsAreNamedAsTheirLabels) {
  TFileSplitForm form(nullptr);
  for (const auto& [w, label, name] :
       {std::tuple<QWidget*, QLabel*, std::string>{form.seHeaderLines, form.lblHeaderLines,
                                                   "Header Lines"},
        {form.edtMaxBytes, form.lblMaxBytes, "Max Bytes per Split File"},
        {form.chkCsvRecords, nullptr, "CSV records (quoted line breaks stay in their record)"},
        {form.chkKeepLineEnds, nullptr, "Keep each line's own line end"}}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(w->accessibleName().toStdString(), name);
    QString shown = label != nullptr ? label->text() : qobject_cast<QAbstractButton*>(w)->text();
    EXPECT_EQ(shown.remove('&').toStdString(), name);
    if (label != nullptr) {
      EXPECT_EQ(label->buddy(), w);
    }
    EXPECT_FALSE(w->toolTip().isEmpty());
  }
  EXPECT_EQ(form.edtMaxBytes->placeholderText().toStdString(), "no limit");
  EXPECT_EQ(form.seHeaderLines->minimum(), 0);
  EXPECT_EQ(form.seHeaderLines->maximum(), 1000000);
}

}  // namespace
}  // namespace lorvant

namespace lorvant {
namespace {

// Split pressed while the label is still counting: the count gives way to
// the run, and the label shows the run's count afterwards.
TEST_F(FileSplitFormTest, SplitDuringTheLabelsCountLetsTheRunCount) {
  test::WriteBytes(source_, Lines(1, 2000000));
  form_.edtToSplitFile->SetText(source_);
  form_.seLinesCount->setValue(100000);
  ASSERT_EQ(form_.lblFileLines->text().toStdString(), "File Lines: counting ...");
  QSignalSpy counted(&form_, &TFileSplitForm::linesCounted);
  RunToEnd();
  ASSERT_TRUE(test::WaitForSignals(counted));
  EXPECT_EQ(form_.lblFileLines->text().toStdString(), "File Lines: 2000000");
  EXPECT_TRUE(Memo().ends_with("Split to 20 files.")) << Memo();
}

}  // namespace
}  // namespace lorvant
