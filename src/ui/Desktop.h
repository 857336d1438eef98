// What the windows ask of the desktop: message boxes, file and folder
// pickers, and opening a document, address or mail link with its program.
// Tests install a fake that answers without showing anything.
#pragma once

#include <string>

class QWidget;

namespace lorvant {

class TDesktop {
 public:
  TDesktop() = default;
  virtual ~TDesktop() = default;
  TDesktop(const TDesktop&) = delete;
  TDesktop& operator=(const TDesktop&) = delete;

  // A message with an OK button, modal over parent.
  virtual void ShowMessage(QWidget* parent, const std::string& text) = 0;
  // An error message with an OK button.
  virtual void ShowError(QWidget* parent, const std::string& text) = 0;
  // A question with OK and Cancel (information icon); true for OK.
  virtual bool AskOkCancel(QWidget* parent, const std::string& text) = 0;
  // A question with Yes and No, as a warning or as a confirmation; true
  // for Yes.
  virtual bool AskYesNo(QWidget* parent, const std::string& text, bool warning) = 0;
  // The file chosen in an open-file picker; "" when cancelled. filter is
  // in "Text|pattern|Text|pattern" form; default_ext has no dot.
  virtual std::string OpenFileName(QWidget* parent, const std::string& filter,
                                   const std::string& default_ext, const std::string& start) = 0;
  // The same for a save-file picker.
  virtual std::string SaveFileName(QWidget* parent, const std::string& filter,
                                   const std::string& default_ext, const std::string& start) = 0;
  // The folder chosen in a folder picker; "" when cancelled.
  virtual std::string FolderName(QWidget* parent, const std::string& start) = 0;
  // Hands target (an address, "mailto:" link or file path) to the desktop's
  // default program. Returns a code above 32 on success, else the failure's
  // code in the open-link table (2 file not found, 3 path not found, 5
  // access denied, 31 no program for it).
  virtual int Open(const std::string& target) = 0;
};

// The desktop the windows use: the real one unless a test installed another.
TDesktop& Desktop();
// Installs desktop (not owned; nullptr: the real one again).
void SetDesktop(TDesktop* desktop);

// Where a picker for the name in a box starts, for the `start` of the
// pickers above: the name itself when it is a folder, or when it is a file
// name in a folder that exists (the picker opens that folder with the name
// chosen); a folder picker whose name does not exist yet starts in the
// name's folder; anything else starts in the user's documents folder.
std::string PickerStart(const std::string& text, bool folder_picker);

// The folder saved tasks go to by default (the documents folder's
// "Lorvant"), where their picker starts; the documents folder while that
// does not exist.
std::string SavedTasksPickerStart();

// "Text|pattern|Text|pattern" filters as Qt name filters ("Text (pattern)"),
// patterns separated by ";" or blanks; a text's own "(...)" gives way to
// the pattern that really applies.
std::string QtNameFilters(const std::string& filter);

// The message for a failed open code (0..32) of the open-link table.
std::string OpenFailureMessage(int code);

}  // namespace lorvant
