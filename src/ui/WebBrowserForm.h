// The "Web Browser" window: shows an HTML page the vendor's endpoint sent
// back to a report. The page is shown, never followed: it loads nothing
// from disk or network, and only web and mail links open, in the desktop's
// own programs.
#pragma once

#include <QDialog>
#include <QTextBrowser>
#include <string>

namespace lorvant {

// A browser that renders only what it is given.
class TPageView : public QTextBrowser {
  Q_OBJECT

 public:
  explicit TPageView(QWidget* parent = nullptr);
  QVariant loadResource(int type, const QUrl& name) override;
};

class TWebBrowserForm : public QDialog {
  Q_OBJECT

 public:
  explicit TWebBrowserForm(QWidget* parent = nullptr);

  // Trims html, puts "<html>" in front unless it begins with exactly that,
  // and shows it.
  void SetPage(const std::string& html);

  TPageView* WebBrowser1;
  std::string Html;  // the page as loaded

 private slots:
  void LinkClicked(const QUrl& url);
};

// Shows html in a "Web Browser" window over parent, modally; maximized when
// asked.
void ShowHtmlPage(QWidget* parent, const std::string& html, bool maximized);

}  // namespace lorvant
