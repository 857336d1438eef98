// A file or folder name box with a browse button beside it, as the split
// window and the save and batch dialogs use it. The button opens the
// desktop's picker for the kind of name the box holds.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <string>

class QToolButton;

namespace lorvant {

class TFileNameEdit : public QWidget {
  Q_OBJECT

 public:
  enum class Kind { kOpenFile, kSaveFile, kFolder };

  TFileNameEdit(Kind kind, QWidget* parent = nullptr);
  ~TFileNameEdit() override;

  std::string Text() const { return edit_->text().toStdString(); }
  // Sets the text (a change signals textChanged like typing does).
  void SetText(const std::string& text) { edit_->setText(QString::fromStdString(text)); }
  // "Text|pattern|..." filter and default extension (no dot) of the picker.
  std::string Filter;
  std::string DefaultExt;

  QLineEdit* LineEdit() const { return edit_; }
  QToolButton* BrowseButton() const { return browse_; }
  // Gives box and button accessible names taken from the box's label.
  void SetAccessibleLabel(const QString& label);

 signals:
  void textChanged(const QString& text);
  void editingFinished();

 public slots:
  // Opens the picker; a chosen name replaces the text.
  void Browse();

 private:
  const Kind kind_;
  QLineEdit* edit_;
  QToolButton* browse_;
};

}  // namespace lorvant
