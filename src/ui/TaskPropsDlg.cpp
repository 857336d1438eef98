#include "ui/TaskPropsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "scheduler/SchedUtils.h"
#include "scheduler/TaskItem.h"
#include "ui/Desktop.h"
#include "ui/Mnemonics.h"
#include "ui/TaskAccountDlg.h"
#include "ui/TaskWindowsUtil.h"

namespace lorvant {
namespace {

const std::vector<std::string> kIdleEntries = {"1 minute",   "5 minutes",  "10 minutes",
                                               "15 minutes", "30 minutes", "1 hour"};
const std::vector<std::string> kIdleWaitEntries = {"0 minutes",  "1 minute",   "5 minutes",
                                                   "10 minutes", "15 minutes", "30 minutes",
                                                   "1 hour",     "2 hours"};
const std::vector<std::string> kRestartEntries = {"1 minute",   "5 minutes",  "10 minutes",
                                                  "15 minutes", "30 minutes", "1 hour"};
const std::vector<std::string> kStopEntries = {"1 hour",   "2 hours", "4 hours", "8 hours",
                                               "12 hours", "1 day",   "3 days"};
const std::vector<std::string> kDeleteEntries = {"Immediately", "30 days", "90 days", "180 days",
                                                 "365 days"};

const char* const kVistaFlagNames[] = {"Allow task to be run on demand",
                                       "Force stop runing task",
                                       "Start if the computer is on AC power",
                                       "Stop if switches to battery power",
                                       "Enabled",
                                       "Hiden",
                                       "Start if the computer is idle",
                                       "Stop on idle end",
                                       "Restart if the idle resume",
                                       "Start if the connection Avaible",
                                       "Start as soon as possible",
                                       "Wake the computer to run task",
                                       "Start Only when user logged on"};

QComboBox* DurationList(const std::vector<std::string>& entries, const char* initial,
                        const char* name, QWidget* parent) {
  auto* list = new QComboBox(parent);
  for (const std::string& e : entries) list->addItem(QString::fromStdString(e));
  list->setCurrentText(initial);
  list->setAccessibleName(name);
  return list;
}

QString ListText(QComboBox* list) {
  return list->currentIndex() < 0 ? QString() : list->currentText();
}

QListWidget* CheckList(const QStringList& entries, const char* name, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setAccessibleName(name);
  for (const QString& e : entries) {
    auto* item = new QListWidgetItem(e, list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  return list;
}

bool Checked(QListWidget* list, int row) { return list->item(row)->checkState() == Qt::Checked; }

void SetChecked(QListWidget* list, int row, bool on) {
  list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

std::string DurationFromListText(const std::string& text) {
  if (text.empty()) return "";
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) return text == "Immediately" ? "PT0S" : text;
  const std::string n = text.substr(0, blank);
  const char unit = blank + 1 < text.size() ? text[blank + 1] : ' ';
  if (unit == 'd') return "P" + n + "D";
  if (unit == 'h') return "PT" + n + "H";
  return "PT" + n + "M";
}

int GetTimeIndex(const std::string& duration, const std::vector<std::string>& entries) {
  if (duration.empty()) return -1;
  // Compared by length, so "PT1H0M" finds "1 hour" as "PT1H" does.
  const uint32_t minutes = IsoDurationToMinutes(duration);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (IsoDurationToMinutes(DurationFromListText(entries[i])) == minutes) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

TPropsDlg::TPropsDlg(TTaskItem* item, Layout kind, QWidget* parent)
    : QDialog(parent), item_(item), layout_(kind) {
  PageControl1 = new QTabWidget(this);
  QWidget* task = BuildTaskTab();
  QWidget* schedule = BuildScheduleTab();
  QWidget* settings = BuildSettingsTab();
  QWidget* custom = BuildCustomTab();
  if (layout_ != Layout::kSchedulePages) PageControl1->addTab(task, "Task");
  PageControl1->addTab(schedule, "Schedule");
  PageControl1->addTab(settings, "Settings");
  if (layout_ != Layout::kSchedulePages) PageControl1->addTab(custom, "Custom");
  if (layout_ == Layout::kSchedulePages) {
    // The pages show no task or custom tab; the dialog still owns them.
    for (QWidget* unused : {task, custom}) {
      unused->setParent(this);
      unused->hide();
    }
  }
  PageControl1->setCurrentIndex(0);
  const bool first = FirstGeneration();
  PanelXPTask->setVisible(first);
  PanelVistaTasks->setVisible(!first);
  PanelXPSettings->setVisible(first);
  PanelVistaSettings->setVisible(!first);
  memBinaryData->setVisible(first);
  btnEdit->setVisible(layout_ == Layout::kFirstGeneration);
  pnlTrigger->setVisible(layout_ != Layout::kFirstGeneration);
  btnOK = new QPushButton("OK", this);
  btnCancel = new QPushButton("Cancel", this);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TPropsDlg::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl1, 1);
  layout->addLayout(buttons);
  AssignMnemonics(this);
  resize(sizeHint().expandedTo(QSize(520, 480)));
}

QWidget* TPropsDlg::BuildTaskTab() {
  auto* tab = new QWidget();
  PanelXPTask = new QWidget(tab);
  edtTaskName = new QLineEdit(PanelXPTask);
  edtTaskName->setReadOnly(true);
  edtTaskName->setAccessibleName("Task name");
  imgIcon = new QLabel(PanelXPTask);
  edtApplication = new QLineEdit(PanelXPTask);
  edtApplication->setReadOnly(true);
  btnBrowseXP = new QPushButton("&Browse...", PanelXPTask);
  edtParameters = new QLineEdit(PanelXPTask);
  edtWorkDir = new QLineEdit(PanelXPTask);
  edtCreator = new QLineEdit(PanelXPTask);
  {
    auto* name_row = new QHBoxLayout();
    name_row->addWidget(imgIcon);
    name_row->addWidget(edtTaskName, 1);
    auto* app_row = new QHBoxLayout();
    app_row->addWidget(edtApplication, 1);
    app_row->addWidget(btnBrowseXP);
    auto* form = new QFormLayout(PanelXPTask);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(name_row);
    form->addRow(BuddyLabel("&Application:", edtApplication, PanelXPTask), app_row);
    form->addRow(BuddyLabel("&Parameters:", edtParameters, PanelXPTask), edtParameters);
    form->addRow(BuddyLabel("&Work Dir:", edtWorkDir, PanelXPTask), edtWorkDir);
    form->addRow(BuddyLabel("&Creator:", edtCreator, PanelXPTask), edtCreator);
  }
  connect(btnBrowseXP, &QPushButton::clicked, this, [this] {
    const std::string file =
        Desktop().OpenFileName(this, "Shell scripts (*.sh)|*.sh|All Files (*.*)|*", "",
                               edtApplication->text().toStdString());
    if (file.empty()) return;
    edtApplication->setText(QString::fromStdString(file));
    imgIcon->setPixmap(FileIconByName(file).pixmap(32, 32));
  });

  PanelVistaTasks = new QWidget(tab);
  QWidget* page = PanelVistaTasks;
  StringGrid1 = new QTableWidget(0, 2, page);
  StringGrid1->setHorizontalHeaderLabels({"Action", "Details"});
  StringGrid1->setColumnWidth(
      0, std::max(100, StringGrid1->fontMetrics().horizontalAdvance("Start a programm") + 16));
  StringGrid1->setColumnWidth(1, 180);
  StringGrid1->horizontalHeader()->setStretchLastSection(true);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setAccessibleName("Actions");
  StringGrid1->setMaximumHeight(120);
  connect(StringGrid1, &QTableWidget::currentCellChanged, this,
          [this](int row) { StringGrid1SelectCell(row); });

  pnlAction = new QStackedWidget(page);
  PanelExec = new QWidget();
  edtExecName = new QLineEdit(PanelExec);
  edtExecParameters = new QLineEdit(PanelExec);
  edtExecStartIn = new QLineEdit(PanelExec);
  btnBrowse = new QPushButton("Browse...", PanelExec);
  {
    auto* name_row = new QHBoxLayout();
    name_row->addWidget(edtExecName, 1);
    name_row->addWidget(btnBrowse);
    auto* form = new QFormLayout(PanelExec);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(BuddyLabel("&Name:", edtExecName, PanelExec), name_row);
    form->addRow(BuddyLabel("&Parameters:", edtExecParameters, PanelExec), edtExecParameters);
    form->addRow(BuddyLabel("&Start in:", edtExecStartIn, PanelExec), edtExecStartIn);
  }
  connect(btnBrowse, &QPushButton::clicked, this, [this] {
    const std::string file = Desktop().OpenFileName(
        this, "Shell scripts (*.sh)|*.sh|All Files (*.*)|*", "", edtExecName->text().toStdString());
    if (!file.empty()) edtExecName->setText(QString::fromStdString(file));
  });
  PanelEMail = new QWidget();
  edtMailFrom = new QLineEdit(PanelEMail);
  edtMailTo = new QLineEdit(PanelEMail);
  edtMailSubject = new QLineEdit(PanelEMail);
  edtMailServer = new QLineEdit(PanelEMail);
  memMailMessage = new QPlainTextEdit(PanelEMail);
  memMailMessage->setTabChangesFocus(true);
  {
    auto* form = new QFormLayout(PanelEMail);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(BuddyLabel("&From:", edtMailFrom, PanelEMail), edtMailFrom);
    form->addRow(BuddyLabel("&To:", edtMailTo, PanelEMail), edtMailTo);
    form->addRow(BuddyLabel("&Subject:", edtMailSubject, PanelEMail), edtMailSubject);
    form->addRow(BuddyLabel("SMT&P Server:", edtMailServer, PanelEMail), edtMailServer);
    form->addRow(BuddyLabel("&Message:", memMailMessage, PanelEMail), memMailMessage);
  }
  PanelMessageBox = new QWidget();
  edtMessTitle = new QLineEdit(PanelMessageBox);
  memMessText = new QPlainTextEdit(PanelMessageBox);
  memMessText->setTabChangesFocus(true);
  {
    auto* form = new QFormLayout(PanelMessageBox);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(BuddyLabel("&Title:", edtMessTitle, PanelMessageBox), edtMessTitle);
    form->addRow(BuddyLabel("&Message:", memMessText, PanelMessageBox), memMessText);
  }
  pnlAction->addWidget(PanelExec);
  pnlAction->addWidget(PanelEMail);
  pnlAction->addWidget(PanelMessageBox);
  ckbVistaHighestPrivileges = new QCheckBox("Run with highest privileges", page);

  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(StringGrid1);
  layout->addWidget(pnlAction, 1);
  layout->addWidget(ckbVistaHighestPrivileges);
  auto* tab_layout = new QVBoxLayout(tab);
  tab_layout->addWidget(PanelXPTask);
  tab_layout->addWidget(PanelVistaTasks, 1);
  tab_layout->addStretch(0);
  return tab;
}

QWidget* TPropsDlg::BuildScheduleTab() {
  auto* page = new QWidget();
  lblNextRunTime = new QLabel(page);
  lblLastRunTime = new QLabel(page);
  cbSchedule = new QComboBox(page);
  connect(cbSchedule, &QComboBox::currentIndexChanged, this, &TPropsDlg::cbScheduleChange);

  pnlTrigger = new QStackedWidget(page);
  pnlNone = new QWidget();
  pnlOnce = new QWidget();
  dtOnceTime = new QTimeEdit(pnlOnce);
  dtOnceDate = new QDateEdit(pnlOnce);
  {
    auto* form = new QFormLayout(pnlOnce);
    form->addRow(BuddyLabel("Start &time:", dtOnceTime, pnlOnce), dtOnceTime);
    form->addRow(BuddyLabel("Start &date:", dtOnceDate, pnlOnce), dtOnceDate);
  }
  pnlDaily = new QWidget();
  dtDailyTime = new QTimeEdit(pnlDaily);
  dtDailyDate = new QDateEdit(pnlDaily);
  rbEveryDay = new QRadioButton("Every d&ay", pnlDaily);
  rbEvery = new QRadioButton("&Every", pnlDaily);
  seDailyInterval = new QSpinBox(pnlDaily);
  seDailyInterval->setRange(1, 255);
  seDailyInterval->setAccessibleName("Every how many days");
  rbEveryDay->setChecked(true);
  seDailyInterval->setEnabled(false);
  connect(rbEvery, &QRadioButton::toggled, seDailyInterval, &QWidget::setEnabled);
  {
    auto* every = new QHBoxLayout();
    every->addWidget(rbEvery);
    every->addWidget(seDailyInterval);
    every->addWidget(new QLabel("days", pnlDaily));
    every->addStretch(1);
    auto* perform = new QVBoxLayout();
    perform->addWidget(rbEveryDay);
    perform->addLayout(every);
    auto* form = new QFormLayout(pnlDaily);
    form->addRow(BuddyLabel("Start &time:", dtDailyTime, pnlDaily), dtDailyTime);
    auto* perform_label = new QLabel("Perform this task:", pnlDaily);
    perform_label->setBuddy(rbEveryDay);
    form->addRow(perform_label, perform);
    form->addRow(BuddyLabel("Start &date:", dtDailyDate, pnlDaily), dtDailyDate);
  }
  pnlWeekly = new QWidget();
  dtWeeklyTime = new QTimeEdit(pnlWeekly);
  seWeekInterval = new QSpinBox(pnlWeekly);
  seWeekInterval->setRange(1, 52);
  seWeekInterval->setAccessibleName("Every how many weeks");
  {
    auto* days = new QGridLayout();
    cbWeekDays = MakeWeekdayBoxes(pnlWeekly, days);
    auto* every = new QHBoxLayout();
    auto* every_label = new QLabel("Every", pnlWeekly);
    every_label->setBuddy(seWeekInterval);
    every->addWidget(every_label);
    every->addWidget(seWeekInterval);
    every->addWidget(new QLabel("weeks", pnlWeekly));
    every->addStretch(1);
    auto* form = new QFormLayout(pnlWeekly);
    form->addRow(BuddyLabel("Start &time:", dtWeeklyTime, pnlWeekly), dtWeeklyTime);
    form->addRow(every);
    form->addRow(new QLabel("Select the week day below:", pnlWeekly));
    form->addRow(days);
  }
  pnlMonthly = new QWidget();
  dtMonthlyTime = new QTimeEdit(pnlMonthly);
  rbMonthlyDate = new QRadioButton("&Day", pnlMonthly);
  QStringList days;
  for (int d = 1; d <= 31; ++d) days << QString::number(d);
  clbMonthDays = CheckList(days, "Days of the month", pnlMonthly);
  clbMonthDays->setFlow(QListView::LeftToRight);
  clbMonthDays->setWrapping(true);
  clbMonthDays->setMaximumHeight(90);
  rbMonthlyDow = new QRadioButton("T&he", pnlMonthly);
  cbWhichWeek = new QComboBox(pnlMonthly);
  cbWhichWeek->addItems({"First", "Second", "Third", "Forth", "Last"});
  cbWhichWeek->setAccessibleName("Week of the month");
  clbWeekDays =
      CheckList({"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                "Days of the week", pnlMonthly);
  clbWeekDays->setFlow(QListView::LeftToRight);
  clbWeekDays->setWrapping(true);
  clbWeekDays->setMaximumHeight(60);
  {
    auto* months = new QGridLayout();
    cbMonths = MakeMonthBoxes(pnlMonthly, months);
    auto* dow = new QHBoxLayout();
    dow->addWidget(rbMonthlyDow);
    dow->addWidget(cbWhichWeek);
    dow->addStretch(1);
    auto* form = new QFormLayout(pnlMonthly);
    form->addRow(BuddyLabel("Start &time:", dtMonthlyTime, pnlMonthly), dtMonthlyTime);
    form->addRow(rbMonthlyDate, clbMonthDays);
    form->addRow(dow);
    form->addRow(clbWeekDays);
    form->addRow(new QLabel("of the month(s):", pnlMonthly));
    form->addRow(months);
  }
  for (QWidget* p : {pnlNone, pnlOnce, pnlDaily, pnlWeekly, pnlMonthly}) pnlTrigger->addWidget(p);

  auto* form = new QFormLayout();
  form->addRow(new QLabel("Next Run Time:", page), lblNextRunTime);
  form->addRow(new QLabel("Last Run Time:", page), lblLastRunTime);
  btnEdit = new QPushButton("&Edit...", page);
  connect(btnEdit, &QPushButton::clicked, this, &TPropsDlg::btnEditClick);
  auto* schedule_row = new QHBoxLayout();
  schedule_row->addWidget(cbSchedule, 1);
  schedule_row->addWidget(btnEdit);
  form->addRow(BuddyLabel("&Schedule:", cbSchedule, page), schedule_row);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(pnlTrigger, 1);
  return page;
}

QWidget* TPropsDlg::BuildSettingsTab() {
  auto* tab = new QWidget();
  PanelXPSettings = new QWidget(tab);
  clbFlagsXP = CheckList(
      {"Interactive", "Delete When Done", "Disabled", "Hidden", "Run Only If Logged On",
       "Start Only If Idle", "System Required", "Kill On Idle End", "Restart On Idle Resume",
       "Dont Start If On Batteries", "Kill If Going On Batteries", "Run If Connected To Internet"},
      "Flags", PanelXPSettings);
  connect(clbFlagsXP, &QListWidget::itemChanged, this, &TPropsDlg::RefreshIdleFields);
  cbPriority = new QComboBox(PanelXPSettings);
  cbPriority->addItems({"Idle", "Normal", "High", "Real Time"});
  seIdleMinutes = new QSpinBox(PanelXPSettings);
  seIdleWait = new QSpinBox(PanelXPSettings);
  for (QSpinBox* box : {seIdleMinutes, seIdleWait}) {
    box->setRange(0, 10000);
    box->setSuffix(" minute(s)");
  }
  {
    auto* idle = new QGroupBox(" Idle Time: ", PanelXPSettings);
    auto* idle_form = new QFormLayout(idle);
    auto* minimum = new QLabel("Minimum idle time:", idle);
    minimum->setBuddy(seIdleMinutes);
    seIdleMinutes->setAccessibleName("Minimum idle time");
    auto* wait = new QLabel("Wait for idle-time:", idle);
    wait->setBuddy(seIdleWait);
    seIdleWait->setAccessibleName("Wait for idle-time");
    idle_form->addRow(minimum, seIdleMinutes);
    idle_form->addRow(wait, seIdleWait);
    auto* layout = new QVBoxLayout(PanelXPSettings);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(BuddyLabel("&Flags:", clbFlagsXP, PanelXPSettings));
    layout->addWidget(clbFlagsXP, 1);
    auto* priority = new QFormLayout();
    priority->addRow(BuddyLabel("P&riority:", cbPriority, PanelXPSettings), cbPriority);
    layout->addLayout(priority);
    layout->addWidget(idle);
  }

  PanelVistaSettings = new QWidget(tab);
  QWidget* page = PanelVistaSettings;
  QStringList flags;
  for (const char* f : kVistaFlagNames) flags << f;
  clbFlags = CheckList(flags, "Flags", page);
  connect(clbFlags, &QListWidget::itemChanged, this, [this] { RefreshStates(); });
  EditIdle = DurationList(kIdleEntries, "15 minutes", "Start if the computer is idle for", page);
  EditIdleWait = DurationList(kIdleWaitEntries, "15 minutes", "Wait idle for", page);
  auto* idle = new QGroupBox(" Idle ", page);
  {
    auto* form = new QFormLayout(idle);
    auto* idle_label = new QLabel("Start if the computer is idle for", idle);
    idle_label->setBuddy(EditIdle);
    auto* wait_label = new QLabel("Wait idle for", idle);
    wait_label->setBuddy(EditIdleWait);
    form->addRow(idle_label, EditIdle);
    form->addRow(wait_label, EditIdleWait);
  }
  CheckTaskFails = new QCheckBox("If task fails, restart every", page);
  EditRestartTime = DurationList(kRestartEntries, "15 minutes", "Restart every", page);
  EditRestartCount = new QSpinBox(page);
  EditRestartCount->setRange(0, 1000);
  EditRestartCount->setAccessibleName("Attempt to restart up to");
  CheckStopRuning = new QCheckBox("Stop the task, if it runs longer than", page);
  EditStopRuning = DurationList(kStopEntries, "12 hours", "Stop after", page);
  CheckDeleteAfter = new QCheckBox("If the task not scheduled to run again, delete after", page);
  EditDeleteAfter = DurationList(kDeleteEntries, "90 days", "Delete after", page);
  connect(CheckTaskFails, &QCheckBox::toggled, this,
          [this] { CheckBoxClicked(CheckTaskFails, EditRestartTime); });
  connect(CheckStopRuning, &QCheckBox::toggled, this,
          [this] { CheckBoxClicked(CheckStopRuning, EditStopRuning); });
  connect(CheckDeleteAfter, &QCheckBox::toggled, this,
          [this] { CheckBoxClicked(CheckDeleteAfter, EditDeleteAfter); });

  auto* grid = new QGridLayout();
  grid->addWidget(CheckTaskFails, 0, 0);
  grid->addWidget(EditRestartTime, 0, 1);
  auto* count_label = new QLabel("Attempt to restart up to", page);
  count_label->setBuddy(EditRestartCount);
  grid->addWidget(count_label, 1, 0);
  grid->addWidget(EditRestartCount, 1, 1);
  grid->addWidget(CheckStopRuning, 2, 0);
  grid->addWidget(EditStopRuning, 2, 1);
  grid->addWidget(CheckDeleteAfter, 3, 0);
  grid->addWidget(EditDeleteAfter, 3, 1);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* flags_label = new QLabel("Flags", page);
  flags_label->setBuddy(clbFlags);
  layout->addWidget(flags_label);
  layout->addWidget(clbFlags, 1);
  layout->addWidget(idle);
  layout->addLayout(grid);
  auto* tab_layout = new QVBoxLayout(tab);
  tab_layout->addWidget(PanelXPSettings, 1);
  tab_layout->addWidget(PanelVistaSettings, 1);
  return tab;
}

QWidget* TPropsDlg::BuildCustomTab() {
  auto* page = new QWidget();
  memComments = new QPlainTextEdit(page);
  memComments->setTabChangesFocus(true);
  memBinaryData = new QPlainTextEdit(page);
  memBinaryData->setTabChangesFocus(true);
  auto* binary_label = BuddyLabel("&Binary Data:", memBinaryData, page);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(BuddyLabel("&Comments:", memComments, page));
  layout->addWidget(memComments, 1);
  layout->addWidget(binary_label);
  layout->addWidget(memBinaryData, 1);
  binary_label->setVisible(FirstGeneration());
  return page;
}

void TPropsDlg::CheckBoxClicked(QCheckBox* box, QComboBox* list) {
  if (refreshing_) return;
  list->setCurrentIndex(box->isChecked() ? 3 : -1);
  RefreshStates();
}

void TPropsDlg::RefreshStates() {
  if (refreshing_) return;
  refreshing_ = true;
  // An option is on while its list shows an entry; its box follows.
  const bool restart = EditRestartTime->currentIndex() >= 0;
  EditRestartTime->setEnabled(restart);
  EditRestartCount->setEnabled(restart);
  CheckTaskFails->setChecked(restart);
  const bool stop = EditStopRuning->currentIndex() >= 0;
  EditStopRuning->setEnabled(stop);
  CheckStopRuning->setChecked(stop);
  const bool expire = EditDeleteAfter->currentIndex() >= 0;
  EditDeleteAfter->setEnabled(expire);
  CheckDeleteAfter->setChecked(expire);
  const bool idle = Checked(clbFlags, tfvRunOnlyIfIdle);
  EditIdle->setEnabled(idle);
  EditIdleWait->setEnabled(idle);
  for (int f : {tfvStopOnIdleEnd, tfvRestartOnIdle}) {
    QListWidgetItem* entry = clbFlags->item(f);
    entry->setFlags(idle ? entry->flags() | Qt::ItemIsEnabled
                         : entry->flags() & ~Qt::ItemIsEnabled);
  }
  refreshing_ = false;
}

void TPropsDlg::Load() {
  LoadContents();
  FocusFirstField();
}

void TPropsDlg::FocusFirstField() {
  QWidget* first = nullptr;
  if (layout_ == Layout::kSchedulePages) {
    first = cbSchedule;
  } else if (layout_ == Layout::kFirstGeneration) {
    first = edtParameters;  // name and program are changed elsewhere
  } else if (pnlAction->isVisibleTo(this) && pnlAction->currentWidget() != nullptr) {
    first = pnlAction->currentWidget()->findChild<QLineEdit*>();
  }
  (first != nullptr ? first : StringGrid1)->setFocus();
}

void TPropsDlg::LoadContents() {
  if (FirstGeneration()) {
    LoadFirstGeneration();
    return;
  }
  setWindowTitle(QString::fromStdString(FormatText("%s Properties", item_->Name())));
  const TTaskVistaFlags flags = item_->GetVistaFlags();
  for (int i = 0; i < 13; ++i) SetChecked(clbFlags, i, (flags & (1u << i)) != 0);

  std::vector<std::string> descriptions, kinds;
  item_->GetTasksLists(&descriptions, &kinds);
  StringGrid1->blockSignals(true);
  StringGrid1->setRowCount(static_cast<int>(kinds.size()));
  for (size_t i = 0; i < kinds.size(); ++i) {
    StringGrid1->setItem(static_cast<int>(i), 0,
                         new QTableWidgetItem(QString::fromStdString(kinds[i])));
    StringGrid1->setItem(static_cast<int>(i), 1,
                         new QTableWidgetItem(QString::fromStdString(descriptions[i])));
  }
  StringGrid1->blockSignals(false);
  current_row_ = -1;
  if (!kinds.empty()) {
    StringGrid1->setCurrentCell(0, 0);
    StringGrid1SelectCell(0);
  }
  pnlAction->setVisible(!kinds.empty());

  const std::vector<std::string> times = item_->GetTimeProperties();
  EditStopRuning->setCurrentIndex(GetTimeIndex(times[0], kStopEntries));
  EditRestartTime->setCurrentIndex(GetTimeIndex(times[1], kRestartEntries));
  if (!times[2].empty()) EditRestartCount->setValue(QString::fromStdString(times[2]).toInt());
  EditDeleteAfter->setCurrentIndex(GetTimeIndex(times[3], kDeleteEntries));
  EditIdle->setCurrentIndex(GetTimeIndex(times[4], kIdleEntries));
  EditIdleWait->setCurrentIndex(GetTimeIndex(times[5], kIdleWaitEntries));

  LoadScheduleInfo();
  memComments->setPlainText(QString::fromStdString(item_->GetComment()));
  const bool admin = UserIsRoot();
  ckbVistaHighestPrivileges->setEnabled(admin);
  ckbVistaHighestPrivileges->setChecked(admin && item_->TaskDefinition()->Principal.RunLevel == 1);
  if (!admin) {
    ckbVistaHighestPrivileges->setToolTip("Only root can run a task with highest privileges.");
  }
  RefreshStates();
}

void TPropsDlg::LoadScheduleInfo() {
  lblLastRunTime->setText(LongDateTimeText(item_->GetMostRecentRunTime()));
  lblNextRunTime->setText(LongDateTimeText(item_->GetNextRunTime()));
  std::vector<std::string> strings;
  item_->GetTriggers()->GetTriggerStrings(&strings);
  cbSchedule->blockSignals(true);
  cbSchedule->clear();
  for (const std::string& s : strings) cbSchedule->addItem(QString::fromStdString(s));
  cbSchedule->blockSignals(false);
  cbSchedule->setCurrentIndex(strings.empty() ? -1 : 0);
  cbScheduleChange();
}

void TPropsDlg::cbScheduleChange() {
  pnlTrigger->setCurrentWidget(pnlNone);
  TTriggers* triggers = item_->GetTriggers();
  const int index = cbSchedule->currentIndex();
  if (index < 0 || index >= triggers->Count()) return;
  TTrigger* trigger = triggers->GetItem(index);
  QDateTime start = ToQDateTime(trigger->GetStartVistaDateTime());
  // A first-generation trigger keeps its start time apart from its date.
  if (FirstGeneration()) start.setTime(ToQDateTime(trigger->GetStartTime()).time());
  switch (trigger->GetTriggerType()) {
    case ttOnce:
      pnlTrigger->setCurrentWidget(pnlOnce);
      dtOnceDate->setDate(start.date());
      dtOnceTime->setTime(start.time());
      break;
    case ttDaily: {
      pnlTrigger->setCurrentWidget(pnlDaily);
      dtDailyDate->setDate(start.date());
      dtDailyTime->setTime(start.time());
      const int interval = trigger->GetDailyTrigger().Type.Daily.DaysInterval;
      (interval == 1 ? rbEveryDay : rbEvery)->setChecked(true);
      seDailyInterval->setValue(interval);
      break;
    }
    case ttWeekly: {
      pnlTrigger->setCurrentWidget(pnlWeekly);
      dtWeeklyTime->setTime(start.time());
      const TaskTriggerRecord r = trigger->GetWeeklyTrigger();
      SetWeekdayMask(cbWeekDays, r.Type.Weekly.rgfDaysOfTheWeek);
      seWeekInterval->setValue(r.Type.Weekly.WeeksInterval);
      break;
    }
    case ttMonthlyDate:
    case ttMonthlyDow: {
      pnlTrigger->setCurrentWidget(pnlMonthly);
      const bool by_date = trigger->GetTriggerType() == ttMonthlyDate;
      rbMonthlyDate->setChecked(by_date);
      rbMonthlyDow->setChecked(!by_date);
      rbMonthlyDate->setEnabled(by_date);
      rbMonthlyDow->setEnabled(!by_date);
      clbMonthDays->setEnabled(by_date);
      cbWhichWeek->setEnabled(!by_date);
      clbWeekDays->setEnabled(!by_date);
      dtMonthlyTime->setTime(start.time());
      if (by_date) {
        const TaskTriggerRecord r = trigger->GetMonthlyTrigger();
        SetMonthMask(cbMonths, r.Type.MonthlyDate.rgfMonths);
        for (int d = 0; d < 31; ++d) {
          SetChecked(clbMonthDays, d, (r.Type.MonthlyDate.rgfDays & (1u << d)) != 0);
        }
      } else {
        const TaskTriggerRecord r = trigger->GetMonthlyDOWTrigger();
        SetMonthMask(cbMonths, r.Type.MonthlyDOW.rgfMonths);
        cbWhichWeek->setCurrentIndex(r.Type.MonthlyDOW.wWhichWeek - 1);
        for (int d = 0; d < 7; ++d) {
          SetChecked(clbWeekDays, d, (r.Type.MonthlyDOW.rgfDaysOfTheWeek & (1u << d)) != 0);
        }
      }
      break;
    }
    default:
      break;
  }
}

void TPropsDlg::LoadAction(int row) {
  item_->SetCurrentAction(row + 1);
  const QString kind = StringGrid1->item(row, 0)->text();
  if (kind == "Start a programm") {
    edtExecName->setText(QString::fromStdString(item_->GetApplicationName()));
    edtExecParameters->setText(QString::fromStdString(item_->GetParameters()));
    edtExecStartIn->setText(QString::fromStdString(item_->GetWorkingDirectory()));
  } else if (kind == "Send e-mail") {
    edtMailFrom->setText(QString::fromStdString(item_->GetMailSendFrom()));
    edtMailTo->setText(QString::fromStdString(item_->GetMailSendTo()));
    edtMailSubject->setText(QString::fromStdString(item_->GetMailSubject()));
    memMailMessage->setPlainText(QString::fromStdString(item_->GetMailContent()));
    edtMailServer->setText(QString::fromStdString(item_->GetMailServer()));
  } else if (kind == "Display message") {
    edtMessTitle->setText(QString::fromStdString(item_->GetMessTitle()));
    memMessText->setPlainText(QString::fromStdString(item_->GetMessText()));
  }
}

void TPropsDlg::SaveAction(int row) {
  item_->SetCurrentAction(row + 1);
  const QString kind = StringGrid1->item(row, 0)->text();
  if (kind == "Start a programm") {
    item_->SetApplicationName(edtExecName->text().toStdString());
    item_->SetParameters(edtExecParameters->text().toStdString());
    item_->SetWorkingDirectory(edtExecStartIn->text().toStdString());
  } else if (kind == "Send e-mail") {
    item_->SetMailSendFrom(edtMailFrom->text().toStdString());
    item_->SetMailSendTo(edtMailTo->text().toStdString());
    item_->SetMailSubject(edtMailSubject->text().toStdString());
    item_->SetMailContent(memMailMessage->toPlainText().toStdString());
    item_->SetMailServer(edtMailServer->text().toStdString());
  } else if (kind == "Display message") {
    item_->SetMessTitle(edtMessTitle->text().toStdString());
    item_->SetMessText(memMessText->toPlainText().toStdString());
  }
}

void TPropsDlg::ShowAction(int row) {
  const QString kind = StringGrid1->item(row, 0)->text();
  pnlAction->setCurrentWidget(kind == "Send e-mail"       ? PanelEMail
                              : kind == "Display message" ? PanelMessageBox
                                                          : PanelExec);
}

void TPropsDlg::StringGrid1SelectCell(int row) {
  if (row < 0 || row >= StringGrid1->rowCount() || row == current_row_) return;
  if (current_row_ >= 0) SaveAction(current_row_);
  current_row_ = row;
  LoadAction(row);
  ShowAction(row);
}

void TPropsDlg::SaveTrigger() {
  TTriggers* triggers = item_->GetTriggers();
  const int index = cbSchedule->currentIndex();
  if (index < 0 || index >= triggers->Count()) return;
  TTrigger* trigger = triggers->GetItem(index);
  const TTriggerType kind = trigger->GetTriggerType();
  const bool monthly = kind == ttMonthlyDate || kind == ttMonthlyDow;
  if (kind != ttOnce && kind != ttDaily && kind != ttWeekly && !monthly) return;
  TScheduleInput in = ReadSchedulePickers(
      {dtOnceTime, dtOnceDate, dtDailyTime, dtDailyDate, rbEveryDay, seDailyInterval, dtWeeklyTime,
       seWeekInterval, &cbWeekDays, dtMonthlyTime, &cbMonths, cbWhichWeek},
      kind);
  if (monthly) {
    for (int d = 0; d < 31; ++d) {
      if (Checked(clbMonthDays, d)) in.month_days |= 1u << d;
    }
    for (int d = 0; d < 7; ++d) {
      if (Checked(clbWeekDays, d)) in.weekdays |= static_cast<uint16_t>(1u << d);
    }
  }
  WriteTrigger(trigger, in, DatePart(SchedNow()));
  triggers->UpdateTriggers();
}

void TPropsDlg::Save() {
  if (FirstGeneration()) {
    SaveFirstGeneration();
    return;
  }
  item_->SetComment(memComments->toPlainText().toStdString());
  if (ckbVistaHighestPrivileges->isEnabled()) {
    item_->TaskDefinition()->Principal.RunLevel = ckbVistaHighestPrivileges->isChecked() ? 1 : 0;
  }
  auto duration = [](QComboBox* list) {
    return list->isEnabled() ? DurationFromListText(ListText(list).toStdString()) : std::string();
  };
  item_->SetTimeProperties({duration(EditStopRuning), duration(EditRestartTime),
                            std::to_string(EditRestartCount->value()), duration(EditDeleteAfter),
                            duration(EditIdle), duration(EditIdleWait)});
  // The rows left before were saved as they were left.
  if (current_row_ >= 0) SaveAction(current_row_);
  TTaskVistaFlags flags = 0;
  for (int i = 0; i < 13; ++i) {
    if (Checked(clbFlags, i)) flags |= static_cast<TTaskVistaFlags>(1u << i);
  }
  if (!Checked(clbFlags, tfvNeedLogon)) {
    std::string user = item_->GetAccountName();
    if (AskTaskAccount(&user, this)) item_->SetAccountInformation(user, "");
  }
  item_->SetVistaFlags(flags);
  item_->SetCurrentAction(1);
  SaveTrigger();
}

void TPropsDlg::LoadFirstGeneration() {
  setWindowTitle(QString::fromStdString(FormatText("%s Properties", item_->Name())));
  LoadWorkItemSettings();
  LoadScheduleInfo();
  if (layout_ == Layout::kSchedulePages) return;
  edtTaskName->setText(QString::fromStdString(item_->Name()));
  const std::string application = item_->GetApplicationName();
  edtApplication->setText(QString::fromStdString(application));
  imgIcon->setPixmap(FileIconByName(application).pixmap(32, 32));
  edtParameters->setText(QString::fromStdString(item_->GetParameters()));
  edtWorkDir->setText(QString::fromStdString(item_->GetWorkingDirectory()));
  edtCreator->setText(QString::fromStdString(item_->GetCreator()));
  memComments->setPlainText(QString::fromStdString(item_->GetComment()));
  std::string data;
  item_->GetBinaryData(&data);
  memBinaryData->setPlainText(QString::fromStdString(data));
}

void TPropsDlg::LoadWorkItemSettings() {
  const TTaskFlags flags = item_->GetFlags();
  for (int i = 0; i < 12; ++i) SetChecked(clbFlagsXP, i, (flags & (1u << i)) != 0);
  cbPriority->setCurrentIndex(item_->GetPriority());
  const TIdleTime idle = item_->GetIdleTime();
  seIdleMinutes->setValue(idle.wIdleMinutes);
  seIdleWait->setValue(idle.wDeadlineMinutes);
  RefreshIdleFields();
}

void TPropsDlg::RefreshIdleFields() {
  const bool idle = Checked(clbFlagsXP, tfStartOnlyIfIdle);
  seIdleMinutes->setEnabled(idle);
  seIdleWait->setEnabled(idle);
}

void TPropsDlg::SaveWorkItemSettings() {
  TTaskFlags flags = 0;
  for (int i = 0; i < 12; ++i) {
    if (Checked(clbFlagsXP, i)) flags |= static_cast<TTaskFlags>(1u << i);
  }
  item_->SetFlags(flags);
  item_->SetPriority(static_cast<TTaskPriority>(std::max(0, cbPriority->currentIndex())));
  TIdleTime idle;
  idle.wIdleMinutes = static_cast<uint16_t>(seIdleMinutes->value());
  idle.wDeadlineMinutes = static_cast<uint16_t>(seIdleWait->value());
  item_->SetIdleTime(idle);
}

void TPropsDlg::SaveFirstGeneration() {
  SaveWorkItemSettings();
  if (layout_ == Layout::kSchedulePages) {
    SaveTrigger();
    return;
  }
  item_->SetApplicationName(edtApplication->text().toStdString());
  item_->SetParameters(edtParameters->text().toStdString());
  item_->SetWorkingDirectory(edtWorkDir->text().toStdString());
  item_->SetCreator(edtCreator->text().toStdString());
  item_->SetComment(memComments->toPlainText().toStdString());
  const std::string data = memBinaryData->toPlainText().toStdString();
  if (!data.empty()) item_->SetBinaryData(data);
}

void TPropsDlg::btnEditClick() {
  // The pages change the task in memory; this dialog's OK saves them.
  SaveWorkItemSettings();
  if (!ShowSchedulePages(item_, "", this)) return;
  LoadWorkItemSettings();
  LoadScheduleInfo();
}

void TPropsDlg::btnOKClick() {
  try {
    Save();
    // A task that could never run is refused while its fields are still
    // here to mend.
    const std::string problem = item_->CheckDefinition();
    if (!problem.empty()) {
      Desktop().ShowError(this, problem);
      return;
    }
    accept();
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());
  }
}

bool ShowSchedulePages(TTaskItem* item, const std::string& caption, QWidget* parent) {
  TPropsDlg pages(item, TPropsDlg::Layout::kSchedulePages, parent);
  pages.Load();
  if (!caption.empty()) pages.setWindowTitle(QString::fromStdString(caption));
  return pages.exec() == QDialog::Accepted;
}

bool ShowTaskProperties(TTaskItem* item, QWidget* parent) {
  TPropsDlg dialog(
      item,
      item->Vista() ? TPropsDlg::Layout::kSecondGeneration : TPropsDlg::Layout::kFirstGeneration,
      parent);
  item->Activate();
  bool ok = false;
  try {
    dialog.Load();
    ok = dialog.exec() == QDialog::Accepted;
  } catch (...) {
    item->Deactivate(false);
    throw;
  }
  item->Deactivate(ok);
  return ok;
}

}  // namespace lorvant
