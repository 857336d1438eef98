#include "ui/FileNameEdit.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

#include "ui/Desktop.h"

namespace lorvant {

TFileNameEdit::TFileNameEdit(Kind kind, QWidget* parent)
    : QWidget(parent), kind_(kind), edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(edit_, 1);
  layout->addWidget(browse_);
  browse_->setText("...");
  browse_->setIcon(style()->standardIcon(kind == Kind::kFolder ? QStyle::SP_DirOpenIcon
                                                               : QStyle::SP_FileDialogStart));
  browse_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  browse_->setFocusPolicy(Qt::StrongFocus);
  edit_->setClearButtonEnabled(false);
  connect(edit_, &QLineEdit::textChanged, this, &TFileNameEdit::textChanged);
  connect(edit_, &QLineEdit::editingFinished, this, &TFileNameEdit::editingFinished);
  connect(browse_, &QToolButton::clicked, this, &TFileNameEdit::Browse);
}

TFileNameEdit::~TFileNameEdit() {
  // The box loses the focus while it is destroyed; that must not reach a
  // half-destroyed owner.
  edit_->disconnect(this);
}

void TFileNameEdit::SetAccessibleLabel(const QString& label) {
  QString name = label;
  name.remove('&');
  edit_->setAccessibleName(name);
  browse_->setAccessibleName("Browse for " + name.chopped(name.endsWith(':') ? 1 : 0).trimmed());
  browse_->setToolTip(browse_->accessibleName());
}

void TFileNameEdit::Browse() {
  std::string chosen;
  const std::string start = PickerStart(Text(), kind_ == Kind::kFolder);
  switch (kind_) {
    case Kind::kOpenFile:
      chosen = Desktop().OpenFileName(window(), Filter, DefaultExt, start);
      break;
    case Kind::kSaveFile:
      chosen = Desktop().SaveFileName(window(), Filter, DefaultExt, start);
      break;
    case Kind::kFolder:
      chosen = Desktop().FolderName(window(), start);
      break;
  }
  if (!chosen.empty()) SetText(chosen);
  edit_->setFocus();
}

}  // namespace lorvant
