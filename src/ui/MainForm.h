// The start page of the windowed program: "New Task", the five most recent
// runs and the five most recently saved tasks as links, "More ..." for any
// task file, and the File, Tools and Help menus. It owns the split window
// and the log viewer, and rebuilds both lists whenever the split window
// closes.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;

namespace lorvant {

class TDialogFactory;
class TFileSplitForm;
class TLinkButton;
class TLogViewerForm;
class TSavedTaskList;
class TSessionManager;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kLinks = 5;

  // session_manager (not owned) serves the split window's "Save Task".
  explicit TMainForm(TSessionManager* session_manager, QWidget* parent = nullptr);
  ~TMainForm() override;

  TFileSplitForm* SplitForm() const { return split_form_; }
  TLogViewerForm* LogViewer() const { return log_viewer_; }
  // The task file a link opens ("" for a hidden link).
  std::string RecentTaskPath(int index) const;
  std::string SavedTaskPath(int index) const;

  QLabel* Label1;
  TLinkButton* alblWizard;
  QLabel* Label2;
  std::array<TLinkButton*, kLinks> lblRecentTask;
  QLabel* Label3;
  std::array<TLinkButton*, kLinks> lblSavedTask;
  TLinkButton* lblSavedTaskMore;
  QAction* mniSplit;
  QAction* Exit1;
  QAction* actOpenSession;  // "More ...", Ctrl+O
  QAction* ScheduledTasks1;
  QAction* Content1;
  QAction* ShowLog1;
  QAction* OpenExceptionFile1;
  QAction* Home1;
  QAction* SupportEmail1;
  QAction* mniCheckUpdate1;
  QAction* About1;

 public slots:
  void actNewSplitExecute();
  void actOpenSessionExecute();
  void OpenRecentTask(int index);
  void OpenSavedTask(int index);
  void OpenSavedTaskFile(const std::string& path);
  void ShowLog1Click();
  void mniCheckUpdate1Click();
  void About1Click();
  // The task list window, modal; the scheduler's error when it cannot be
  // reached.
  void ScheduledTasks1Click();
  // Rebuilds the recent-task links, then the saved-task links. A malformed
  // recent_tasks.txt line is reported; the links before it stay and the
  // saved-task links keep their state.
  void RefreshLists();

 private:
  void BuildMenus();
  void BuildPage();
  void RefreshRecentTasks();
  void RefreshSavedTasks();
  void ShowSplitForm();
  // Runs fill (which fills the split window from a task file); false after
  // saying why it failed: a text file that cannot be opened in a message,
  // anything else as an unexpected error.
  bool FillSplitForm(const std::function<void()>& fill);

  std::unique_ptr<TDialogFactory> dialog_factory_;
  std::unique_ptr<TSavedTaskList> saved_tasks_;
  TLogViewerForm* log_viewer_;
  TFileSplitForm* split_form_;
  std::array<std::string, kLinks> recent_paths_;
  std::array<std::string, kLinks> saved_paths_;
};

}  // namespace lorvant
