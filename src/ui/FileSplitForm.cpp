#include "ui/FileSplitForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "engine/FileSplitSessionExecutor.h"
#include "engine/ProgressConvertOutputer.h"
#include "fs/FileUtil.h"
#include "fs/OutputFolder.h"
#include "os/Env.h"
#include "tasks/FileSplitSession.h"
#include "tasks/SessionSaver.h"
#include "ui/Desktop.h"
#include "ui/FileNameEdit.h"
#include "ui/GUIProgressMonitor.h"
#include "ui/LineCountWorker.h"
#include "ui/LinesSpinBox.h"
#include "ui/MemoLog.h"
#include "ui/SplitRun.h"
#include "ui/UnexpectedError.h"

namespace lorvant {
namespace {
const char* const kCounting = "File Lines: counting ...";
}  // namespace

const char* const TFileSplitForm::kSourceFilter =
    "Txt Files (*.*)|*.txt|CSV Files (*.csv)|*.csv|TSV Files (*.tsv)|*.tsv|JSON Files (*.json; "
    "*.jsonl)|*.json; *.jsonl|Log Files (*.log)|*.log|All files (*.*)|*.*";

TFileSplitForm::TFileSplitForm(TSessionManager* session_manager, QWidget* parent)
    : QDialog(parent),
      session_manager_(session_manager),
      run_(new TSplitRun(this)),
      counter_(new TLineCountWorker(this)) {
  setWindowTitle("Split Text File");
  BuildControls();

  session_ = std::make_unique<TFileSplitSession>();
  auto monitor = std::make_unique<TGUIProgressMonitor>();
  monitor_ = monitor.get();
  memo_ = std::make_unique<TMemoLog>(memOutput);
  outputer_ = std::make_unique<TProgressConvertOutputer>(std::move(monitor), nullptr);
  monitor_->Bind(pbSave, lblMessage, lblNotify, lblPercent);
  outputer_->LogMemo = memo_.get();
  executor_ = std::make_unique<TFileSplitSessionExecutor>();
  executor_->SetSession(session_.get());
  executor_->SetOutputer(outputer_.get());

  connect(edtToSplitFile, &TFileNameEdit::textChanged, this, &TFileSplitForm::edtToSplitFileChange);
  connect(btnSplit, &QPushButton::clicked, this, &TFileSplitForm::btnSplitClick);
  connect(btnStop, &QPushButton::clicked, this, &TFileSplitForm::btnStopClick);
  connect(btnSave, &QPushButton::clicked, this, &TFileSplitForm::btnSaveClick);
  connect(run_, &TSplitRun::finished, this, &TFileSplitForm::RunFinished);
  connect(counter_, &TLineCountWorker::counted, this, &TFileSplitForm::LinesCounted);
}

TFileSplitForm::~TFileSplitForm() {
  edtToSplitFile->disconnect(this);
  // The run's thread reports to the outputer, so it ends before them.
  delete run_;
  run_ = nullptr;
}

TGUIProgressMonitor& TFileSplitForm::Monitor() { return *monitor_; }

bool TFileSplitForm::Running() const { return run_ != nullptr && run_->Running(); }

void TFileSplitForm::BuildControls() {
  lbl1 = new QLabel("&Text File:", this);
  edtToSplitFile = new TFileNameEdit(TFileNameEdit::Kind::kOpenFile, this);
  edtToSplitFile->Filter = kSourceFilter;
  edtToSplitFile->SetAccessibleLabel("Text File:");
  lbl1->setBuddy(edtToSplitFile->LineEdit());
  lblFileSize = new QLabel("File Size: ", this);
  lblFileLines = new QLabel("File Lines: ", this);
  lblFileSize->setWordWrap(true);
  lblFileSize->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblFileLines->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lbl2 = new QLabel("&Output Folder: ", this);
  deOutputFolder = new TFileNameEdit(TFileNameEdit::Kind::kFolder, this);
  deOutputFolder->SetAccessibleLabel("Output Folder:");
  lbl2->setBuddy(deOutputFolder->LineEdit());
  Label6 = new QLabel("&Max Lines per Split File", this);
  seLinesCount = new TLinesSpinBox(this);
  seLinesCount->setRange(1, kMaxLines);
  seLinesCount->setValue(10000);
  seLinesCount->setAccelerated(true);
  seLinesCount->setAccessibleName("Max Lines per Split File");
  seLinesCount->setMinimumWidth(seLinesCount->fontMetrics().horizontalAdvance("1000000000") + 48);
  Label6->setBuddy(seLinesCount);
  const int number_width = seLinesCount->minimumWidth();
  lblHeaderLines = new QLabel("&Header Lines", this);
  seHeaderLines = new TLinesSpinBox(this);
  seHeaderLines->setRange(0, kMaxHeaderLines);
  seHeaderLines->setValue(0);
  seHeaderLines->setAccessibleName("Header Lines");
  seHeaderLines->setToolTip("The first N lines of the text file start every piece; 0 for none.");
  seHeaderLines->setMinimumWidth(number_width);
  lblHeaderLines->setBuddy(seHeaderLines);
  lblMaxBytes = new QLabel("Max &Bytes per Split File", this);
  edtMaxBytes = new QLineEdit(this);
  edtMaxBytes->setPlaceholderText("no limit");
  edtMaxBytes->setAccessibleName("Max Bytes per Split File");
  edtMaxBytes->setToolTip(
      "A piece ends before it would grow past this size. Bytes, or a number with K, M or G\n"
      "(1K = 1024 bytes), such as 500K, 10M or 2G; empty for no limit.");
  edtMaxBytes->setMinimumWidth(number_width);
  lblMaxBytes->setBuddy(edtMaxBytes);
  chkCsvRecords = new QCheckBox("CS&V records (quoted line breaks stay in their record)", this);
  chkCsvRecords->setAccessibleName(chkCsvRecords->text().remove('&'));
  chkCsvRecords->setToolTip(
      "A line break inside a quoted CSV field does not end the record,\n"
      "so no record is cut in two between pieces.");
  chkKeepLineEnds = new QCheckBox("&Keep each line's own line end", this);
  chkKeepLineEnds->setAccessibleName(chkKeepLineEnds->text().remove('&'));
  chkKeepLineEnds->setToolTip(
      "Each line keeps the end it has in the text file (LF, CR LF or CR)\n"
      "instead of ending with CR LF.");
  btnSplit = new QPushButton("&Split", this);
  btnStop = new QPushButton("Sto&p", this);
  btnSave = new QPushButton("S&ave Task", this);
  btnStop->setEnabled(false);
  for (QPushButton* b : {btnSplit, btnStop, btnSave}) b->setAutoDefault(false);
  btnSplit->setDefault(true);

  pgcOutput = new QTabWidget(this);
  tsProgress = new QWidget();
  tsOutput = new QWidget();
  lblNotify = new QLabel(tsProgress);
  lblNotify->setWordWrap(true);
  pbSave = new QProgressBar(tsProgress);
  pbSave->setTextVisible(false);
  pbSave->setAccessibleName("Progress");
  lblPercent = new QLabel(tsProgress);
  lblPercent->setMinimumWidth(lblPercent->fontMetrics().horizontalAdvance("100 %") + 8);
  lblMessage = new QLabel(tsProgress);
  lblMessage->setAlignment(Qt::AlignCenter);
  lblMessage->setWordWrap(true);
  auto* progress_layout = new QVBoxLayout(tsProgress);
  progress_layout->addWidget(lblNotify);
  progress_layout->addWidget(pbSave);
  auto* message_row = new QHBoxLayout();
  message_row->addWidget(lblPercent);
  message_row->addWidget(lblMessage, 1);
  progress_layout->addLayout(message_row);
  progress_layout->addStretch(1);
  memOutput = new QPlainTextEdit(tsOutput);
  memOutput->setReadOnly(true);
  memOutput->setAccessibleName("Log");
  memOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* output_layout = new QVBoxLayout(tsOutput);
  output_layout->setContentsMargins(2, 2, 2, 2);
  output_layout->addWidget(memOutput);
  pgcOutput->addTab(tsProgress, "P&rogress");
  pgcOutput->addTab(tsOutput, "&Log");

  auto* grid = new QGridLayout();
  grid->addWidget(lbl1, 0, 0);
  grid->addWidget(edtToSplitFile, 0, 1, 1, 2);
  grid->addWidget(lblFileSize, 1, 1);
  grid->addWidget(lblFileLines, 1, 2);
  grid->addWidget(lbl2, 2, 0);
  grid->addWidget(deOutputFolder, 2, 1, 1, 2);
  grid->addWidget(Label6, 3, 0);
  grid->addWidget(seLinesCount, 3, 1, Qt::AlignLeft);
  grid->addWidget(lblHeaderLines, 4, 0);
  grid->addWidget(seHeaderLines, 4, 1, Qt::AlignLeft);
  grid->addWidget(lblMaxBytes, 5, 0);
  grid->addWidget(edtMaxBytes, 5, 1, Qt::AlignLeft);
  grid->addWidget(chkCsvRecords, 6, 1, 1, 2);
  grid->addWidget(chkKeepLineEnds, 7, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnSplit);
  buttons->addWidget(btnStop);
  buttons->addWidget(btnSave);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->addWidget(pgcOutput, 1);

  setTabOrder(edtToSplitFile->LineEdit(), edtToSplitFile->BrowseButton());
  setTabOrder(edtToSplitFile->BrowseButton(), deOutputFolder->LineEdit());
  setTabOrder(deOutputFolder->LineEdit(), deOutputFolder->BrowseButton());
  setTabOrder(deOutputFolder->BrowseButton(), seLinesCount);
  setTabOrder(seLinesCount, seHeaderLines);
  setTabOrder(seHeaderLines, edtMaxBytes);
  setTabOrder(edtMaxBytes, chkCsvRecords);
  setTabOrder(chkCsvRecords, chkKeepLineEnds);
  setTabOrder(chkKeepLineEnds, btnSplit);
  setTabOrder(btnSplit, btnStop);
  setTabOrder(btnStop, btnSave);
  setTabOrder(btnSave, pgcOutput);
  setTabOrder(pgcOutput, memOutput);
  setTabOrder(memOutput, edtToSplitFile->LineEdit());
  resize(600, 570);
  // Never smaller than the controls need, so no text is cut off, and with
  // room left for the progress.
  setMinimumSize(layout->minimumSize().expandedTo(QSize(480, 490)));
}

void TFileSplitForm::LoadFromFile(const std::string& file_name) {
  session_->LoadFromFile(file_name);
  FillControls();
}

void TFileSplitForm::ReadFromFile(const std::string& file_name) {
  session_->ReadFromFile(file_name);
  FillControls();
}

void TFileSplitForm::FillControls() {
  edtToSplitFile->SetText(session_->SourceFile);
  deOutputFolder->SetText(session_->DestFolder);
  seLinesCount->setValue(std::clamp<int32_t>(session_->MaxLines, 1, kMaxLines));
  seHeaderLines->setValue(std::clamp<int32_t>(session_->HeaderLines, 0, kMaxHeaderLines));
  // A size the task file held but that does not read as one shows as no limit.
  edtMaxBytes->setText(session_->MaxBytes > 0 ? QString::fromStdString(SizeText(session_->MaxBytes))
                                              : QString());
  chkCsvRecords->setChecked(session_->CsvRecords);
  chkKeepLineEnds->setChecked(session_->KeepLineEnds);
  RefreshLabels(true);
}

void TFileSplitForm::CopyToSession() {
  // A number still being typed counts as the box makes it on leaving (Split
  // by its accelerator leaves the focus where it is).
  seLinesCount->interpretText();
  seHeaderLines->interpretText();
  session_->SourceFile = edtToSplitFile->Text();
  session_->DestFolder = deOutputFolder->Text();
  session_->MaxLines = seLinesCount->value();
  session_->HeaderLines = seHeaderLines->value();
  const std::string max_bytes = TrimText(edtMaxBytes->text().toStdString());
  session_->MaxBytes = max_bytes.empty() ? 0 : ParseSizeText(max_bytes);
  session_->CsvRecords = chkCsvRecords->isChecked();
  session_->KeepLineEnds = chkKeepLineEnds->isChecked();
  session_->OptionError.clear();  // the boxes say what the run does
}

void TFileSplitForm::edtToSplitFileChange() {
  deOutputFolder->SetText(RemoveFileExt(edtToSplitFile->Text()) + "_split");
  RefreshLabels(false);
}

void TFileSplitForm::CheckSourceOpens(const std::string& source) {
  // An empty box names no file (expanded, it would name the current folder).
  if (source.empty()) throw EFOpenError("", ENOENT);
  Env::Default()->OpenForRead(ExpandFileName(source));
}

void TFileSplitForm::RefreshLabels(bool throw_error) {
  const std::string source = edtToSplitFile->Text();
  label_error_.clear();
  try {
    // Opening is quick and tells why a name cannot be read; the count,
    // which reads the whole file, goes to the worker.
    CheckSourceOpens(source);
    lblFileSize->setText(QString::fromStdString("File Size: " + FormatFileSize(source)));
    lblFileLines->setText(kCounting);
    count_request_ = counter_->Request(source);
  } catch (const Exception& e) {
    // No count for a file that cannot be read; one on its way is stale.
    counter_->Cancel();
    count_request_ = 0;
    // An empty box is not reported: Split says so itself.
    label_error_ = source.empty() ? "" : e.Message();
    lblFileSize->setText(QString::fromStdString(source.empty() ? "File Size: " : label_error_));
    lblFileLines->setText("File Lines: ");
    if (throw_error) throw;
  }
}

void TFileSplitForm::LinesCounted(quint64 request, bool ok, qint64 lines) {
  if (request != count_request_) return;  // a newer text asked since
  lblFileLines->setText(ok ? "File Lines: " + QString::number(lines) : "File Lines: ");
  emit linesCounted();
}

bool TFileSplitForm::CheckBeforeRun() {
  if (TrimText(edtToSplitFile->Text()).empty()) {
    Desktop().ShowMessage(this, "select a text file");
    edtToSplitFile->LineEdit()->setFocus();
    return false;
  }
  // A name that cannot be read is the user's to mend, told once here (the
  // labels say it already), not left to fail the run. Asked afresh: the
  // file may have gone since the labels were filled.
  try {
    CheckSourceOpens(edtToSplitFile->Text());
  } catch (const Exception& e) {
    Desktop().ShowMessage(this, e.Message());
    edtToSplitFile->LineEdit()->setFocus();
    return false;
  }
  // Before the question below: a run refused later must not have cost the
  // user an answer about their files.
  if (!CheckMaxBytes()) return false;
  if (!CheckOutputFolder()) return false;
  const std::string folder = deOutputFolder->Text();
  if (!folder.empty() && DirectoryExists(folder) && !IsDirectoryEmpty(folder) &&
      !Desktop().AskOkCancel(this, "Output folder should be empty, delete files in it?")) {
    deOutputFolder->LineEdit()->setFocus();
    return false;
  }
  if (seLinesCount->value() <= 0) {
    Desktop().ShowMessage(this, "\"Max Lines per Split File\" max > 0");
    seLinesCount->setFocus();
    return false;
  }
  return true;
}

bool TFileSplitForm::CheckOutputFolder() {
  // The run would refuse these too, but only as a failed run.
  const std::string folder = deOutputFolder->Text();
  std::string refusal;
  if (TrimText(folder).empty()) {
    refusal = "The output folder is not set.";
  } else if (FileExists(folder)) {
    refusal = "Cannot create folder \"" + folder + "\". A file of that name exists.";
  } else {
    refusal = OutputFolderRefusal(folder);
  }
  if (refusal.empty()) return true;
  Desktop().ShowMessage(this, refusal);
  deOutputFolder->LineEdit()->setFocus();
  return false;
}

bool TFileSplitForm::CheckMaxBytes() {
  const std::string text = TrimText(edtMaxBytes->text().toStdString());
  if (text.empty() || ParseSizeText(text) >= 0) return true;
  Desktop().ShowMessage(this, "Max bytes per split file must be a size such as 500K, 10M or 2G.");
  edtMaxBytes->setFocus();
  return false;
}

void TFileSplitForm::btnSplitClick() {
  if (Running()) return;  // one run at a time on this session and outputer
  if (!CheckBeforeRun()) return;
  outputer_->Reset();
  CopyToSession();
  // A count still running would read the source beside the run; the run
  // counts it anyway and the label asks again when it has ended.
  if (lblFileLines->text() == kCounting) {
    counter_->Cancel();
    lblFileLines->setText("File Lines: ");
  }
  SetRunning(true);
  run_->Start(executor_.get());
}

void TFileSplitForm::btnStopClick() { run_->Stop(); }

void TFileSplitForm::btnSaveClick() {
  if (Running() || session_manager_ == nullptr) return;
  if (!CheckMaxBytes()) return;
  CopyToSession();
  session_manager_->SaveSession(session_.get());
}

void TFileSplitForm::SetRunning(bool running) {
  btnStop->setEnabled(running);
  // The run reads the task while it works, so nothing may change it meanwhile.
  for (QWidget* w : std::initializer_list<QWidget*>{edtToSplitFile, deOutputFolder, seLinesCount,
                                                    seHeaderLines, edtMaxBytes, chkCsvRecords,
                                                    chkKeepLineEnds, btnSplit, btnSave}) {
    w->setEnabled(!running);
  }
  if (running) {
    btnStop->setFocus();
  } else {
    btnSplit->setFocus();
  }
}

void TFileSplitForm::RunFinished(bool, const QString& error) {
  // Files (not folders) in the output folder with the source's extension.
  const int files =
      CountFiles(session_->DestFolder + "/", "*" + ExtractFileExt(session_->SourceFile), false);
  memo_->AddLine("Split to " + std::to_string(files) + " files.");
  SetRunning(false);
  if (lblFileLines->text() == "File Lines: " && label_error_.empty()) RefreshLabels(false);
  if (!error.isEmpty()) ReportUnexpectedError(error.toStdString());
  emit runFinished();
  if (close_after_run_) {
    close_after_run_ = false;
    QDialog::reject();
  }
}

void TFileSplitForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Typing goes into the text file's name whenever the window comes up.
  if (!event->spontaneous() && !Running()) edtToSplitFile->LineEdit()->setFocus();
}

void TFileSplitForm::reject() {
  if (Running()) {
    // QDialog's close event comes here too, and ignores the close while
    // the window stays up; the window answers meanwhile.
    close_after_run_ = true;
    run_->Stop();
    return;
  }
  QDialog::reject();
}

}  // namespace lorvant
