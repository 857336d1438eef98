#include "ui/Desktop.h"

#include <unistd.h>

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <cerrno>
#include <vector>

#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"

namespace lorvant {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString DialogFolder(const std::string& start) {
  // Never the empty "Computer" view.
  if (start.empty()) return Q(GetDocumentsPath());
  QFileInfo info(Q(start));
  return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

// A file picker whose typed name without extension gets default_ext.
std::string PickFile(QWidget* parent, QFileDialog::AcceptMode mode, const std::string& filter,
                     const std::string& default_ext, const std::string& start) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  dialog.setNameFilter(Q(QtNameFilters(filter)));
  if (!default_ext.empty()) dialog.setDefaultSuffix(Q(default_ext));
  dialog.setDirectory(DialogFolder(start));
  if (!start.empty() && !QFileInfo(Q(start)).isDir()) dialog.selectFile(Q(start));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return dialog.selectedFiles().first().toStdString();
}

class QtDesktop final : public TDesktop {
 public:
  void ShowMessage(QWidget* parent, const std::string& text) override {
    QMessageBox::information(parent, "Lorvant", Q(text));
  }
  void ShowError(QWidget* parent, const std::string& text) override {
    QMessageBox::critical(parent, "Lorvant", Q(text));
  }
  bool AskOkCancel(QWidget* parent, const std::string& text) override {
    return QMessageBox::information(parent, "Lorvant", Q(text),
                                    QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  }
  bool AskYesNo(QWidget* parent, const std::string& text, bool warning) override {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    QMessageBox::StandardButton answer =
        warning ? QMessageBox::warning(parent, "Lorvant", Q(text), buttons, QMessageBox::No)
                : QMessageBox::question(parent, "Lorvant", Q(text), buttons, QMessageBox::No);
    return answer == QMessageBox::Yes;
  }
  std::string OpenFileName(QWidget* parent, const std::string& filter,
                           const std::string& default_ext, const std::string& start) override {
    return PickFile(parent, QFileDialog::AcceptOpen, filter, default_ext, start);
  }
  std::string SaveFileName(QWidget* parent, const std::string& filter,
                           const std::string& default_ext, const std::string& start) override {
    return PickFile(parent, QFileDialog::AcceptSave, filter, default_ext, start);
  }
  std::string FolderName(QWidget* parent, const std::string& start) override {
    return QFileDialog::getExistingDirectory(parent, QString(), DialogFolder(start)).toStdString();
  }
  int Open(const std::string& target) override {
    QUrl url = QUrl::fromUserInput(Q(target), QString(), QUrl::AssumeLocalFile);
    if (url.isLocalFile()) {
      // The table's reasons for a file are known before the desktop is asked.
      const std::string path = url.toLocalFile().toStdString();
      if (access(path.c_str(), F_OK) != 0) {
        const QString folder = QFileInfo(url.toLocalFile()).absolutePath();
        return QFileInfo(folder).isDir() ? 2 : 3;
      }
      if (access(path.c_str(), R_OK) != 0) return errno == EACCES ? 5 : 1;
    }
    return QDesktopServices::openUrl(url) ? 42 : 31;
  }
};

TDesktop* installed = nullptr;

}  // namespace

TDesktop& Desktop() {
  static QtDesktop real;
  return installed != nullptr ? *installed : real;
}

void SetDesktop(TDesktop* desktop) { installed = desktop; }

std::string PickerStart(const std::string& text, bool folder_picker) {
  const std::string name = TrimText(text);
  if (!name.empty()) {
    if (DirectoryExists(name)) return name;
    // A relative name has no folder the picker could know.
    std::string folder = ExtractFilePath(name);
    if (folder.size() > 1) folder.pop_back();
    if (!folder.empty() && DirectoryExists(folder)) return folder_picker ? folder : name;
  }
  return GetDocumentsPath();
}

std::string SavedTasksPickerStart() {
  const std::string documents = GetDocumentsPath();
  const std::string tasks = documents + "/Lorvant";
  return !documents.empty() && DirectoryExists(tasks) ? tasks : documents;
}

std::string QtNameFilters(const std::string& filter) {
  std::vector<std::string> parts;
  SplitString(filter, '|', &parts);
  std::string out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string text = TrimText(parts[i]);
    const size_t paren = text.rfind('(');
    if (paren != std::string::npos && text.back() == ')') text = TrimText(text.substr(0, paren));
    std::string patterns;
    for (char c : parts[i + 1]) {
      if (c == ';' || c == ' ') {
        if (!patterns.empty() && patterns.back() != ' ') patterns += ' ';
      } else {
        patterns += c;
      }
    }
    if (!out.empty()) out += ";;";
    out += text + " (" + TrimText(patterns) + ")";
  }
  return out;
}

std::string OpenFailureMessage(int code) {
  switch (code) {
    case 0:
      return "The operating system is out of memory or resources.";
    case 2:
      return "The specified file was not found.";
    case 3:
      return "The specified path was not found.";
    case 5:
      return "The operating system denied access to the specified file.";
    case 8:
      return "There was not enough memory to complete the operation.";
    case 11:
      return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image";
    case 26:
      return "A sharing violation occurred.";
    case 27:
      return "The filename association is incomplete or invalid.";
    case 28:
      return "The DDE transaction could not be completed because the request timed out.";
    case 29:
      return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not be completed because other DDE transactions were "
             "being processed.";
    case 31:
      return "There is no application associated with the given filename extension.";
    case 32:
      return "The specified dynamic-link library was not found.";
    default:
      return "Unknownrror in ShellExecte.";
  }
}

}  // namespace lorvant
