// "Scheduled task wizard": creates one scheduled task page by page, what
// to run, the task's name and kind of schedule, the schedule's details and
// the account, and ends on a page that shows the result. Finish saves the
// task; Cancel drops what was not saved.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "scheduler/TriggerRecord.h"
#include "ui/TaskWindowsUtil.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;

namespace lorvant {

class TTaskItem;
class TTaskScheduler;

class TNewTaskWizard : public QDialog {
  Q_OBJECT

 public:
  // scheduler (not owned) makes and keeps the task.
  explicit TNewTaskWizard(TTaskScheduler* scheduler, QWidget* parent = nullptr);

  // The task being built; nullptr until the task-name page is left.
  TTaskItem* Item() const { return item_; }
  // Forgets the task without saving it (the scheduler drops it).
  void DropItem();
  // Sets the buttons after a page change.
  void UpdateButtons();
  // Enables Next when the page's fields allow it.
  void UpdateNextEnabled();
  // The schedule kind chosen on the name and details pages.
  TTriggerType SelectedKind() const;
  // Whether the first generation of the service is in use.
  bool FirstGeneration() const;

  // The pages, in order.
  QStackedWidget* PageControl1;
  QWidget* tsCustomData;
  QWidget* tsTaskName;
  QWidget* tsTriggerDetails;
  QWidget* tsAccountInfo;
  QWidget* tsFinished;
  QLabel* imgSide;
  QLabel* lblPageCaption;

  QLineEdit* edtApplicationName;
  QPushButton* btnBrowse;
  QLineEdit* edtParameters;
  QLineEdit* edtWorkDir;
  QLineEdit* edtCreator;
  QPlainTextEdit* memComments;
  QCheckBox* ckbVistaHighestPrivileges;

  QLineEdit* edtTaskName;
  QComboBox* ComboBox1;
  QGroupBox* GroupBox1;
  QRadioButton* rbAnyUser;
  QRadioButton* rbSpecificUser;
  QLineEdit* edUser;
  QGroupBox* GroupBox2;
  QRadioButton* rbRemoteConnection;
  QRadioButton* rbLocalConnection;

  QStackedWidget* pnlDetails;
  QWidget* pnlOneTimeOnly;
  QWidget* pnlDaily;
  QWidget* pnlWeekly;
  QWidget* pnlMonthly;
  QTimeEdit* dtStartTimeOnce;
  QDateEdit* dtStartDateOnce;
  QTimeEdit* dtStartTimeDaily;
  QRadioButton* rbEveryDay;
  QRadioButton* rbEvery;
  QSpinBox* seIntervalDaily;
  QDateEdit* dtStartDateDaily;
  QTimeEdit* dtStartTimeWeekly;
  QSpinBox* seWeekInterval;
  TWeekdayBoxes cbWeekDays;  // Monday … Sunday
  QTimeEdit* dtStartTimeMonthly;
  QRadioButton* rbMonthlyDate;
  QSpinBox* seMonthDay;
  QRadioButton* rbMonthlyDow;
  QComboBox* cbWhichWeek;
  QComboBox* cbDaysOfTheWeek;
  TMonthBoxes cbMonths;  // January … December

  QLabel* lblAccountInfo;
  QLineEdit* edtAccount;
  QLabel* lblPasswordNote;

  QLabel* lblTaskResult;
  QLabel* lblTaskNextTime;
  QLabel* lblAdvanced;
  QPushButton* btnAdvanced;  // first generation only

  QPushButton* btnBack;
  QPushButton* btnNext;
  QPushButton* btnCancel;

 public slots:
  void btnNextClick();
  void btnBackClick();
  void btnBrowseClick();
  void btnAdvancedClick();
  void ComboBox1Change();

 private:
  QWidget* BuildCustomData();
  QWidget* BuildTaskName();
  QWidget* BuildTriggerDetails();
  QWidget* BuildAccountInfo();
  QWidget* BuildFinished();
  void ShowPage(int index);
  // The steps of Next on each page; false keeps the wizard where it is.
  bool LeaveTaskName();
  bool LeaveTriggerDetails();
  bool LeaveAccountInfo();
  // Makes the task (asking before replacing one); false when there is none.
  bool MakeTaskItem(TTriggerType kind);
  // False, after showing why, when the task as it stands could never run.
  bool ScheduleAccepted();
  void RefreshFinishLabels();
  void FocusFirstField();
  // Index of the kind in ComboBox1's entries (monthly by weekday is 3).
  static bool IsEventKind(TTriggerType kind);

  TTaskScheduler* scheduler_;  // not owned
  TTaskItem* item_ = nullptr;  // the scheduler's
  bool event_kind_ = false;    // the name page chose a kind without details
};

// Runs the wizard over scheduler with application (when not empty) as the
// program; saves the task on Finish and returns true then, with *item the
// task; on Cancel drops an unsaved task and returns false.
bool RunNewTaskWizard(TTaskScheduler* scheduler, TTaskItem** item, const std::string& application,
                      QWidget* parent = nullptr);

}  // namespace lorvant
