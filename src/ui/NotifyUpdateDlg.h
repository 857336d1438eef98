// The update dialog: says that a newer version exists (with the download
// page) or that this is the latest one (with the update news), and lets
// the user switch the daily check off.
#pragma once

#include <QDialog>
#include <string>

#include "diagnostics/UpdateCheck.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace lorvant {

class THyperLink;

class TNotifyUpdateDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TNotifyUpdateDlg(QWidget* parent = nullptr);

  std::string CurrentVersion;
  std::string LatestVersion;

  // Takes the caption, the versions and the three texts of notice.
  void Fill(const TUpdateNotice& notice);

  QFrame* Bevel1;
  QLabel* lblHeader;
  QLabel* lblNotify;
  THyperLink* lblLink;
  QCheckBox* chkNotShow;
  QPushButton* btnClose;

 private slots:
  void chkNotShowClick();
};

}  // namespace lorvant
