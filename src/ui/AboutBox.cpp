#include "ui/AboutBox.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "os/SystemInfo.h"
#include "os/VersionUtil.h"
#include "ui/HyperLink.h"
#include "ui/VersionLabel.h"

namespace lorvant {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  ProgramIcon = new QLabel(this);
  ProgramIcon->setFixedSize(64, 64);
  ProgramIcon->setScaledContents(true);
  ProductName = new QLabel(this);
  QFont bold = ProductName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  ProductName->setFont(bold);
  VersionLabel1 = new TVersionLabel(this);
  HyperType = new QLabel(this);
  HyperLink1 = new THyperLink(this);
  HyperLink1->SetClickHandler([this] { HyperLink1Click(); });
  OKButton = new QPushButton("&OK", this);
  OKButton->setDefault(true);
  OKButton->setFocus();

  auto* text = new QVBoxLayout();
  text->addWidget(ProductName);
  text->addWidget(VersionLabel1);
  auto* link_row = new QHBoxLayout();
  link_row->addWidget(HyperType);
  link_row->addWidget(HyperLink1);
  link_row->addStretch(1);
  text->addLayout(link_row);
  auto* top = new QHBoxLayout();
  top->addWidget(ProgramIcon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::HyperLink1Click() {
  const std::string kind = HyperType->text().toStdString();
  const std::string target = HyperLink1->text().toStdString();
  if (kind == "Homepage:") {
    HyperLink1->Open(target);
  } else if (kind == "Support:") {
    HyperLink1->Open("mailto:" + target);
  }
}

std::string AboutProductText(const std::string& product) {
  return product + " (" + GetAppArchitecture() + ")";
}

bool TAboutBoxDialog::Execute(QWidget* parent) {
  TAboutBox box(parent);
  box.ProductName->setText(QString::fromStdString(AboutProductText(ProductName)));
  box.HyperType->setText(QString::fromStdString(HyperType));
  box.HyperLink1->setText(QString::fromStdString(URL));
  box.HyperLink1->setVisible(!URL.empty());
  box.VersionLabel1->SetFileName(GetExeName());
  box.ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
  box.exec();
  return true;
}

}  // namespace lorvant
