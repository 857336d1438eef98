#include "ui/NotifyUpdateDlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/HyperLink.h"
#include "ui/SessionSaveDlg.h"

namespace lorvant {

TNotifyUpdateDlg::TNotifyUpdateDlg(QWidget* parent) : QDialog(parent) {
  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::StyledPanel);
  lblHeader = new QLabel("Updates are available for ", Bevel1);
  QFont bold = lblHeader->font();
  bold.setBold(true);
  lblHeader->setFont(bold);
  lblNotify = new QLabel("Please download and install latest version from ", Bevel1);
  lblLink = new THyperLink(Bevel1);
  chkNotShow = new QCheckBox("Do not remind me again", this);
  btnClose = new QPushButton("Close", this);
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

  connect(chkNotShow, &QCheckBox::clicked, this, &TNotifyUpdateDlg::chkNotShowClick);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TNotifyUpdateDlg::Fill(const TUpdateNotice& notice) {
  setWindowTitle(QString::fromStdString(notice.Caption));
  CurrentVersion = notice.CurrentVersion;
  LatestVersion = notice.LatestVersion;
  lblHeader->setText(QString::fromStdString(notice.Header));
  lblNotify->setText(QString::fromStdString(notice.Notify));
  lblLink->setText(QString::fromStdString(notice.Link));
  lblLink->URL = notice.Link;
}

void TNotifyUpdateDlg::chkNotShowClick() { SetNotNotifyUpdate(chkNotShow->isChecked()); }

}  // namespace lorvant
