#include "ui/TaskListForm.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "scheduler/TaskStore.h"
#include "ui/Desktop.h"
#include "ui/Mnemonics.h"
#include "ui/NewTaskWizard.h"
#include "ui/TaskPropsDlg.h"
#include "ui/TaskWindowsUtil.h"

namespace lorvant {
namespace {

constexpr int kNameRole = Qt::UserRole + 1;

QAction* MakeAction(QWidget* parent, const char* caption, const char* category, const char* hint,
                    const char* theme_icon, QStyle::StandardPixmap standard) {
  // The icon theme's image, else the style's own.
  QIcon icon = QIcon::fromTheme(theme_icon, parent->style()->standardIcon(standard));
  auto* action = new QAction(icon, caption, parent);
  const QString text(hint);
  action->setToolTip(text.section('|', 0, 0));
  action->setStatusTip(text.section('|', 1));
  action->setProperty("category", category);
  return action;
}

}  // namespace

TTaskListForm::TTaskListForm(QWidget* parent, const std::string& store_folder,
                             bool first_generation)
    : QDialog(parent), Scheduler(store_folder), store_folder_(store_folder) {
  setWindowTitle("Task Scheduler");
  Scheduler.AutoRefresh = false;
  Scheduler.Duplicate = tdError;
  Scheduler.UseTaskScheduler1Only = first_generation;
  Scheduler.SetActive(true);  // throws when the service cannot be reached
  if (store_folder_.empty()) store_folder_ = TaskStore::DefaultFolder();
  BuildActions();
  BuildLayout();
  AssignMnemonics(this);
  watcher_ = new QFileSystemWatcher(this);
  reload_timer_ = new QTimer(this);
  reload_timer_->setSingleShot(true);
  reload_timer_->setInterval(150);
  // A run ending or a task saved elsewhere changes the store's folder;
  // the reload waits for the burst of writes to settle.
  connect(watcher_, &QFileSystemWatcher::directoryChanged, reload_timer_,
          qOverload<>(&QTimer::start));
  connect(reload_timer_, &QTimer::timeout, this, &TTaskListForm::StoreChanged);
  acRefresh->trigger();
}

TTaskListForm::~TTaskListForm() = default;

TTaskListForm::ReloadHold::~ReloadHold() {
  if (--form_->holds_ == 0 && form_->reload_deferred_) form_->reload_timer_->start();
}

void TTaskListForm::StoreChanged() {
  if (holds_ > 0) {
    reload_deferred_ = true;
    return;
  }
  reload_deferred_ = false;
  try {
    TaskSchedulerRefresh();
  } catch (const std::exception& e) {
    StatusBar1->showMessage(QString::fromStdString(e.what()));
  }
}

void TTaskListForm::BuildActions() {
  acRefresh = MakeAction(this, "Refresh", "View", "Refresh|Refreshes the task list", "view-refresh",
                         QStyle::SP_BrowserReload);
  acProperties = MakeAction(this, "Properties", "File", "Properties|Displays Properties Dialog",
                            "document-properties", QStyle::SP_FileDialogDetailedView);
  acNew = MakeAction(this, "New Task", "File", "New|Creates a new task", "document-new",
                     QStyle::SP_FileIcon);
  acRun = MakeAction(this, "Run", "File", "Run|Runs the task immediately", "system-run",
                     QStyle::SP_MediaPlay);
  acDelete = MakeAction(this, "Delete", "File", "Delete|Deletes the seleceted task(s)",
                        "edit-delete", QStyle::SP_TrashIcon);
  acClose = MakeAction(this, "Close", "File", "Close|Closes the application", "window-close",
                       QStyle::SP_DialogCloseButton);
  acRefresh->setShortcut(QKeySequence::Refresh);
  acProperties->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
  acNew->setShortcut(QKeySequence::New);
  acDelete->setShortcut(QKeySequence::Delete);
  acClose->setShortcut(QKeySequence::Close);
  for (QAction* a : {acRefresh, acProperties, acNew, acRun, acDelete, acClose}) {
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
  }
  connect(acRefresh, &QAction::triggered, this, &TTaskListForm::acRefreshExecute);
  connect(acProperties, &QAction::triggered, this, &TTaskListForm::acPropertiesExecute);
  connect(acNew, &QAction::triggered, this, &TTaskListForm::acNewExecute);
  connect(acRun, &QAction::triggered, this, &TTaskListForm::acRunExecute);
  connect(acDelete, &QAction::triggered, this, &TTaskListForm::acDeleteExecute);
  connect(acClose, &QAction::triggered, this, &TTaskListForm::acCloseExecute);

  popSelected = new QMenu(this);
  popSelected->addAction(acRun);
  popSelected->addSeparator();
  popSelected->addAction(acDelete);
  popSelected->addAction(acProperties);
  popView = new QMenu(this);
  popView->addAction(acNew);
  popView->addSeparator();
  popView->addAction(acRefresh);
}

void TTaskListForm::BuildLayout() {
  ToolBar = new QToolBar(this);
  ToolBar->setIconSize(QSize(24, 24));
  ToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBar->addAction(acNew);
  ToolBar->addSeparator();
  ToolBar->addAction(acRun);
  ToolBar->addSeparator();
  ToolBar->addAction(acDelete);
  ToolBar->addAction(acProperties);
  ToolBar->addSeparator();
  ToolBar->addAction(acRefresh);

  pnlTarget = new QLabel(this);
  pnlTarget->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  pnlTarget->setFrameShape(QFrame::StyledPanel);
  pnlTarget->setMargin(2);

  ListView = new QTreeWidget(this);
  ListView->setAccessibleName("Scheduled tasks");
  ListView->setRootIsDecorated(false);
  ListView->setUniformRowHeights(true);
  ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView->setAllColumnsShowFocus(true);
  ListView->setIconSize(QSize(16, 16));
  ListView->setHeaderLabels(
      {"Name", "Schedule", "Next Run Time", "Last Run Time", "Status", "Creator"});
  // The run-time columns are wide enough for a date and time in the
  // user's formats.
  const int time_width = ListView->fontMetrics().horizontalAdvance(
                             ListDateTimeText(EncodeDateTime({2026, 12, 28, 22, 58, 58, 0}))) +
                         16;
  const int widths[] = {148, 200, std::max(123, time_width), std::max(123, time_width), 80, 90};
  int total = 0;
  for (int i = 0; i < 6; ++i) {
    ListView->setColumnWidth(i, widths[i]);
    total += widths[i];
  }
  ListView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView, &QWidget::customContextMenuRequested, this, &TTaskListForm::ShowPopup);
  connect(ListView, &QTreeWidget::itemSelectionChanged, this, &TTaskListForm::UpdateActions);
  connect(ListView, &QTreeWidget::itemActivated, this, [this] {
    UpdateActions();
    if (acProperties->isEnabled()) acProperties->trigger();
  });

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setSizeGripEnabled(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ToolBar);
  layout->addWidget(pnlTarget);
  layout->addWidget(ListView, 1);
  layout->addWidget(StatusBar1);
  resize(std::max(768, total + 8), 516);
  setSizeGripEnabled(false);
  ListView->setFocus();
}

bool TTaskListForm::event(QEvent* e) {
  // A dialog has no status bar of its own: the hints of the control under
  // the pointer go to ours.
  if (e->type() == QEvent::StatusTip) {
    StatusBar1->showMessage(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return QDialog::event(e);
}

bool TTaskListForm::Guarded(const std::function<void()>& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());
    return false;
  }
}

void TTaskListForm::WatchStore() {
  if (store_folder_.empty()) return;
  const QString folder = QString::fromStdString(store_folder_);
  if (!watcher_->directories().contains(folder)) watcher_->addPath(folder);
}

TTaskItem* TTaskListForm::RowTask(QTreeWidgetItem* row) {
  if (row == nullptr) return nullptr;
  return Scheduler.ActivateTask(row->data(0, kNameRole).toString().toStdString());
}

void TTaskListForm::TaskSchedulerRefresh() {
  std::set<QString> selected;
  for (QTreeWidgetItem* row : ListView->selectedItems()) selected.insert(row->text(0));
  const QString current = ListView->currentItem() ? ListView->currentItem()->text(0) : QString();
  ListView->clear();
  Scheduler.Refresh();
  for (int i = 0; i < Scheduler.Count(); ++i) {
    TTaskItem* item = Scheduler.Items(i);
    auto* row = new QTreeWidgetItem(ListView);
    const QString name = QString::fromStdString(item->Name());
    row->setText(0, name);
    row->setData(0, kNameRole, QString::fromStdString(item->Name()));
    FillRow(row, item);
    if (selected.count(name) != 0) row->setSelected(true);
    if (name == current) ListView->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
  }
  pnlTarget->setText(
      QString::asprintf(" Scheduled tasks on %s", Scheduler.GetTargetComputer().c_str()));
  WatchStore();
  UpdateActions();
}

void TTaskListForm::FillRow(QTreeWidgetItem* row, TTaskItem* item) {
  ScopedActivation active(item);
  for (int c = 1; c < 6; ++c) row->setText(c, QString());
  row->setIcon(0, FileIconByName(item->GetApplicationName()));
  row->setText(1, QString::fromStdString(item->GetTriggerString()));
  row->setToolTip(1, row->text(1));  // a long schedule is cut in its column
  row->setText(2, ListDateTimeText(item->GetNextRunTime()));
  row->setText(3, ListDateTimeText(item->GetMostRecentRunTime()));
  row->setText(4, TaskStatusText(item->GetStatus()));
  row->setText(5, QString::fromStdString(item->GetCreator()));
}

void TTaskListForm::UpdateActions() {
  const int selected = static_cast<int>(ListView->selectedItems().size());
  acProperties->setEnabled(selected == 1);
  acRun->setEnabled(selected >= 1);
  acDelete->setEnabled(selected >= 1);
}

void TTaskListForm::acRefreshExecute() {
  Guarded([this] { TaskSchedulerRefresh(); });
}

void TTaskListForm::acPropertiesExecute() {
  UpdateActions();
  if (!acProperties->isEnabled()) return;
  QTreeWidgetItem* row = ListView->selectedItems().first();
  ReloadHold hold(this);
  Guarded([this, row] {
    TTaskItem* item = RowTask(row);
    if (item == nullptr) {
      TaskSchedulerRefresh();
      return;
    }
    if (ShowTaskProperties(item, this)) {
      FillRow(row, item);
    } else {
      TaskSchedulerRefresh();
    }
  });
}

bool TTaskListForm::ScheduleApplication(const std::string& path) {
  bool made = false;
  ReloadHold hold(this);
  Guarded([&] {
    TTaskItem* item = nullptr;
    // Before the list is shown (scheduling from the batch dialog) the
    // wizard stands over the window the user came from.
    QWidget* over = isVisible() || parentWidget() == nullptr ? this : parentWidget();
    made = RunNewTaskWizard(&Scheduler, &item, path, over);
  });
  if (made) acRefresh->trigger();
  return made;
}

void TTaskListForm::acNewExecute() { ScheduleApplication(""); }

void TTaskListForm::acRunExecute() {
  // Rows in list order, first to last.
  for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = ListView->topLevelItem(i);
    if (!row->isSelected()) continue;
    bool ok = Guarded([this, row] {
      TTaskItem* item = RowTask(row);
      if (item == nullptr) return;
      ScopedActivation active(item);
      item->Run();
    });
    if (!ok) break;
  }
}

void TTaskListForm::acDeleteExecute() {
  if (ListView->selectedItems().isEmpty()) return;
  if (!Desktop().AskYesNo(this, "Are you sure you want to delete the selected task(s)?", true)) {
    return;
  }
  for (int i = ListView->topLevelItemCount() - 1; i >= 0; --i) {
    QTreeWidgetItem* row = ListView->topLevelItem(i);
    if (!row->isSelected()) continue;
    try {
      Scheduler.DeleteTask(row->data(0, kNameRole).toString().toStdString());
      delete row;
    } catch (const std::exception&) {
      // the task stays listed, as it stays with the service
    }
  }
  UpdateActions();
}

void TTaskListForm::acCloseExecute() { close(); }

void TTaskListForm::ShowPopup(const QPoint& pos) {
  UpdateActions();
  QMenu* menu = ListView->selectedItems().isEmpty() ? popView : popSelected;
  menu->popup(ListView->viewport()->mapToGlobal(pos));
}

}  // namespace lorvant
