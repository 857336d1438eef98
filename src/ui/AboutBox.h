// The about box: the program's icon, name and version, and a link row
// (homepage or support address) when one is set. TAboutBoxDialog describes
// one box and shows it; TAboutBox is the window.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace lorvant {

class THyperLink;
class TVersionLabel;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* ProgramIcon;
  QLabel* ProductName;
  TVersionLabel* VersionLabel1;
  QLabel* HyperType;
  THyperLink* HyperLink1;
  QPushButton* OKButton;

  // "Homepage:" opens the link's text, "Support:" mails it, else nothing.
  void HyperLink1Click();
};

// The box's product line: product and the architecture the program was
// built for, as the error report's "app_version" says it.
std::string AboutProductText(const std::string& product);

class TAboutBoxDialog {
 public:
  std::string ProductName;
  std::string HyperType;  // "Homepage:", "Support:" or ""
  std::string URL;

  // Shows the box modally over parent; returns true.
  bool Execute(QWidget* parent = nullptr);
};

}  // namespace lorvant
