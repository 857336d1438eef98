// "<name> Properties": shows and edits one scheduled task, what it runs,
// its schedule, its settings and its comment. OK saves the task; Cancel
// writes nothing. Also the list texts of its duration boxes and back.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "scheduler/TriggerRecord.h"
#include "ui/TaskWindowsUtil.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTimeEdit;

namespace lorvant {

class TTaskItem;

// A duration list's entry as an ISO 8601 duration: "15 minutes" PT15M,
// "2 hours" PT2H, "90 days" P90D; "" stays ""; an entry without a blank
// stays as it is, but for "Immediately", which is PT0S.
std::string DurationFromListText(const std::string& text);
// The index of the entry that stands for the stored duration, -1 when
// none does (or the duration is empty).
int GetTimeIndex(const std::string& duration, const std::vector<std::string>& entries);

class TPropsDlg : public QDialog {
  Q_OBJECT

 public:
  enum class Layout {
    kSecondGeneration,  // actions, editable schedule, the definition's settings
    kFirstGeneration,   // one program, flags, priority, idle times; "&Edit..."
    kSchedulePages,     // the first generation's schedule and settings pages
  };

  // item (not owned) must be activated for the dialog's whole life.
  explicit TPropsDlg(TTaskItem* item, Layout layout, QWidget* parent = nullptr);

  // Fills the controls from the task.
  void Load();
  // Writes the controls into the task (not yet to the service).
  void Save();
  // Enables the settings that their options allow.
  void RefreshStates();
  // Reloads the run times and the schedule list.
  void LoadScheduleInfo();

  QTabWidget* PageControl1;
  QPushButton* btnOK;
  QPushButton* btnCancel;

  // Task, first generation
  QWidget* PanelXPTask;
  QLineEdit* edtTaskName;
  QLineEdit* edtApplication;
  QPushButton* btnBrowseXP;
  QLineEdit* edtParameters;
  QLineEdit* edtWorkDir;
  QLineEdit* edtCreator;
  QLabel* imgIcon;

  // Task, second generation
  QWidget* PanelVistaTasks;
  QTableWidget* StringGrid1;
  QStackedWidget* pnlAction;
  QWidget* PanelExec;
  QLineEdit* edtExecName;
  QLineEdit* edtExecParameters;
  QLineEdit* edtExecStartIn;
  QPushButton* btnBrowse;
  QWidget* PanelEMail;
  QLineEdit* edtMailFrom;
  QLineEdit* edtMailTo;
  QLineEdit* edtMailSubject;
  QLineEdit* edtMailServer;
  QPlainTextEdit* memMailMessage;
  QWidget* PanelMessageBox;
  QLineEdit* edtMessTitle;
  QPlainTextEdit* memMessText;
  QCheckBox* ckbVistaHighestPrivileges;

  // Schedule
  QLabel* lblNextRunTime;
  QLabel* lblLastRunTime;
  QComboBox* cbSchedule;
  QPushButton* btnEdit;
  QStackedWidget* pnlTrigger;
  QWidget* pnlNone;
  QWidget* pnlOnce;
  QWidget* pnlDaily;
  QWidget* pnlWeekly;
  QWidget* pnlMonthly;
  QTimeEdit* dtOnceTime;
  QDateEdit* dtOnceDate;
  QTimeEdit* dtDailyTime;
  QDateEdit* dtDailyDate;
  QRadioButton* rbEveryDay;
  QRadioButton* rbEvery;
  QSpinBox* seDailyInterval;
  QTimeEdit* dtWeeklyTime;
  QSpinBox* seWeekInterval;
  TWeekdayBoxes cbWeekDays;  // Monday … Sunday
  QTimeEdit* dtMonthlyTime;
  QRadioButton* rbMonthlyDate;
  QListWidget* clbMonthDays;  // 1 … 31
  QRadioButton* rbMonthlyDow;
  QComboBox* cbWhichWeek;
  QListWidget* clbWeekDays;  // Sunday … Saturday
  TMonthBoxes cbMonths;      // January … December

  // Settings, first generation
  QWidget* PanelXPSettings;
  QListWidget* clbFlagsXP;
  QComboBox* cbPriority;
  QSpinBox* seIdleMinutes;
  QSpinBox* seIdleWait;

  // Settings, second generation
  QWidget* PanelVistaSettings;
  QListWidget* clbFlags;
  QComboBox* EditIdle;
  QComboBox* EditIdleWait;
  QCheckBox* CheckTaskFails;
  QComboBox* EditRestartTime;
  QSpinBox* EditRestartCount;
  QCheckBox* CheckStopRuning;
  QComboBox* EditStopRuning;
  QCheckBox* CheckDeleteAfter;
  QComboBox* EditDeleteAfter;

  // Custom
  QPlainTextEdit* memComments;
  QPlainTextEdit* memBinaryData;

 public slots:
  void btnOKClick();
  void cbScheduleChange();
  void StringGrid1SelectCell(int row);
  void btnEditClick();

 private:
  QWidget* BuildTaskTab();
  QWidget* BuildScheduleTab();
  QWidget* BuildSettingsTab();
  QWidget* BuildCustomTab();
  void LoadContents();
  // Focus in the first field the user can type in.
  void FocusFirstField();
  void LoadAction(int row);
  void SaveAction(int row);
  void ShowAction(int row);
  void SaveTrigger();
  void LoadFirstGeneration();
  void LoadWorkItemSettings();
  void SaveFirstGeneration();
  void SaveWorkItemSettings();
  bool FirstGeneration() const { return layout_ != Layout::kSecondGeneration; }
  void RefreshIdleFields();
  void CheckBoxClicked(QCheckBox* box, QComboBox* list);

  TTaskItem* item_;  // not owned
  Layout layout_;
  int current_row_ = -1;
  bool refreshing_ = false;
};

// Opens the dialog on item in its generation's layout; true when OK saved
// it.
bool ShowTaskProperties(TTaskItem* item, QWidget* parent = nullptr);
// The schedule and settings pages of a first-generation task, with caption
// (the task's name when empty); true when OK wrote them into the task,
// which the caller saves.
bool ShowSchedulePages(TTaskItem* item, const std::string& caption, QWidget* parent = nullptr);

}  // namespace lorvant
