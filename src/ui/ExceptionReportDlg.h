// The "Error Message" dialog of an unexpected error: the message, the
// screenshot of the window it happened in and the debug log, and a button
// that sends them to the vendor. Sending runs on a worker thread: the
// dialog shows it is busy, and its Cancel button stops the request.
#pragma once

#include <QDialog>
#include <atomic>
#include <string>
#include <thread>

#include "diagnostics/ExceptionReport.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace lorvant {

class TLinkButton;

class TExceptionReportDlg : public QDialog {
  Q_OBJECT

 public:
  // Sends through http (not owned; it must outlive the dialog).
  explicit TExceptionReportDlg(THttpClient& http, QWidget* parent = nullptr);
  ~TExceptionReportDlg() override;

  TExceptionReport Report;  // ErrorMessage, Fields and Reply

  // Fills the dialog for message: the screenshot (none when file is ""),
  // the shown message, the fields and the solution lookup.
  void Setup(const std::string& message, const std::string& screenshot_file);
  // True while a report is being sent.
  bool Sending() const { return sender_.joinable(); }

  QFrame* Bevel1;
  QLabel* lblMessage;
  TLinkButton* lblNotify;
  QCheckBox* chkScreenshot;
  QPushButton* imgScreenshot;
  QCheckBox* chkLog;
  QPlainTextEdit* memLog;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

 signals:
  // A send ended (sent, failed or cancelled).
  void SendFinished();

 public slots:
  void reject() override;

 private slots:
  void OKBtnClick();
  void CancelBtnClick();
  void chkScreenshotClick();
  void chkLogClick();
  void imgScreenshotClick();

 private:
  void StartSend();
  void EndSend(bool cancelled, const std::string& error);
  void SetBusy(bool busy);
  // Fixes the dialog's size to its content, never past the screen.
  void FitToScreen();

  THttpClient& http_;
  std::string screenshot_file_;
  std::thread sender_;
  std::atomic<bool> cancel_{false};
  bool close_after_cancel_ = false;
};

// Takes the screenshot of the active window, waits 300 ms, shows the report
// for message modally and, when the endpoint answered, its page.
void ShowExceptionReport(const std::string& message, THttpClient& http);

// The path of the last screenshot taken, "" when none was.
std::string ScreenshotFile();

}  // namespace lorvant
