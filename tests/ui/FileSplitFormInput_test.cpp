// The split window as a user meets it at the keyboard and mouse: mistakes
// in the boxes answered where they were made, where the focus starts and
// goes back to, the line count box's rules and where the pickers open.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>

#include "fs/AppFolders.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "ui/FileNameEdit.h"
#include "ui/FileSplitForm.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

class SplitFormInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("input");
    source_ = dir_ + "/data.txt";
    test::WriteBytes(source_, "one\ntwo\nthree\n");
  }
  void ShowActive() {
    form_.show();
    QApplication::setActiveWindow(&form_);
  }
  void ChooseSource(const std::string& path) {
    QSignalSpy counted(&form_, &TFileSplitForm::linesCounted);
    form_.edtToSplitFile->SetText(path);
    ASSERT_TRUE(test::WaitForSignals(counted));
  }
  QLineEdit* SourceBox() const { return form_.edtToSplitFile->LineEdit(); }

  test::FakeDesktop desktop_;
  test::ErrorRecorder errors_;
  std::string dir_, source_;
  TFileSplitForm form_{nullptr};
};

// However the user goes on from a name that cannot be opened, the labels
// say why, a message says it at most once, and the report never shows.
TEST_F(SplitFormInputTest, AMissingTextFileIsAnsweredInPlaceNeverAsAReport) {
  enum class Act { kBrowse, kEnter, kSplit, kEscape };
  struct Case {
    const char* name;
    Act act;
    bool message;  // a message box, with the focus back in the box
    bool hidden;   // the window closed
  };
  const std::string missing = dir_ + "/nope.csv";
  const std::string error = "Cannot open file \"" + missing + "\". No such file or directory";
  for (const Case& c :
       {Case{"leaving by Browse", Act::kBrowse, false, false},
        Case{"Enter", Act::kEnter, true, false}, Case{"Split", Act::kSplit, true, false},
        Case{"Escape", Act::kEscape, false, true}}) {
    SCOPED_TRACE(c.name);
    desktop_.messages.clear();
    desktop_.starts.clear();
    ShowActive();
    form_.edtToSplitFile->SetText("");
    SourceBox()->setFocus();
    QTest::keyClicks(SourceBox(), QString::fromStdString(missing));
    EXPECT_EQ(form_.lblFileSize->text().toStdString(), error);
    switch (c.act) {
      case Act::kBrowse:
        QTest::mouseClick(form_.edtToSplitFile->BrowseButton(), Qt::LeftButton);
        // The click that left the box opened the picker.
        EXPECT_EQ(desktop_.starts, std::vector<std::string>{missing});
        break;
      case Act::kEnter:
        QTest::keyClick(SourceBox(), Qt::Key_Return);
        break;
      case Act::kSplit:
        form_.btnSplit->click();
        break;
      case Act::kEscape:
        QTest::keyClick(SourceBox(), Qt::Key_Escape);
        break;
    }
    EXPECT_EQ(desktop_.messages,
              c.message ? std::vector<std::string>{error} : std::vector<std::string>{});
    if (c.message) {
      EXPECT_EQ(QApplication::focusWidget(), SourceBox());
    }
    EXPECT_EQ(form_.isHidden(), c.hidden);
    EXPECT_TRUE(errors_.reported.empty());
    EXPECT_FALSE(form_.Running());
    EXPECT_FALSE(test::PathExists(dir_ + "/nope_split"));
  }
}

// A name that could be opened when typed but is gone at Split, or a
// folder, is answered the same way: the run does not start.
TEST_F(SplitFormInputTest, ATextFileGoneBeforeSplitOrAFolderStopsTheRunWithAMessage) {
  ShowActive();
  ChooseSource(source_);
  fs::remove(source_);
  form_.btnSplit->click();
  form_.edtToSplitFile->SetText(dir_);
  form_.btnSplit->click();
  EXPECT_EQ(
      desktop_.messages,
      (std::vector<std::string>{"Cannot open file \"" + source_ + "\". No such file or directory",
                                "Cannot open file \"" + dir_ + "\". Is a directory"}));
  EXPECT_EQ(QApplication::focusWidget(), SourceBox());
  EXPECT_TRUE(errors_.reported.empty());
  EXPECT_FALSE(test::PathExists(dir_ + "/data_split"));
}

// Output folders the run would refuse are refused before anything is asked,
// with the focus on the box: the report never shows for them.
TEST_F(SplitFormInputTest, OutputFoldersTheRunWouldRefuseAreRefusedBeforeTheQuestion) {
  const std::string home = std::getenv("HOME");
  const std::string kept = home + "/keep-me.txt";
  test::WriteBytes(kept, "mine");
  struct Case {
    std::string folder;
    std::string message;
  };
  ShowActive();
  ChooseSource(source_);
  for (const Case& c :
       {Case{home,
             "The output folder \"" + home + "\" is the root or home folder; it is not emptied."},
        Case{"  ", "The output folder is not set."},
        Case{source_, "Cannot create folder \"" + source_ + "\". A file of that name exists."}}) {
    SCOPED_TRACE(c.folder);
    desktop_.messages.clear();
    form_.deOutputFolder->SetText(c.folder);
    form_.btnSplit->click();
    EXPECT_TRUE(desktop_.questions.empty());
    EXPECT_EQ(desktop_.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(QApplication::focusWidget(), form_.deOutputFolder->LineEdit());
    EXPECT_FALSE(form_.Running());
    EXPECT_TRUE(errors_.reported.empty());
  }
  EXPECT_EQ(test::ReadBytes(kept), "mine");
  EXPECT_EQ(test::ReadBytes(source_), "one\ntwo\nthree\n");
  fs::remove(kept);
}

TEST_F(SplitFormInputTest, TheFocusStartsInTheTextFileBoxAtEveryShowing) {
  ShowActive();
  EXPECT_EQ(QApplication::focusWidget(), SourceBox());
  form_.btnSave->setFocus();
  form_.hide();
  ShowActive();
  EXPECT_EQ(QApplication::focusWidget(), SourceBox());
  // Typing goes into the box.
  QTest::keyClicks(QApplication::focusWidget(), "x");
  EXPECT_EQ(form_.edtToSplitFile->Text(), "x");
}

// What is typed into "Max Lines per Split File" and what leaving the box
// (or Enter) makes of it; the value before was 500.
TEST_F(SplitFormInputTest, TheLineCountBoxBringsWhatWasTypedIntoRange) {
  struct Case {
    const char* typed;
    int value;
  };
  ShowActive();
  for (const Case& c : {Case{"250", 250}, Case{"0", 1}, Case{"", 1}, Case{"abc", 1}, Case{"-7", 1},
                        Case{"2000000000", 1000000000}, Case{"99999999999999999999", 1000000000},
                        Case{"1000000000", 1000000000}, Case{"1", 1}}) {
    SCOPED_TRACE(c.typed);
    form_.seLinesCount->setValue(500);
    form_.seLinesCount->setFocus();
    form_.seLinesCount->selectAll();
    QTest::keyClick(form_.seLinesCount, Qt::Key_Delete);
    QTest::keyClicks(form_.seLinesCount, c.typed);
    // Nothing typed is refused while typing.
    EXPECT_EQ(form_.seLinesCount->text().toStdString(), c.typed);
    QTest::keyClick(form_.seLinesCount, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), form_.seLinesCount);
    EXPECT_EQ(form_.seLinesCount->value(), c.value);
    EXPECT_EQ(form_.seLinesCount->text().toInt(), c.value);
  }
}

// Split by Enter or by its accelerator while "0" is still being typed runs
// with the value the box makes of it, never with the one before.
TEST_F(SplitFormInputTest, SplitFromTheLineCountBoxRunsWithTheValueInRange) {
  ShowActive();
  ChooseSource(source_);
  for (const QKeyCombination key :
       {QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::AltModifier, Qt::Key_S)}) {
    SCOPED_TRACE(QKeySequence(key).toString().toStdString());
    fs::remove_all(dir_ + "/data_split");
    form_.seLinesCount->setValue(500);
    form_.seLinesCount->setFocus();
    form_.seLinesCount->selectAll();
    QTest::keyClicks(form_.seLinesCount, "0");
    QSignalSpy finished(&form_, &TFileSplitForm::runFinished);
    QTest::keyClick(form_.seLinesCount, key.key(), key.keyboardModifiers());
    ASSERT_TRUE(test::WaitForSignals(finished));
    EXPECT_EQ(form_.Session().MaxLines, 1);
    EXPECT_EQ(form_.seLinesCount->value(), 1);
    EXPECT_EQ(test::ReadBytes(dir_ + "/data_split/3.txt"), "three\r\n");
  }
  EXPECT_TRUE(errors_.reported.empty());
}

// The header line box follows the same rules with its own range.
TEST_F(SplitFormInputTest, TheHeaderLineBoxBringsWhatWasTypedIntoItsRange) {
  ShowActive();
  for (const auto& [typed, value] :
       {std::pair<const char*, int>{"", 0}, {"x", 0}, {"5000000", 1000000}, {"12", 12}}) {
    SCOPED_TRACE(typed);
    form_.seHeaderLines->setValue(3);
    form_.seHeaderLines->setFocus();
    form_.seHeaderLines->selectAll();
    QTest::keyClick(form_.seHeaderLines, Qt::Key_Delete);
    QTest::keyClicks(form_.seHeaderLines, typed);
    QTest::keyClick(form_.seHeaderLines, Qt::Key_Tab);
    EXPECT_EQ(form_.seHeaderLines->value(), value);
  }
}

// The pickers start where the user's files are: the folder of the name in
// the box, else the documents folder.
TEST_F(SplitFormInputTest, PickersStartInTheFolderOfTheNameElseInDocuments) {
  const std::string documents = GetDocumentsPath();
  ASSERT_FALSE(documents.empty());
  struct Case {
    bool output;  // the output folder's picker, else the text file's
    std::string text;
    std::string start;
  };
  for (const Case& c :
       {Case{false, source_, source_}, Case{false, dir_ + "/not yet.txt", dir_ + "/not yet.txt"},
        Case{false, dir_, dir_}, Case{false, "/no/such/folder/x.txt", documents},
        Case{false, "data.txt", documents}, Case{false, "", documents},
        Case{true, dir_ + "/data_split", dir_}, Case{true, dir_, dir_},
        Case{true, "/no/such/folder", documents}, Case{true, "", documents}}) {
    SCOPED_TRACE((c.output ? "output: " : "text: ") + c.text);
    TFileNameEdit* box = c.output ? form_.deOutputFolder : form_.edtToSplitFile;
    box->SetText(c.text);
    desktop_.starts.clear();
    box->BrowseButton()->click();
    EXPECT_EQ(desktop_.starts, std::vector<std::string>{c.start});
  }
}

}  // namespace
}  // namespace lorvant
