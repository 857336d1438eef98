// "Task Scheduler": the list of the user's scheduled tasks with their
// schedule, next and last run time, status and creator, and the commands
// to create (the wizard), edit (the properties dialog), run, delete and
// reload them. The list follows the task store: a run that ends, a task
// written elsewhere, shows without a click.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "scheduler/TaskScheduler.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace lorvant {

class TTaskListForm : public QDialog {
  Q_OBJECT

 public:
  // Connects to the service (store_folder "" is the user's own) and fills
  // the list. Throws the scheduler's error when the service cannot be
  // reached; the caller shows it.
  explicit TTaskListForm(QWidget* parent = nullptr, const std::string& store_folder = "",
                         bool first_generation = false);
  ~TTaskListForm() override;

  // Reloads the list from the service; the selection is kept by name.
  void TaskSchedulerRefresh();
  // Runs the new-task wizard with path as the program; reloads the list
  // when a task was made. Returns whether it was.
  bool ScheduleApplication(const std::string& path);
  // Enables the commands that fit the selection.
  void UpdateActions();
  // The task a row shows (nullptr when it is gone from the service).
  TTaskItem* RowTask(QTreeWidgetItem* row);

  // Keeps the list from following the store while a window works on one
  // of the scheduler's items (a reload frees them); a change seen
  // meanwhile reloads the list when the last hold goes.
  class ReloadHold {
   public:
    explicit ReloadHold(TTaskListForm* form) : form_(form) { ++form_->holds_; }
    ~ReloadHold();
    ReloadHold(const ReloadHold&) = delete;
    ReloadHold& operator=(const ReloadHold&) = delete;

   private:
    TTaskListForm* form_;
  };

  TTaskScheduler Scheduler;
  QToolBar* ToolBar;
  QLabel* pnlTarget;
  QTreeWidget* ListView;
  QStatusBar* StatusBar1;
  QAction* acRefresh;
  QAction* acProperties;
  QAction* acNew;
  QAction* acRun;
  QAction* acDelete;
  QAction* acClose;
  QMenu* popSelected;
  QMenu* popView;

 public slots:
  void acRefreshExecute();
  void acPropertiesExecute();
  void acNewExecute();
  void acRunExecute();
  void acDeleteExecute();
  void acCloseExecute();

 protected:
  bool event(QEvent* e) override;

 private:
  void BuildActions();
  void BuildLayout();
  void FillRow(QTreeWidgetItem* row, TTaskItem* item);
  void ShowPopup(const QPoint& pos);
  // Runs fn and shows an error it raises in a message box; false then.
  bool Guarded(const std::function<void()>& fn);
  void WatchStore();
  // Reloads for a change of the store, unless a hold defers it.
  void StoreChanged();

  std::string store_folder_;
  QFileSystemWatcher* watcher_;
  QTimer* reload_timer_;
  int holds_ = 0;
  bool reload_deferred_ = false;
};

}  // namespace lorvant
