#include "ui/ExceptionReportDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include "diagnostics/DebugHelper.h"
#include "log/Log.h"
#include "ui/CaptureScreen.h"
#include "ui/Desktop.h"
#include "ui/LinkButton.h"
#include "ui/WebBrowserForm.h"

namespace lorvant {
namespace {

std::string& LastScreenshot() {
  static std::string file;
  return file;
}

constexpr int kImageWidth = 370;
constexpr int kImageHeight = 130;
// The message is shown in full in its tooltip and sent in full; the label
// keeps to the dialog's width and a few lines.
constexpr int kMessageWidth = 340;
constexpr int kMaxShownChars = 300;
constexpr int kMaxShownLines = 8;

// text as the label shows it: cut after kMaxShownChars characters or
// kMaxShownLines lines, and each word too wide for a line cut in its
// middle, all with an ellipsis.
QString FittingMessage(const QString& text, const QFontMetrics& metrics) {
  const QChar ellipsis(0x2026);
  QString shown = text.size() > kMaxShownChars ? text.left(kMaxShownChars) + ellipsis : text;
  QStringList lines = shown.split('\n');
  if (lines.size() > kMaxShownLines) {
    lines.resize(kMaxShownLines);
    lines.back() += ellipsis;
  }
  for (QString& line : lines) {
    QStringList words = line.split(' ');
    for (QString& word : words) {
      if (metrics.horizontalAdvance(word) > kMessageWidth) {
        word = metrics.elidedText(word, Qt::ElideMiddle, kMessageWidth);
      }
    }
    line = words.join(' ');
  }
  return lines.join('\n');
}

}  // namespace

std::string ScreenshotFile() { return LastScreenshot(); }

TExceptionReportDlg::TExceptionReportDlg(THttpClient& http, QWidget* parent)
    : QDialog(parent), http_(http) {
  setWindowTitle("Error Message");
  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::StyledPanel);
  lblMessage = new QLabel(Bevel1);
  lblMessage->setWordWrap(true);
  lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblMessage->setMaximumWidth(kMessageWidth + 20);
  lblNotify = new TLinkButton("&Report error and search the solution", Bevel1);
  chkScreenshot = new QCheckBox("&Include Screenshot", this);
  chkScreenshot->setChecked(true);
  imgScreenshot = new QPushButton(this);
  imgScreenshot->setFlat(true);
  imgScreenshot->setCursor(Qt::PointingHandCursor);
  imgScreenshot->setAccessibleName("Screenshot");
  imgScreenshot->setToolTip("Open the screenshot");
  imgScreenshot->setFixedSize(kImageWidth, kImageHeight);
  chkLog = new QCheckBox("Include &Log", this);
  chkLog->setChecked(true);
  memLog = new QPlainTextEdit(this);
  memLog->setAccessibleName("Log");
  memLog->setReadOnly(true);
  memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memLog->setMinimumSize(kImageWidth, 120);
  OKBtn = new QPushButton("&Send Report", this);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("&Close", this);
  // A part left out keeps its place, so the dialog does not jump in size
  // under the pointer when its boxes are toggled.
  for (QWidget* part : {static_cast<QWidget*>(imgScreenshot), static_cast<QWidget*>(memLog)}) {
    QSizePolicy policy = part->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    part->setSizePolicy(policy);
  }

  auto* bevel = new QVBoxLayout(Bevel1);
  bevel->addWidget(lblMessage);
  bevel->addWidget(lblNotify, 0, Qt::AlignLeft);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Bevel1);
  layout->addWidget(chkScreenshot);
  layout->addWidget(imgScreenshot, 0, Qt::AlignHCenter);
  layout->addWidget(chkLog);
  layout->addWidget(memLog, 1);
  layout->addLayout(buttons);
  setMinimumSize(394, 433);

  memLog->setPlainText(QString::fromStdString(TDebugHelper::GetLog()).replace("\r\n", "\n"));
  memLog->moveCursor(QTextCursor::End);

  connect(OKBtn, &QPushButton::clicked, this, &TExceptionReportDlg::OKBtnClick);
  connect(lblNotify, &QPushButton::clicked, this, &TExceptionReportDlg::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TExceptionReportDlg::CancelBtnClick);
  // The state, not the click: keyboard, mouse and assistive technology
  // all change it.
  connect(chkScreenshot, &QCheckBox::toggled, this, &TExceptionReportDlg::chkScreenshotClick);
  connect(chkLog, &QCheckBox::toggled, this, &TExceptionReportDlg::chkLogClick);
  connect(imgScreenshot, &QPushButton::clicked, this, &TExceptionReportDlg::imgScreenshotClick);
}

TExceptionReportDlg::~TExceptionReportDlg() {
  if (sender_.joinable()) {
    cancel_ = true;
    sender_.join();
  }
}

void TExceptionReportDlg::Setup(const std::string& message, const std::string& screenshot_file) {
  screenshot_file_ = screenshot_file;
  const QPixmap shot(QString::fromStdString(screenshot_file));
  if (!screenshot_file.empty() && !shot.isNull()) {
    const QPixmap scaled =
        shot.scaled(kImageWidth, kImageHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    imgScreenshot->setIcon(scaled);
    imgScreenshot->setIconSize(scaled.size());
    chkScreenshot->setChecked(true);
  } else {
    screenshot_file_.clear();
    chkScreenshot->setChecked(false);
    chkScreenshot->setEnabled(false);
    // Nothing can bring the picture back: its place is not kept.
    QSizePolicy policy = imgScreenshot->sizePolicy();
    policy.setRetainSizeWhenHidden(false);
    imgScreenshot->setSizePolicy(policy);
  }
  chkScreenshotClick();
  const QString shown = QString::fromStdString(TExceptionReport::ClassifyMessage(message));
  lblMessage->setText(FittingMessage(shown, lblMessage->fontMetrics()));
  lblMessage->setToolTip(shown);
  lblMessage->setAccessibleName(shown);
  Report.Prepare(message, TDebugHelper::GetLog());
  if (!Report.Advice.empty()) {
    lblNotify->setText(QString::fromStdString(Report.Advice));
    lblNotify->setToolTip(QString::fromStdString(Report.Advice));
  }
  // Focus in the first box, so a stray key neither sends nor closes.
  (chkScreenshot->isEnabled() ? chkScreenshot : chkLog)->setFocus();
  FitToScreen();
}

void TExceptionReportDlg::FitToScreen() {
  QSize size = sizeHint().expandedTo(minimumSizeHint()).expandedTo(QSize(394, 433));
  if (const QScreen* screen = this->screen()) {
    size = size.boundedTo(screen->availableGeometry().size());
  }
  setFixedSize(size);
}

void TExceptionReportDlg::OKBtnClick() {
  if (!Sending()) StartSend();
}

void TExceptionReportDlg::CancelBtnClick() {
  if (Sending()) {
    cancel_ = true;
  } else {
    QDialog::reject();
  }
}

void TExceptionReportDlg::reject() {
  // Escape or the window's close button while sending: stop, then close.
  if (Sending()) {
    cancel_ = true;
    close_after_cancel_ = true;
    return;
  }
  QDialog::reject();
}

void TExceptionReportDlg::chkScreenshotClick() {
  imgScreenshot->setVisible(chkScreenshot->isChecked());
}

void TExceptionReportDlg::chkLogClick() { memLog->setVisible(chkLog->isChecked()); }

void TExceptionReportDlg::imgScreenshotClick() {
  if (!screenshot_file_.empty()) Desktop().Open(screenshot_file_);
}

void TExceptionReportDlg::SetBusy(bool busy) {
  for (QWidget* control : {static_cast<QWidget*>(OKBtn), static_cast<QWidget*>(lblNotify),
                           static_cast<QWidget*>(chkLog)}) {
    control->setEnabled(!busy);
  }
  chkScreenshot->setEnabled(!busy && !screenshot_file_.empty());
  OKBtn->setText(busy ? "Sending..." : "&Send Report");
  CancelBtn->setText(busy ? "&Cancel" : "&Close");
  if (busy) {
    setCursor(Qt::BusyCursor);
    CancelBtn->setCursor(Qt::ArrowCursor);
    CancelBtn->setFocus();
  } else {
    unsetCursor();
  }
}

void TExceptionReportDlg::StartSend() {
  const std::string screenshot = chkScreenshot->isChecked() ? screenshot_file_ : "";
  const bool include_log = chkLog->isChecked();
  cancel_ = false;
  close_after_cancel_ = false;
  SetBusy(true);
  sender_ = std::thread([this, screenshot, include_log] {
    std::string error;
    try {
      Report.Send(http_, screenshot, include_log, &cancel_);
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "The report could not be sent.";
    }
    const bool cancelled = cancel_ && !error.empty();
    QMetaObject::invokeMethod(
        this, [this, cancelled, error] { EndSend(cancelled, error); }, Qt::QueuedConnection);
  });
}

void TExceptionReportDlg::EndSend(bool cancelled, const std::string& error) {
  sender_.join();
  SetBusy(false);
  emit SendFinished();
  if (cancelled) {
    if (close_after_cancel_) QDialog::reject();
    return;
  }
  if (!error.empty()) Desktop().ShowError(this, error);
  accept();
}

void ShowExceptionReport(const std::string& message, THttpClient& http) {
  QWidget* window = WorkingWindow();
  LastScreenshot().clear();
  try {
    LastScreenshot() = CaptureWindow(window, ScreenshotPath());
  } catch (const std::exception& e) {
    // The report still goes out, without its picture: failing here would
    // hide the very error the user is about to see.
    TLog::Global()->Debug(std::string("Screenshot not taken: ") + e.what());
  }
  QThread::msleep(300);
  std::string keyword, reply;
  {
    TExceptionReportDlg dialog(http, window);
    dialog.Setup(message, LastScreenshot());
    dialog.exec();
    keyword = dialog.Report.Fields.Get("keyword");
    reply = dialog.Report.Reply;
  }
  if (!reply.empty()) ShowHtmlPage(window, reply, !keyword.empty());
}

}  // namespace lorvant
