#include "ui/WebBrowserForm.h"

#include <QVBoxLayout>

#include "base/TextUtil.h"
#include "ui/Desktop.h"

namespace lorvant {

TPageView::TPageView(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
}

QVariant TPageView::loadResource(int, const QUrl&) { return QVariant(); }

TWebBrowserForm::TWebBrowserForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Web Browser");
  WebBrowser1 = new TPageView(this);
  WebBrowser1->setAccessibleName("Page");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(WebBrowser1);
  resize(584, 362);
  WebBrowser1->setFocus();
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  connect(WebBrowser1, &QTextBrowser::anchorClicked, this, &TWebBrowserForm::LinkClicked);
}

void TWebBrowserForm::SetPage(const std::string& html) {
  std::string page = TrimText(html);
  if (page.rfind("<html>", 0) != 0) page = "<html>" + page;
  Html = page;
  WebBrowser1->setHtml(QString::fromStdString(page));
}

void TWebBrowserForm::LinkClicked(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  if (scheme == "http" || scheme == "https" || scheme == "mailto") {
    Desktop().Open(url.toString().toStdString());
  }
}

void ShowHtmlPage(QWidget* parent, const std::string& html, bool maximized) {
  TWebBrowserForm form(parent);
  form.SetPage(html);
  if (maximized) form.setWindowState(form.windowState() | Qt::WindowMaximized);
  form.exec();
}

}  // namespace lorvant
