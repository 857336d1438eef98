// Test support for the windows: a desktop that answers message boxes and
// pickers from a script and records what was shown, a way to act on the
// next modal dialog once it is up, and waiting for a signal without sleeping.
#pragma once

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/Desktop.h"
#include "ui/UnexpectedError.h"

namespace lorvant::test {

class FakeDesktop : public TDesktop {
 public:
  FakeDesktop() { SetDesktop(this); }
  ~FakeDesktop() override { SetDesktop(nullptr); }

  std::vector<std::string> messages;  // every box shown, errors included
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  std::deque<bool> answers;          // for questions; OK when empty
  std::deque<std::string> files;     // for the pickers; cancel when empty
  std::vector<std::string> opened;   // targets handed to the desktop
  std::vector<std::string> filters;  // of the open-file pickers shown
  std::vector<std::string> starts;   // where each picker shown started
  int open_code = 42;

  void ShowMessage(QWidget*, const std::string& text) override { messages.push_back(text); }
  void ShowError(QWidget*, const std::string& text) override {
    messages.push_back(text);
    errors.push_back(text);
  }
  bool AskOkCancel(QWidget*, const std::string& text) override {
    questions.push_back(text);
    if (answers.empty()) return true;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool AskYesNo(QWidget* parent, const std::string& text, bool) override {
    return AskOkCancel(parent, text);
  }
  std::string OpenFileName(QWidget*, const std::string& filter, const std::string&,
                           const std::string& start) override {
    filters.push_back(filter);
    starts.push_back(start);
    return Next();
  }
  std::string SaveFileName(QWidget*, const std::string&, const std::string&,
                           const std::string& start) override {
    starts.push_back(start);
    return Next();
  }
  std::string FolderName(QWidget*, const std::string& start) override {
    starts.push_back(start);
    return Next();
  }
  int Open(const std::string& target) override {
    opened.push_back(target);
    return open_code;
  }

 private:
  std::string Next() {
    if (files.empty()) return "";
    std::string f = files.front();
    files.pop_front();
    return f;
  }
};

// Records what reaches the application's handling of unexpected errors.
class ErrorRecorder {
 public:
  ErrorRecorder() {
    SetUnexpectedErrorHandler([this](const std::string& m) { reported.push_back(m); });
  }
  ~ErrorRecorder() { SetUnexpectedErrorHandler(nullptr); }
  std::vector<std::string> reported;
};

// Calls fn with the next modal dialog of type T once it is shown (checked
// on every turn of the event loop, at most `turns` times).
template <class T>
void OnNextModal(std::function<void(T*)> fn, int turns = 5000) {
  QTimer::singleShot(0, [fn, turns] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      fn(dialog);
    } else if (turns > 0) {
      OnNextModal<T>(fn, turns - 1);
    }
  });
}

// The same for a dialog that follows work on another thread: checked every
// 10 ms until it shows or the deadline passes.
template <class T>
void OnNextModalBy(std::function<void(T*)> fn, std::chrono::steady_clock::time_point deadline) {
  QTimer::singleShot(10, [fn, deadline] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      fn(dialog);
    } else if (std::chrono::steady_clock::now() < deadline) {
      OnNextModalBy<T>(fn, deadline);
    }
  });
}

// Waits (processing events) until spy has count signals; false on time-out.
inline bool WaitForSignals(QSignalSpy& spy, int count = 1, int timeout_ms = 60000) {
  while (spy.count() < count) {
    if (!spy.wait(timeout_ms)) return spy.count() >= count;
  }
  return true;
}

}  // namespace lorvant::test
