#include "ui/SessionSaveDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "ui/Desktop.h"
#include "ui/FileNameEdit.h"

namespace lorvant {

void StyleAsSmallDialog(QDialog* dialog) {
  QPalette palette = dialog->palette();
  palette.setColor(QPalette::Window, QColor(255, 251, 240));
  dialog->setPalette(palette);
  dialog->setAutoFillBackground(true);
  dialog->layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TSessionSaveDlg::TSessionSaveDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Save Session");
  lblSessionDesc = new QLabel(this);
  lblSessionDesc->setWordWrap(true);
  lblSessionDesc->setMinimumWidth(520);
  lblSessionFile = new QLabel("&Session File", this);
  edtSessionFile = new TFileNameEdit(TFileNameEdit::Kind::kSaveFile, this);
  edtSessionFile->SetAccessibleLabel("Session File");
  lblSessionFile->setBuddy(edtSessionFile->LineEdit());
  btnSave = new QPushButton("&OK", this);
  btnBatch = new QPushButton("Save && Make &Batch File", this);
  btnCancel = new QPushButton("&Cancel", this);
  btnSave->setDefault(true);

  auto* row = new QHBoxLayout();
  row->addWidget(lblSessionFile);
  row->addWidget(edtSessionFile, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnSave);
  buttons->addWidget(btnBatch);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblSessionDesc);
  layout->addLayout(row);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  StyleAsSmallDialog(this);

  connect(btnSave, &QPushButton::clicked, this, &TSessionSaveDlg::btnSaveClick);
  connect(btnBatch, &QPushButton::clicked, this, &TSessionSaveDlg::btnBatchClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  edtSessionFile->LineEdit()->setFocus();
}

void TSessionSaveDlg::SetFileName(const std::string& name) { edtSessionFile->SetText(name); }
void TSessionSaveDlg::SetFilter(const std::string& filter) { edtSessionFile->Filter = filter; }
void TSessionSaveDlg::SetDefaultExt(const std::string& ext) { edtSessionFile->DefaultExt = ext; }
void TSessionSaveDlg::SetDescription(const std::string& text) {
  lblSessionDesc->setText(QString::fromStdString(text));
}
std::string TSessionSaveDlg::FileName() const { return edtSessionFile->Text(); }

bool TSessionSaveDlg::Execute() {
  Confirmed = false;
  exec();
  return Confirmed;
}

bool TSessionSaveDlg::CheckFileName() {
  auto fail = [this](const std::string& message) {
    Desktop().ShowMessage(this, message);
    edtSessionFile->LineEdit()->setFocus();
    return false;
  };
  std::string name = TrimText(edtSessionFile->Text());
  if (name.empty()) return fail("Please choose/enter Sessoin file.");
  if (name.find('/') == std::string::npos) {
    std::replace(name.begin(), name.end(), ' ', '_');
    const std::string folder = GetDocumentsPath() + "/Lorvant";
    ForceFolder(folder);  // a failure shows when the file is created below
    name = folder + "/" + name;
  }
  if (ExtractFileExt(name).empty() && !edtSessionFile->DefaultExt.empty()) {
    name += "." + edtSessionFile->DefaultExt;
  }
  edtSessionFile->SetText(name);
  if (FileExists(name)) return true;
  const std::string error = TryCreateFile(name);
  if (error.empty()) return true;
  // The system's reason alone: the file error names the file already.
  const std::string reason = TextAfter(error, "\". ");
  return fail("Can not create Session file \"" + name + "\": " + (reason.empty() ? error : reason) +
              ", please select another file.");
}

void TSessionSaveDlg::btnSaveClick() {
  if (!CheckFileName()) return;
  Confirmed = true;
  accept();
}

void TSessionSaveDlg::btnBatchClick() {
  if (!CheckFileName()) return;
  MakeBatchFlag = true;
  Confirmed = true;
  accept();
}

}  // namespace lorvant
