// The split window: the task's source file, output folder, lines per file
// and options (header lines, a size limit, CSV records, line ends); Split
// runs it on a worker thread with live progress and a log, Stop ends it
// early, Save Task saves it. Created once by the main window and shown
// modally again and again; it keeps its contents between showings.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "ui/LinesSpinBox.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace lorvant {

class TFileNameEdit;
class TFileSplitSession;
class TFileSplitSessionExecutor;
class TGUIProgressMonitor;
class TLineCountWorker;
class TMemoLog;
class TProgressConvertOutputer;
class TSessionManager;
class TSplitRun;

class TFileSplitForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 1000000000;
  static constexpr int kMaxHeaderLines = 1000000;
  static const char* const kSourceFilter;

  // session_manager (not owned) saves tasks for "Save Task".
  explicit TFileSplitForm(TSessionManager* session_manager, QWidget* parent = nullptr);
  ~TFileSplitForm() override;

  // Fills the window from a saved task (which becomes the task's file and
  // the most recent saved task) / a recent task (values only). Throws the
  // "Cannot open file" error when the source cannot be opened; the boxes
  // keep what was filled until then.
  void LoadFromFile(const std::string& file_name);
  void ReadFromFile(const std::string& file_name);

  bool Running() const;
  TFileSplitSession& Session() { return *session_; }
  TGUIProgressMonitor& Monitor();

  // The controls, named as in the window's design.
  QLabel* lbl1;
  TFileNameEdit* edtToSplitFile;
  QLabel* lblFileSize;
  QLabel* lblFileLines;
  QLabel* lbl2;
  TFileNameEdit* deOutputFolder;
  QLabel* Label6;
  TLinesSpinBox* seLinesCount;
  QLabel* lblHeaderLines;
  TLinesSpinBox* seHeaderLines;
  QLabel* lblMaxBytes;
  QLineEdit* edtMaxBytes;  // a size such as 500K; empty for no limit
  QCheckBox* chkCsvRecords;
  QCheckBox* chkKeepLineEnds;
  QPushButton* btnSplit;
  QPushButton* btnStop;
  QPushButton* btnSave;
  QTabWidget* pgcOutput;
  QWidget* tsProgress;
  QWidget* tsOutput;
  QLabel* lblNotify;
  QProgressBar* pbSave;
  QLabel* lblMessage;
  QLabel* lblPercent;
  QPlainTextEdit* memOutput;

 signals:
  // A run ended and its closing line was written.
  void runFinished();
  // The line label shows a count (or gave up on one) for the current text.
  void linesCounted();

 public slots:
  void btnSplitClick();
  void btnStopClick();
  void btnSaveClick();

 protected:
  // Closing (close box, Esc) during a run stops it and closes once it ended.
  void reject() override;
  // Each showing starts with the focus in the text file's name.
  void showEvent(QShowEvent* event) override;

 private slots:
  void edtToSplitFileChange();
  void RunFinished(bool ok, const QString& error);
  void LinesCounted(quint64 request, bool ok, qint64 lines);

 private:
  void BuildControls();
  void FillControls();
  void CopyToSession();
  // Throws EFOpenError ("Cannot open file ...") when source cannot be
  // opened for reading; an empty name counts as such.
  static void CheckSourceOpens(const std::string& source);
  // Shows the size and starts counting the lines. A source that cannot be
  // opened leaves the figures out and shows the error in the labels; it is
  // then thrown when throw_error is set.
  void RefreshLabels(bool throw_error);
  bool CheckBeforeRun();
  // Refuses a size the task cannot take, with a message; Split and Save Task.
  bool CheckMaxBytes();
  // Refuses, with a message and the focus on the box, an output folder the
  // run would refuse: none, a file, or a folder that is never emptied.
  bool CheckOutputFolder();
  void SetRunning(bool running);

  TSessionManager* session_manager_;
  std::unique_ptr<TFileSplitSession> session_;
  TGUIProgressMonitor* monitor_ = nullptr;  // owned by outputer_
  std::unique_ptr<TMemoLog> memo_;
  std::unique_ptr<TProgressConvertOutputer> outputer_;
  std::unique_ptr<TFileSplitSessionExecutor> executor_;
  TSplitRun* run_;
  TLineCountWorker* counter_;
  uint64_t count_request_ = 0;
  std::string label_error_;  // why the current source cannot be opened
  bool close_after_run_ = false;
};

}  // namespace lorvant
