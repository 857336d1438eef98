#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "diagnostics/DebugHelper.h"
#include "log/Log.h"
#include "net/CurlHttpClient.h"
#include "settings/RegUtil.h"
#include "support/TestEnv.h"
#include "support/TestHttpServer.h"
#include "ui/CaptureScreen.h"
#include "ui/ExceptionReportDlg.h"
#include "ui/HyperLink.h"
#include "ui/KeyboardCheck.h"
#include "ui/MainForm.h"
#include "ui/NotifyUpdateDlg.h"
#include "ui/UiTestSupport.h"
#include "ui/UpdateChecks.h"
#include "ui/WebBrowserForm.h"

namespace lorvant {
namespace {

using test::TestHttpServer;

class ReportDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    endpoint_ = std::make_unique<test::ScopedEnvVar>("LORVANT_ENDPOINT", server_.BaseUrl().c_str());
    TDebugHelper::ClearLog();
    TLog::Global()->Debug("what happened before");
    window_.setWindowTitle("Working window");
    window_.resize(300, 200);
    window_.show();
    QApplication::setActiveWindow(&window_);
    // Any page shown is recorded and closed; none may stay open.
    pages_.clear();
  }
  void TearDown() override { window_.hide(); }

  // Shows the report for message; act works on the dialog once it is up.
  void Report(const std::string& message, std::function<void(TExceptionReportDlg*)> act,
              THttpClient* http = nullptr) {
    test::OnNextModal<TExceptionReportDlg>([this, act](TExceptionReportDlg* dlg) {
      // A page follows only after the dialog closed: watch for it then.
      QObject::connect(dlg, &QDialog::finished, [this] {
        test::OnNextModal<TWebBrowserForm>([this](TWebBrowserForm* form) {
          pages_.push_back(form->Html);
          maximized_ = form->isMaximized();
          form->accept();
        });
      });
      act(dlg);
    });
    ShowExceptionReport(message, http != nullptr ? *http : http_);
  }

  // Clicks button and waits until the send it starts has ended.
  static void SendWith(TExceptionReportDlg* dlg, QAbstractButton* button) {
    QSignalSpy finished(dlg, &TExceptionReportDlg::SendFinished);
    button->click();
    ASSERT_TRUE(test::WaitForSignals(finished));
  }

  test::FakeDesktop desktop_;
  TestHttpServer server_;
  TCurlHttpClient http_{THttpLimits{2000, 10000}};
  std::unique_ptr<test::ScopedEnvVar> endpoint_;
  QWidget window_;
  std::vector<std::string> pages_;
  bool maximized_ = false;
};

TEST_F(ReportDialogTest, SendsTheReportAndShowsTheAnswer) {
  server_.Reply(200, "  Solved ");
  std::string shown, tip;
  bool image_shown = false;
  Report("Access violation at address 0040A1B2. Read of address 00000000",
         [&](TExceptionReportDlg* dlg) {
           shown = dlg->lblMessage->text().toStdString();
           tip = dlg->lblMessage->toolTip().toStdString();
           image_shown = dlg->chkScreenshot->isChecked() && !dlg->imgScreenshot->isHidden();
           EXPECT_NE(dlg->memLog->toPlainText().indexOf("what happened before"), -1);
           SendWith(dlg, dlg->OKBtn);
         });
  EXPECT_EQ(shown, "Memory Error");
  EXPECT_EQ(tip, "Memory Error");
  EXPECT_TRUE(image_shown);
  // The screenshot of the window the user was in went with the report.
  EXPECT_EQ(ScreenshotFile(), ScreenshotPath());
  const std::string jpeg = test::ReadBytes(ScreenshotFile());
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
  ASSERT_EQ(server_.RequestCount(), 1u);
  bool had_file = false, had_log = false;
  for (const auto& part : test::ParseMultipart(server_.Requests()[0])) {
    if (part.name == "msg") {
      EXPECT_EQ(part.body.rfind("Access violation at address", 0), 0u);
    }
    if (part.name == "screenshot") had_file = part.body == jpeg;
    if (part.name == "log") had_log = part.body.find("what happened before") != std::string::npos;
  }
  EXPECT_TRUE(had_file);
  EXPECT_TRUE(had_log);
  EXPECT_EQ(TDebugHelper::GetLog(), "");
  EXPECT_EQ(pages_, std::vector<std::string>{"<html>Solved"});
  EXPECT_FALSE(maximized_);  // no keyword was found
  EXPECT_TRUE(desktop_.errors.empty());
}

TEST_F(ReportDialogTest, CloseSendsNothingAndUncheckedPartsStayHome) {
  Report("Disk full", [](TExceptionReportDlg* dlg) { dlg->CancelBtn->click(); });
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_TRUE(pages_.empty());

  server_.Reply(200, "");
  bool hidden = false;
  Report("Disk full", [&](TExceptionReportDlg* dlg) {
    dlg->chkScreenshot->click();
    dlg->chkLog->click();
    hidden = dlg->imgScreenshot->isHidden() && dlg->memLog->isHidden();
    SendWith(dlg, dlg->lblNotify);  // the link sends as the button does
  });
  EXPECT_TRUE(hidden);
  ASSERT_EQ(server_.RequestCount(), 1u);
  for (const auto& part : test::ParseMultipart(server_.Requests()[0])) {
    EXPECT_NE(part.name, "screenshot");
    EXPECT_NE(part.name, "log");
  }
  EXPECT_NE(TDebugHelper::GetLog().find("what happened before"), std::string::npos);
  EXPECT_TRUE(pages_.empty());  // an empty answer shows nothing further
}

TEST_F(ReportDialogTest, AFailedSendIsAMessageAndNothingElse) {
  test::ScopedEnvVar nowhere("LORVANT_ENDPOINT", TestHttpServer::UnusedPortUrl().c_str());
  Report("Disk full", [](TExceptionReportDlg* dlg) { SendWith(dlg, dlg->OKBtn); });
  ASSERT_EQ(desktop_.errors.size(), 1u);
  EXPECT_NE(desktop_.errors[0].find("127.0.0.1"), std::string::npos) << desktop_.errors[0];
  EXPECT_TRUE(pages_.empty());
  EXPECT_NE(TDebugHelper::GetLog().find("what happened before"), std::string::npos);
}

TEST_F(ReportDialogTest, ASilentServerEndsWithinTheTimeOutOrWhenCancelled) {
  server_.NeverAnswer();
  TCurlHttpClient quick(THttpLimits{300, 300});
  Report(
      "Disk full", [](TExceptionReportDlg* dlg) { SendWith(dlg, dlg->OKBtn); }, &quick);
  ASSERT_EQ(desktop_.errors.size(), 1u);

  TCurlHttpClient patient(THttpLimits{60000, 60000});
  bool busy = false, idle_again = false, still_open = false;
  Report(
      "Disk full",
      [&](TExceptionReportDlg* dlg) {
        QSignalSpy finished(dlg, &TExceptionReportDlg::SendFinished);
        dlg->OKBtn->click();
        busy = dlg->Sending() && !dlg->OKBtn->isEnabled() && dlg->CancelBtn->text() == "&Cancel";
        dlg->CancelBtn->click();
        ASSERT_TRUE(test::WaitForSignals(finished));
        idle_again = dlg->OKBtn->isEnabled() && dlg->CancelBtn->text() == "&Close";
        still_open = dlg->isVisible();
        dlg->CancelBtn->click();
      },
      &patient);
  EXPECT_TRUE(busy);
  EXPECT_TRUE(idle_again);
  EXPECT_TRUE(still_open);
  EXPECT_EQ(desktop_.errors.size(), 1u);  // a cancel is not an error
  // Neither the failed send nor the cancelled one took the log away.
  EXPECT_NE(TDebugHelper::GetLog().find("what happened before"), std::string::npos);
}

TEST_F(ReportDialogTest, BoxesToggledByAScreenReaderDecideWhatIsSentAndTheSizeStays) {
  server_.Reply(200, "");
  // A message far too long for any screen: one word of 3,000 characters
  // and a hundred lines.
  std::string message = "Cannot open file /" + std::string(3000, 'x');
  for (int i = 0; i < 100; ++i) message += "\nline " + std::to_string(i);
  QSize before, unchecked, checked_again;
  QRect screen;
  QString shown, tip;
  bool hidden = false, shown_again = false;
  Report(message, [&](TExceptionReportDlg* dlg) {
    screen = dlg->screen()->availableGeometry();
    before = dlg->size();
    shown = dlg->lblMessage->text();
    tip = dlg->lblMessage->toolTip();
    auto settled_size = [dlg] {
      dlg->layout()->activate();
      QApplication::processEvents();
      return dlg->size();
    };
    for (QCheckBox* box : {dlg->chkScreenshot, dlg->chkLog}) {
      EXPECT_TRUE(test::AccessibleToggle(box));
    }
    hidden = dlg->imgScreenshot->isHidden() && dlg->memLog->isHidden();
    unchecked = settled_size();
    for (QCheckBox* box : {dlg->chkScreenshot, dlg->chkLog}) test::AccessibleToggle(box);
    shown_again = !dlg->imgScreenshot->isHidden() && !dlg->memLog->isHidden();
    checked_again = settled_size();
    for (QCheckBox* box : {dlg->chkScreenshot, dlg->chkLog}) test::AccessibleToggle(box);
    SendWith(dlg, dlg->OKBtn);
  });
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(shown_again);
  EXPECT_EQ(unchecked, before);
  EXPECT_EQ(checked_again, before);
  EXPECT_LE(before.width(), screen.width());
  EXPECT_LE(before.height(), screen.height());
  // The label is cut with an ellipsis; the whole text is in its tooltip
  // and goes out whole.
  EXPECT_LT(shown.size(), 400);
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  EXPECT_EQ(tip.toStdString(), message);
  ASSERT_EQ(server_.RequestCount(), 1u);
  bool had_msg = false;
  for (const auto& part : test::ParseMultipart(server_.Requests()[0])) {
    EXPECT_NE(part.name, "screenshot");
    EXPECT_NE(part.name, "log");
    if (part.name == "msg") had_msg = part.body == message;
  }
  EXPECT_TRUE(had_msg);
  EXPECT_NE(TDebugHelper::GetLog().find("what happened before"), std::string::npos);
}

TEST_F(ReportDialogTest, TheKeyboardStartsOnTheFirstBoxEveryControlHasAnAcceleratorEscapeCloses) {
  bool first_box = false, closed = false;
  std::vector<std::string> problems;
  Report("Disk full", [&](TExceptionReportDlg* dlg) {
    first_box = test::KeyboardFocus(dlg) == dlg->chkScreenshot;
    problems = test::AcceleratorProblems(dlg);
    closed = test::EscapeCloses(dlg);
    if (!closed) dlg->reject();
  });
  EXPECT_TRUE(first_box);
  EXPECT_EQ(problems, std::vector<std::string>{});
  EXPECT_TRUE(closed);
  EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(ReportDialogTest, TheScreenshotOpensWithTheDesktop) {
  Report("Disk full", [](TExceptionReportDlg* dlg) {
    dlg->imgScreenshot->click();
    dlg->CancelBtn->click();
  });
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{ScreenshotPath()});
}

// The update dialog on the screen, modal or not; nullptr when none is.
TNotifyUpdateDlg* ShownUpdateDialog() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<TNotifyUpdateDlg*>(w);
    if (dialog != nullptr && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

// Calls fn with the update dialog once it shows (checked every 10 ms until
// the deadline).
void OnUpdateDialogBy(std::function<void(TNotifyUpdateDlg*)> fn,
                      std::chrono::steady_clock::time_point deadline) {
  QTimer::singleShot(10, [fn, deadline] {
    if (TNotifyUpdateDlg* dialog = ShownUpdateDialog()) {
      fn(dialog);
    } else if (std::chrono::steady_clock::now() < deadline) {
      OnUpdateDialogBy(fn, deadline);
    }
  });
}

class UpdateDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    endpoint_ = std::make_unique<test::ScopedEnvVar>("LORVANT_ENDPOINT", server_.BaseUrl().c_str());
    RegWriteString(kProductKey, "NotNotifyUpdate", "");
    RegWriteString(kProductKey, "CheckUpdateDate", "");
    // The program's window, which a daily notice belongs to.
    start_page_.setWindowTitle("Lorvant");
    start_page_.show();
  }
  void TearDown() override { start_page_.hide(); }

  // Runs start, which is to show the dialog, and returns its texts and
  // whether it was modal.
  std::vector<std::string> Run(std::function<void()> start, bool tick_box = false,
                               bool* modal = nullptr) {
    auto texts = std::make_shared<std::vector<std::string>>();
    auto was_modal = std::make_shared<bool>(false);
    // The dialog follows a request on the check's own thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    OnUpdateDialogBy(
        [texts, tick_box, was_modal](TNotifyUpdateDlg* dlg) {
          *texts = {dlg->windowTitle().toStdString(), dlg->lblHeader->text().toStdString(),
                    dlg->lblNotify->text().toStdString(), dlg->lblLink->URL};
          *was_modal = dlg->isModal() || QApplication::activeModalWidget() == dlg;
          // As a screen reader ticks it: no click.
          if (tick_box) {
            EXPECT_TRUE(test::AccessibleToggle(dlg->chkNotShow));
          }
          dlg->btnClose->click();
        },
        deadline);
    EXPECT_EQ(Finish(start), std::vector<bool>{true});
    if (modal != nullptr) *modal = *was_modal;
    return *texts;
  }
  // Runs start and returns what each check that ended said about its dialog.
  std::vector<bool> Finish(std::function<void()> start) {
    QSignalSpy finished(&checks_, &TUpdateChecks::CheckFinished);
    start();
    EXPECT_TRUE(test::WaitForSignals(finished));
    std::vector<bool> shown;
    for (const auto& args : finished) shown.push_back(args.at(0).toBool());
    return shown;
  }

  test::FakeDesktop desktop_;
  TestHttpServer server_;
  std::unique_ptr<test::ScopedEnvVar> endpoint_;
  QWidget start_page_;
  TUpdateChecks checks_{[] { return std::make_unique<TCurlHttpClient>(THttpLimits{2000, 5000}); }};
};

TEST_F(UpdateDialogTest, BothChecksAnswerThroughTheDialog) {
  server_.Reply(200, "2.0");
  bool modal = true;
  EXPECT_EQ(Run([this] { checks_.NotifyUpdate(); }, true, &modal),
            (std::vector<std::string>{
                "Upgrade Notify", "Updates are available for Lorvant, version 2.0",
                "Please download and install latest version from ", DownloadPageUrl()}));
  EXPECT_FALSE(modal);                                             // nobody asked for it
  EXPECT_EQ(RegReadString(kProductKey, "NotNotifyUpdate"), "-1");  // the box was ticked
  EXPECT_EQ(Finish([this] { checks_.NotifyUpdate(); }), std::vector<bool>{false});
  EXPECT_EQ(server_.RequestCount(), 1u);

  // The main window's command asks however the daily check is set.
  server_.Reply(200, "1.0");
  SetUpdateChecks(&checks_);
  TMainForm main_form(nullptr);
  EXPECT_EQ(Run([&main_form] { main_form.mniCheckUpdate1->trigger(); }),
            (std::vector<std::string>{"Check Update", "This is the latest version (1.0) of Lorvant",
                                      "You can see update news on this page: ", UpdateNewsUrl()}));
  SetUpdateChecks(nullptr);
  EXPECT_EQ(server_.RequestCount(), 2u);
}

TEST_F(UpdateDialogTest, TheDailyNoticeWaitsForTheOpenDialogAndLeavesTheKeyboardAlone) {
  server_.Reply(200, "2.0");
  QDialog typing;
  auto* edit = new QLineEdit(&typing);
  bool waited = false, none_while_open = false;
  QString typed;
  test::OnNextModal<QDialog>([&](QDialog* dialog) {
    edit->setFocus();
    checks_.NotifyUpdate();
    // The answer is in; while the user types in the open dialog, nothing
    // comes between.
    waited = QTest::qWaitFor([this] { return checks_.NoticeWaiting(); }, 30000);
    QTest::keyClicks(QApplication::focusWidget(), " ok");
    QTest::qWait(1000);
    QTest::keyClicks(QApplication::focusWidget(), " 2");
    none_while_open = ShownUpdateDialog() == nullptr && checks_.NoticeWaiting();
    typed = edit->text();
    dialog->accept();
  });
  QSignalSpy finished(&checks_, &TUpdateChecks::CheckFinished);
  typing.exec();
  EXPECT_TRUE(waited);
  EXPECT_TRUE(none_while_open);
  EXPECT_EQ(typed, " ok 2");
  // Once the dialog is closed the notice shows, without asking for the
  // keyboard and without blocking the program's other windows.
  ASSERT_TRUE(QTest::qWaitFor([] { return ShownUpdateDialog() != nullptr; }, 30000));
  TNotifyUpdateDlg* notice = ShownUpdateDialog();
  EXPECT_TRUE(notice->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_FALSE(notice->isModal());
  EXPECT_EQ(notice->parentWidget(), &start_page_);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(checks_.NoticeWaiting());
  EXPECT_EQ(notice->lblHeader->text(), "Updates are available for Lorvant, version 2.0");
  EXPECT_TRUE(finished.isEmpty());
  EXPECT_TRUE(test::EscapeCloses(notice));
  ASSERT_TRUE(test::WaitForSignals(finished));
  EXPECT_EQ(finished.at(0).at(0).toBool(), true);
}

TEST_F(UpdateDialogTest, AVeryLongAnswerKeepsTheDialogOnTheScreen) {
  const std::string digits(400, '7');
  server_.Reply(200, digits);
  QRect screen, dialog, close;
  QString tip, spoken;
  bool on_close = false;
  std::vector<std::string> problems;
  OnUpdateDialogBy(
      [&](TNotifyUpdateDlg* dlg) {
        screen = dlg->screen()->availableGeometry();
        dialog = dlg->frameGeometry();
        close = dlg->btnClose->geometry();
        tip = dlg->lblHeader->toolTip();
        spoken = dlg->lblHeader->accessibleName();
        on_close = test::KeyboardFocus(dlg) == dlg->btnClose;
        problems = test::AcceleratorProblems(dlg);
        dlg->btnClose->click();
      },
      std::chrono::steady_clock::now() + std::chrono::seconds(30));
  EXPECT_EQ(Finish([this] { checks_.CheckUpdate(); }), std::vector<bool>{true});
  EXPECT_LE(dialog.width(), screen.width());
  EXPECT_LE(dialog.height(), screen.height());
  EXPECT_TRUE(QRect(QPoint(0, 0), dialog.size()).contains(close));
  const QString full =
      QString::fromStdString("Updates are available for Lorvant, version " + digits);
  EXPECT_EQ(tip, full);
  EXPECT_EQ(spoken, full);
  EXPECT_TRUE(on_close);
  EXPECT_EQ(problems, std::vector<std::string>{});
}

TEST_F(UpdateDialogTest, CheckUpdateShowsItIsCheckingAndCanBeStopped) {
  server_.NeverAnswer();
  TUpdateChecks patient{[] {
    return std::make_unique<TCurlHttpClient>(THttpLimits{60000, 60000});
  }};
  for (bool by_escape : {false, true}) {
    SCOPED_TRACE(by_escape ? "Escape" : "Cancel");
    QSignalSpy finished(&patient, &TUpdateChecks::CheckFinished);
    patient.CheckUpdate();
    QProgressDialog* checking = patient.CheckingDialog();
    ASSERT_NE(checking, nullptr);
    EXPECT_TRUE(checking->isVisible());
    EXPECT_EQ(checking->labelText(), "Checking for updates...");
    EXPECT_EQ(QApplication::activeModalWidget(), checking);
    // The request is under way and the window still answers.
    ASSERT_TRUE(QTest::qWaitFor(
        [this, by_escape] { return server_.RequestCount() == (by_escape ? 2u : 1u); }, 30000));
    EXPECT_TRUE(finished.isEmpty());
    if (by_escape) {
      EXPECT_TRUE(test::EscapeCloses(checking));
    } else {
      auto* cancel = checking->findChild<QPushButton*>();
      ASSERT_NE(cancel, nullptr);
      EXPECT_EQ(cancel->text(), "&Cancel");
      cancel->click();
    }
    ASSERT_TRUE(test::WaitForSignals(finished));
    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    QTest::qWait(200);
    EXPECT_EQ(ShownUpdateDialog(), nullptr);
    EXPECT_EQ(patient.CheckingDialog(), nullptr);
  }
}

}  // namespace
}  // namespace lorvant
