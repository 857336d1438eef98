#include "ui/NotifyUpdateDlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/HyperLink.h"
#include "ui/SessionSaveDlg.h"

namespace lorvant {
namespace {

// The widest a text line of the dialog gets: the answer comes from a
// server, and however long it is the dialog stays on the screen.
constexpr int kMaxTextWidth = 560;
constexpr int kFrameRoom = 80;

int MaxTextWidth(const QWidget* widget) {
  const QScreen* screen = widget->screen();
  const int available = screen != nullptr ? screen->availableGeometry().width() : kMaxTextWidth;
  return std::max(100, std::min(kMaxTextWidth, available - kFrameRoom));
}

// Shows text in widget, cut with an ellipsis where it is too wide; the
// whole text stays in the tooltip and for screen readers.
template <class Widget>
void SetFittingText(Widget* widget, const QString& text, Qt::TextElideMode mode) {
  const QString shown = widget->fontMetrics().elidedText(text, mode, MaxTextWidth(widget));
  widget->setText(shown);
  widget->setToolTip(shown == text ? QString() : text);
  widget->setAccessibleName(text);
}

}  // namespace

TNotifyUpdateDlg::TNotifyUpdateDlg(QWidget* parent) : QDialog(parent) {
  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::StyledPanel);
  lblHeader = new QLabel("Updates are available for ", Bevel1);
  QFont bold = lblHeader->font();
  bold.setBold(true);
  lblHeader->setFont(bold);
  lblNotify = new QLabel("Please download and install latest version from ", Bevel1);
  lblLink = new THyperLink(Bevel1);
  chkNotShow = new QCheckBox("&Do not remind me again", this);
  btnClose = new QPushButton("&Close", this);
  btnClose->setDefault(true);

  auto* bevel = new QVBoxLayout(Bevel1);
  bevel->addWidget(lblHeader);
  bevel->addWidget(lblNotify);
  bevel->addWidget(lblLink, 0, Qt::AlignLeft);
  auto* bottom = new QHBoxLayout();
  bottom->addWidget(chkNotShow);
  bottom->addStretch(1);
  bottom->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Bevel1);
  layout->addSpacing(6);
  layout->addLayout(bottom);
  setMinimumSize(460, 163);
  StyleAsSmallDialog(this);
  // As in a message box, the keys start on the button: a stray Space there
  // only closes the notice, where on the box it would switch the check off
  // without a word.
  btnClose->setFocus();

  // The state, not the click: keyboard, mouse and assistive technology
  // all change it.
  connect(chkNotShow, &QCheckBox::toggled, this, &TNotifyUpdateDlg::chkNotShowClick);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TNotifyUpdateDlg::Fill(const TUpdateNotice& notice) {
  setWindowTitle(QString::fromStdString(notice.Caption));
  CurrentVersion = notice.CurrentVersion;
  LatestVersion = notice.LatestVersion;
  SetFittingText(lblHeader, QString::fromStdString(notice.Header), Qt::ElideRight);
  SetFittingText(lblNotify, QString::fromStdString(notice.Notify), Qt::ElideRight);
  SetFittingText(lblLink, QString::fromStdString(notice.Link), Qt::ElideMiddle);
  lblLink->URL = notice.Link;
}

void TNotifyUpdateDlg::chkNotShowClick() { SetNotNotifyUpdate(chkNotShow->isChecked()); }

}  // namespace lorvant
