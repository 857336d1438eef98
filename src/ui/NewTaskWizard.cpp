#include "ui/NewTaskWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "os/Env.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/TaskScheduler.h"
#include "ui/Desktop.h"
#include "ui/Mnemonics.h"
#include "ui/TaskPropsDlg.h"
#include "ui/TaskWindowsUtil.h"

namespace lorvant {
namespace {

enum Page { kCustomData, kTaskName, kTriggerDetails, kAccountInfo, kFinished };

// The schedule list's entries and the kind each selects.
struct ScheduleEntry {
  const char* text;
  TTriggerType kind;
};
constexpr ScheduleEntry kSchedules[] = {
    {"One time only", ttOnce},
    {"Daily", ttDaily},
    {"Weekly", ttWeekly},
    {"Monthly", ttMonthlyDate},
    {"Wen my computer starts", ttAtStartup},
    {"When I log on", ttAtLogon},
    {"Wnen Idle", ttOnIdle},
    {"On connection to user session", ttOnConnect},
    {"On disconnect from user session", ttOnDisconnect},
    {"On workstation lock", ttOnLock},
    {"On workstation unlock", ttOnUnlock},
};
constexpr int kFirstGenerationEntries = 6;

QTimeEdit* TimePicker(QWidget* parent) {
  auto* picker = new QTimeEdit(parent);
  picker->setDisplayFormat("HH:mm");
  return picker;
}

QDateEdit* DatePicker(QWidget* parent) {
  auto* picker = new QDateEdit(parent);
  picker->setCalendarPopup(true);
  return picker;
}

QLabel* Intro(QWidget* parent) {
  auto* label = new QLabel("Select the time and day you want this task to start.", parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TNewTaskWizard::TNewTaskWizard(TTaskScheduler* scheduler, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler) {
  setWindowTitle("Scheduled task wizard");
  PageControl1 = new QStackedWidget(this);
  PageControl1->addWidget(tsCustomData = BuildCustomData());
  PageControl1->addWidget(tsTaskName = BuildTaskName());
  PageControl1->addWidget(tsTriggerDetails = BuildTriggerDetails());
  PageControl1->addWidget(tsAccountInfo = BuildAccountInfo());
  PageControl1->addWidget(tsFinished = BuildFinished());

  imgSide = new QLabel(this);
  imgSide->setPixmap(ProgramIcon().pixmap(64, 64));
  imgSide->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  imgSide->setMargin(12);
  imgSide->setAutoFillBackground(true);
  imgSide->setBackgroundRole(QPalette::Base);
  imgSide->setAccessibleName("Lorvant");
  lblPageCaption = new QLabel(this);
  QFont heading = lblPageCaption->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.2);
  lblPageCaption->setFont(heading);

  btnBack = new QPushButton("< &Back", this);
  btnNext = new QPushButton("&Next >", this);
  btnCancel = new QPushButton("Cancel", this);
  btnNext->setDefault(true);
  connect(btnBack, &QPushButton::clicked, this, &TNewTaskWizard::btnBackClick);
  connect(btnNext, &QPushButton::clicked, this, &TNewTaskWizard::btnNextClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* page_column = new QVBoxLayout();
  page_column->addWidget(lblPageCaption);
  page_column->addSpacing(6);
  page_column->addWidget(PageControl1, 1);
  auto* top = new QHBoxLayout();
  top->addWidget(imgSide);
  top->addLayout(page_column, 1);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnBack);
  buttons->addWidget(btnNext);
  buttons->addSpacing(8);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(line);
  layout->addLayout(buttons);

  // Every picker starts at the scheduler's next whole minute: the pickers
  // show minutes, and a one-time start at the current minute would have
  // passed by the time it is saved.
  const int64_t epoch = NowSeconds();
  const QDateTime now = ToQDateTime(EpochToDateTime(epoch - epoch % 60 + 60));
  for (QDateEdit* d : {dtStartDateOnce, dtStartDateDaily}) d->setDate(now.date());
  for (QTimeEdit* t : {dtStartTimeOnce, dtStartTimeDaily, dtStartTimeWeekly, dtStartTimeMonthly}) {
    t->setTime(now.time());
  }
  const QString user = QString::fromStdString(SchedSystem::Default()->CurrentUserName());
  edtAccount->setText(user);
  edtCreator->setText(user);
  edtApplicationName->setText(QString::fromStdString(Env::Default()->ExecutablePath()));

  // The schedule list: the first generation keeps the first six entries;
  // a kind that cannot fire here is shown but cannot be chosen.
  const int entries = FirstGeneration() ? kFirstGenerationEntries : std::size(kSchedules);
  auto* model = new QStandardItemModel(ComboBox1);
  for (int i = 0; i < entries; ++i) {
    auto* entry = new QStandardItem(kSchedules[i].text);
    std::string reason;
    if (!TriggerKindFiresHere(kSchedules[i].kind, &reason)) {
      entry->setEnabled(false);
      entry->setToolTip(QString::fromStdString(reason));
    }
    model->appendRow(entry);
  }
  ComboBox1->setModel(model);
  ComboBox1->setCurrentIndex(0);
  // The second generation's wizard has no advanced pages.
  btnAdvanced->setVisible(FirstGeneration());
  lblAdvanced->setVisible(FirstGeneration());

  // The groups of the event kinds get their letters while they are shown.
  GroupBox1->show();
  GroupBox2->show();
  AssignMnemonics(this);
  GroupBox1->hide();
  GroupBox2->hide();
  ShowPage(kCustomData);
  resize(sizeHint().expandedTo(QSize(600, 420)));
}

bool TNewTaskWizard::FirstGeneration() const { return !scheduler_->RunningVistaOrLater(); }

QWidget* TNewTaskWizard::BuildCustomData() {
  auto* page = new QWidget();
  edtApplicationName = new QLineEdit(page);
  btnBrowse = new QPushButton("&Browse...", page);
  edtParameters = new QLineEdit(page);
  edtWorkDir = new QLineEdit(page);
  edtCreator = new QLineEdit(page);
  memComments = new QPlainTextEdit(page);
  memComments->setPlaceholderText("Type your comments here...");
  memComments->setTabChangesFocus(true);
  ckbVistaHighestPrivileges = new QCheckBox("Run with highest privileges", page);
  connect(btnBrowse, &QPushButton::clicked, this, &TNewTaskWizard::btnBrowseClick);
  connect(edtApplicationName, &QLineEdit::textChanged, this, &TNewTaskWizard::UpdateNextEnabled);

  auto* app_row = new QHBoxLayout();
  app_row->addWidget(edtApplicationName, 1);
  app_row->addWidget(btnBrowse);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  form->addRow(BuddyLabel("&Application:", edtApplicationName, page), app_row);
  form->addRow(BuddyLabel("&Parameters:", edtParameters, page), edtParameters);
  form->addRow(BuddyLabel("&Work Dir:", edtWorkDir, page), edtWorkDir);
  form->addRow(BuddyLabel("&Creator:", edtCreator, page), edtCreator);
  form->addRow(BuddyLabel("C&omments:", memComments, page), memComments);
  form->addRow(QString(), ckbVistaHighestPrivileges);
  return page;
}

QWidget* TNewTaskWizard::BuildTaskName() {
  auto* page = new QWidget();
  edtTaskName = new QLineEdit(page);
  auto* name_label = BuddyLabel(
      "&Type a name for this task.  The task name can be the same name as the program name.",
      edtTaskName, page);
  name_label->setWordWrap(true);
  ComboBox1 = new QComboBox(page);
  auto* perform = BuddyLabel("Perform this task:", ComboBox1, page);
  GroupBox1 = new QGroupBox(page);
  GroupBox1->setAccessibleName("User");
  rbAnyUser = new QRadioButton("Any User", GroupBox1);
  rbSpecificUser = new QRadioButton("Specific User", GroupBox1);
  edUser = new QLineEdit(GroupBox1);
  edUser->setAccessibleName("Specific User");
  rbAnyUser->setChecked(true);
  auto* g1 = new QGridLayout(GroupBox1);
  g1->addWidget(rbAnyUser, 0, 0);
  g1->addWidget(rbSpecificUser, 1, 0);
  g1->addWidget(edUser, 1, 1);
  GroupBox2 = new QGroupBox(page);
  GroupBox2->setAccessibleName("Connection");
  rbRemoteConnection = new QRadioButton("Connection from remote computer", GroupBox2);
  rbLocalConnection = new QRadioButton("Connection from local computer", GroupBox2);
  rbRemoteConnection->setChecked(true);
  auto* g2 = new QVBoxLayout(GroupBox2);
  g2->addWidget(rbRemoteConnection);
  g2->addWidget(rbLocalConnection);
  connect(edtTaskName, &QLineEdit::textChanged, this, &TNewTaskWizard::UpdateNextEnabled);
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TNewTaskWizard::ComboBox1Change);
  connect(rbSpecificUser, &QRadioButton::toggled, edUser, &QWidget::setEnabled);
  edUser->setEnabled(false);

  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(name_label);
  layout->addWidget(edtTaskName);
  layout->addSpacing(8);
  layout->addWidget(perform);
  layout->addWidget(ComboBox1);
  layout->addWidget(GroupBox1);
  layout->addWidget(GroupBox2);
  layout->addStretch(1);
  return page;
}

QWidget* TNewTaskWizard::BuildTriggerDetails() {
  auto* page = new QWidget();
  pnlDetails = new QStackedWidget(page);

  pnlOneTimeOnly = new QWidget();
  dtStartTimeOnce = TimePicker(pnlOneTimeOnly);
  dtStartDateOnce = DatePicker(pnlOneTimeOnly);
  {
    auto* form = new QFormLayout(pnlOneTimeOnly);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(Intro(pnlOneTimeOnly));
    form->addRow(BuddyLabel("Start &time:", dtStartTimeOnce, pnlOneTimeOnly), dtStartTimeOnce);
    form->addRow(BuddyLabel("Start &date:", dtStartDateOnce, pnlOneTimeOnly), dtStartDateOnce);
  }

  pnlDaily = new QWidget();
  dtStartTimeDaily = TimePicker(pnlDaily);
  rbEveryDay = new QRadioButton("Every d&ay", pnlDaily);
  rbEvery = new QRadioButton("&Every", pnlDaily);
  seIntervalDaily = new QSpinBox(pnlDaily);
  seIntervalDaily->setRange(1, 255);
  seIntervalDaily->setValue(1);
  seIntervalDaily->setAccessibleName("Every how many days");
  rbEveryDay->setChecked(true);
  seIntervalDaily->setEnabled(false);
  connect(rbEvery, &QRadioButton::toggled, seIntervalDaily, &QWidget::setEnabled);
  dtStartDateDaily = DatePicker(pnlDaily);
  {
    auto* every = new QHBoxLayout();
    every->addWidget(rbEvery);
    every->addWidget(seIntervalDaily);
    every->addWidget(new QLabel("days", pnlDaily));
    every->addStretch(1);
    auto* perform = new QVBoxLayout();
    perform->addWidget(rbEveryDay);
    perform->addLayout(every);
    auto* form = new QFormLayout(pnlDaily);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(Intro(pnlDaily));
    form->addRow(BuddyLabel("Start &time:", dtStartTimeDaily, pnlDaily), dtStartTimeDaily);
    auto* perform_label = new QLabel("Perform this task:", pnlDaily);
    perform_label->setBuddy(rbEveryDay);
    form->addRow(perform_label, perform);
    form->addRow(BuddyLabel("Start &date:", dtStartDateDaily, pnlDaily), dtStartDateDaily);
  }

  pnlWeekly = new QWidget();
  dtStartTimeWeekly = TimePicker(pnlWeekly);
  seWeekInterval = new QSpinBox(pnlWeekly);
  seWeekInterval->setRange(1, 52);
  seWeekInterval->setValue(1);
  seWeekInterval->setAccessibleName("Every how many weeks");
  {
    auto* days = new QGridLayout();
    cbWeekDays = MakeWeekdayBoxes(pnlWeekly, days);
    for (QCheckBox* box : cbWeekDays) {
      connect(box, &QCheckBox::toggled, this, &TNewTaskWizard::UpdateNextEnabled);
    }
    auto* every = new QHBoxLayout();
    auto* every_label = new QLabel("Every", pnlWeekly);
    every_label->setBuddy(seWeekInterval);
    every->addWidget(every_label);
    every->addWidget(seWeekInterval);
    every->addWidget(new QLabel("weeks", pnlWeekly));
    every->addStretch(1);
    auto* form = new QFormLayout(pnlWeekly);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(Intro(pnlWeekly));
    form->addRow(BuddyLabel("Start &time:", dtStartTimeWeekly, pnlWeekly), dtStartTimeWeekly);
    form->addRow(every);
    form->addRow(new QLabel("Select the week day below:", pnlWeekly));
    form->addRow(days);
  }

  pnlMonthly = new QWidget();
  dtStartTimeMonthly = TimePicker(pnlMonthly);
  rbMonthlyDate = new QRadioButton("&Day", pnlMonthly);
  seMonthDay = new QSpinBox(pnlMonthly);
  seMonthDay->setRange(1, 31);
  seMonthDay->setValue(1);
  seMonthDay->setAccessibleName("Day of the month");
  rbMonthlyDow = new QRadioButton("T&he", pnlMonthly);
  cbWhichWeek = new QComboBox(pnlMonthly);
  cbWhichWeek->addItems({"First", "Second", "Third", "Forth", "Last"});
  cbWhichWeek->setAccessibleName("Week of the month");
  cbDaysOfTheWeek = new QComboBox(pnlMonthly);
  cbDaysOfTheWeek->addItems(
      {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"});
  cbDaysOfTheWeek->setAccessibleName("Day of the week");
  rbMonthlyDate->setChecked(true);
  auto monthly_kind = [this] {
    seMonthDay->setEnabled(rbMonthlyDate->isChecked());
    cbWhichWeek->setEnabled(rbMonthlyDow->isChecked());
    cbDaysOfTheWeek->setEnabled(rbMonthlyDow->isChecked());
  };
  connect(rbMonthlyDate, &QRadioButton::toggled, this, monthly_kind);
  monthly_kind();
  {
    auto* by_date = new QHBoxLayout();
    by_date->addWidget(rbMonthlyDate);
    by_date->addWidget(seMonthDay);
    by_date->addStretch(1);
    auto* by_dow = new QHBoxLayout();
    by_dow->addWidget(rbMonthlyDow);
    by_dow->addWidget(cbWhichWeek);
    by_dow->addWidget(cbDaysOfTheWeek);
    by_dow->addStretch(1);
    auto* months = new QGridLayout();
    cbMonths = MakeMonthBoxes(pnlMonthly, months);
    for (QCheckBox* box : cbMonths) {
      connect(box, &QCheckBox::toggled, this, &TNewTaskWizard::UpdateNextEnabled);
    }
    auto* form = new QFormLayout(pnlMonthly);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(Intro(pnlMonthly));
    form->addRow(BuddyLabel("Start &time:", dtStartTimeMonthly, pnlMonthly), dtStartTimeMonthly);
    form->addRow(by_date);
    form->addRow(by_dow);
    form->addRow(new QLabel("of the month(s):", pnlMonthly));
    form->addRow(months);
  }

  for (QWidget* panel : {pnlOneTimeOnly, pnlDaily, pnlWeekly, pnlMonthly}) {
    pnlDetails->addWidget(panel);
  }
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pnlDetails);
  layout->addStretch(1);
  return page;
}

QWidget* TNewTaskWizard::BuildAccountInfo() {
  auto* page = new QWidget();
  lblAccountInfo = new QLabel(
      "Enter the name of a user of this computer.  The task will run as if it was started by "
      "that user.",
      page);
  lblAccountInfo->setWordWrap(true);
  edtAccount = new QLineEdit(page);
  lblPasswordNote = new QLabel(
      "No password is needed: the task runs from that user's own schedule.  Only root can "
      "schedule a task for another user.",
      page);
  lblPasswordNote->setWordWrap(true);
  connect(edtAccount, &QLineEdit::textChanged, this, &TNewTaskWizard::UpdateNextEnabled);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lblAccountInfo);
  layout->addSpacing(8);
  layout->addWidget(BuddyLabel("Enter the user n&ame:", edtAccount, page));
  layout->addWidget(edtAccount);
  layout->addSpacing(8);
  layout->addWidget(lblPasswordNote);
  layout->addStretch(1);
  return page;
}

QWidget* TNewTaskWizard::BuildFinished() {
  auto* page = new QWidget();
  lblTaskResult = new QLabel(page);
  lblTaskNextTime = new QLabel(page);
  for (QLabel* l : {lblTaskResult, lblTaskNextTime}) {
    QFont bold = l->font();
    bold.setBold(true);
    l->setFont(bold);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel("You have successfully scheduled the following task:", page));
  layout->addWidget(lblTaskResult);
  layout->addSpacing(8);
  layout->addWidget(new QLabel("The scheduler will perform this task:", page));
  layout->addWidget(lblTaskNextTime);
  layout->addSpacing(12);
  layout->addWidget(new QLabel("Click Finish to add this task to your schedule.", page));
  layout->addStretch(1);
  lblAdvanced = new QLabel("Click Advanced to set up additional properties for this task.", page);
  btnAdvanced = new QPushButton("&Advanced...", page);
  connect(btnAdvanced, &QPushButton::clicked, this, &TNewTaskWizard::btnAdvancedClick);
  auto* advanced = new QHBoxLayout();
  advanced->addWidget(lblAdvanced, 1);
  advanced->addWidget(btnAdvanced);
  layout->addLayout(advanced);
  return page;
}

bool TNewTaskWizard::IsEventKind(TTriggerType kind) {
  return kind != ttOnce && kind != ttDaily && kind != ttWeekly && kind != ttMonthlyDate &&
         kind != ttMonthlyDow;
}

TTriggerType TNewTaskWizard::SelectedKind() const {
  const int index = ComboBox1->currentIndex();
  if (index < 0 || index >= static_cast<int>(std::size(kSchedules))) return ttUnknown;
  TTriggerType kind = kSchedules[index].kind;
  if (kind == ttMonthlyDate && rbMonthlyDow->isChecked()) kind = ttMonthlyDow;
  return kind;
}

void TNewTaskWizard::ComboBox1Change() {
  GroupBox1->hide();
  GroupBox2->hide();
  const int index = ComboBox1->currentIndex();
  if (!FirstGeneration() && index > 4 && index != 6) {
    GroupBox1->show();
    edUser->setEnabled(rbSpecificUser->isChecked());
    if (index == 7 || index == 8) GroupBox2->show();
  }
  UpdateNextEnabled();
}

void TNewTaskWizard::ShowPage(int index) {
  PageControl1->setCurrentIndex(index);
  static const char* const kCaptions[] = {"Custom Data", "Task Name", "Trigger Details",
                                          "Account Info", "Finish"};
  lblPageCaption->setText(kCaptions[index]);
  UpdateButtons();
  FocusFirstField();
}

void TNewTaskWizard::FocusFirstField() {
  switch (PageControl1->currentIndex()) {
    case kCustomData:
      edtApplicationName->setFocus();
      break;
    case kTaskName:
      edtTaskName->setFocus();
      break;
    case kTriggerDetails: {
      QWidget* panel = pnlDetails->currentWidget();
      QWidget* first = panel == pnlOneTimeOnly ? dtStartTimeOnce
                       : panel == pnlDaily     ? dtStartTimeDaily
                       : panel == pnlWeekly    ? dtStartTimeWeekly
                                               : dtStartTimeMonthly;
      first->setFocus();
      break;
    }
    case kAccountInfo:
      edtAccount->setFocus();
      break;
    default:
      btnNext->setFocus();
  }
}

void TNewTaskWizard::UpdateButtons() {
  const bool second = !FirstGeneration();
  ckbVistaHighestPrivileges->setVisible(second);
  if (second) {
    ckbVistaHighestPrivileges->setEnabled(UserIsRoot());
    if (!UserIsRoot()) ckbVistaHighestPrivileges->setChecked(false);
    ckbVistaHighestPrivileges->setToolTip(
        UserIsRoot() ? QString() : "Only root can run a task with highest privileges.");
  }
  const int page = PageControl1->currentIndex();
  btnBack->setEnabled(page != kCustomData);
  btnNext->setText(page == kFinished ? "&Finish" : "&Next >");
  UpdateNextEnabled();
}

void TNewTaskWizard::UpdateNextEnabled() {
  bool enabled = true;
  switch (PageControl1->currentIndex()) {
    case kTaskName:
      enabled = ComboBox1->currentIndex() >= 0 && !edtTaskName->text().isEmpty();
      break;
    case kTriggerDetails: {
      const TTriggerType kind = SelectedKind();
      if (kind == ttWeekly) {
        enabled = AnyChecked(cbWeekDays);
      } else if (kind == ttMonthlyDate || kind == ttMonthlyDow) {
        enabled = AnyChecked(cbMonths);
      }
      break;
    }
    case kAccountInfo:
      enabled = !edtAccount->text().isEmpty();
      break;
    default:
      break;
  }
  btnNext->setEnabled(enabled);
}

void TNewTaskWizard::DropItem() {
  if (item_ == nullptr) return;
  item_ = nullptr;
  scheduler_->Refresh();
}

bool TNewTaskWizard::MakeTaskItem(TTriggerType kind) {
  const std::string name = edtTaskName->text().toStdString();
  TTaskItem* item = scheduler_->ActivateTask(name);
  const bool second = !FirstGeneration();
  if (item != nullptr) {
    if (!Desktop().AskYesNo(
            this,
            FormatText("A task with the name %s already exists.  Do you want to replace it?", name),
            false)) {
      return false;
    }
    item->Activate();
    item->GetTriggers()->Clear();
    // The replaced task runs what this wizard says, not that and its old
    // programs besides.
    if (second) {
      while (item->GetActionsCount() > 0) item->RemoveAction(1);
    }
  } else {
    item = scheduler_->CreateNewItem(name);
  }
  item_ = item;
  item->GetTriggers()->Add(kind);
  if (second) {
    item->SetCurrentAction(1);
    item->InsertAction(kActionExec);
  }
  const std::string application = edtApplicationName->text().toStdString();
  item->SetApplicationName(application);
  std::string parameters = edtParameters->text().toStdString();
  // The program itself needs the task to run: it is named after it.
  if (application == Env::Default()->ExecutablePath()) parameters += " " + name;
  item->SetParameters(parameters);
  item->SetWorkingDirectory(edtWorkDir->text().toStdString());
  if (second) {
    item->TaskDefinition()->Principal.RunLevel =
        ckbVistaHighestPrivileges->isChecked() && UserIsRoot() ? 1 : 0;
  }
  item->SetComment(memComments->toPlainText().toStdString());
  item->SetCreator(edtCreator->text().toStdString());
  return true;
}

bool TNewTaskWizard::LeaveTaskName() {
  const TTriggerType kind = SelectedKind();
  if (item_ == nullptr && !MakeTaskItem(kind)) return false;
  TTrigger* trigger = item_->GetTriggers()->GetItem(0);
  trigger->SetTriggerType(kind);
  const TDateTime now = SchedNow();
  trigger->SetBeginDate(DatePart(now));
  event_kind_ = IsEventKind(kind);
  if (!event_kind_) {
    pnlDetails->setCurrentWidget(kind == ttOnce     ? pnlOneTimeOnly
                                 : kind == ttDaily  ? pnlDaily
                                 : kind == ttWeekly ? pnlWeekly
                                                    : pnlMonthly);
    return true;
  }
  trigger->SetStartTime(TimePart(now));
  trigger->SetBeginDate(DatePart(now));
  trigger->SetUserName(rbSpecificUser->isChecked() ? edUser->text().toStdString() : "");
  trigger->SetConnectionType(rbLocalConnection->isChecked() ? 1 : 2);
  // The kind's user and connection reach the task only when written.
  item_->GetTriggers()->UpdateTriggers();
  return ScheduleAccepted();
}

bool TNewTaskWizard::ScheduleAccepted() {
  // A task that could never run is refused here, where it can be mended,
  // not when Finish saves it.
  const std::string problem = item_->CheckDefinition();
  if (problem.empty()) return true;
  Desktop().ShowError(this, problem);
  return false;
}

bool TNewTaskWizard::LeaveTriggerDetails() {
  const TTriggerType kind = SelectedKind();
  const TDateTime today = DatePart(SchedNow());
  TTriggers* triggers = item_->GetTriggers();
  if (!FirstGeneration()) {
    triggers->Clear();
    triggers->Add(kind)->SetBeginDate(today);
  }
  TTrigger* trigger = triggers->GetItem(0);
  trigger->SetTriggerType(kind);
  trigger->SetDetails({});  // the wizard's details only
  TScheduleInput in =
      ReadSchedulePickers({dtStartTimeOnce, dtStartDateOnce, dtStartTimeDaily, dtStartDateDaily,
                           rbEveryDay, seIntervalDaily, dtStartTimeWeekly, seWeekInterval,
                           &cbWeekDays, dtStartTimeMonthly, &cbMonths, cbWhichWeek},
                          kind);
  if (kind != ttOnce && kind != ttDaily && kind != ttWeekly) {
    in.month_days = 1u << (seMonthDay->value() - 1);
    const int weekday = cbDaysOfTheWeek->currentIndex();
    in.weekdays = weekday < 0 ? 0 : static_cast<uint16_t>(1u << weekday);
  }
  WriteTrigger(trigger, in, today);
  triggers->UpdateTriggers();
  return ScheduleAccepted();
}

bool TNewTaskWizard::LeaveAccountInfo() {
  const std::string account = edtAccount->text().trimmed().toStdString();
  if (account.empty()) return false;
  item_->SetAccountInformation(account, "");
  if (FirstGeneration()) item_->SetFlags(item_->GetFlags() | FlagOf(tfRunOnlyIfLoggedOn));
  return true;
}

void TNewTaskWizard::btnNextClick() {
  const int page = PageControl1->currentIndex();
  if (page == kFinished) {
    accept();
    return;
  }
  try {
    int next = page + 1;
    switch (page) {
      case kTaskName:
        if (!LeaveTaskName()) return;
        if (event_kind_) next = kAccountInfo;
        break;
      case kTriggerDetails:
        if (!LeaveTriggerDetails()) return;
        break;
      case kAccountInfo:
        if (!LeaveAccountInfo()) return;
        break;
      default:
        break;
    }
    ShowPage(next);
    RefreshFinishLabels();
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());
  }
}

void TNewTaskWizard::btnBackClick() {
  const int page = PageControl1->currentIndex();
  if (page == kCustomData) return;
  try {
    int back = page - 1;
    if (page == kTriggerDetails) DropItem();
    if (page == kAccountInfo && event_kind_) back = kTaskName;
    ShowPage(back);
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());
  }
}

void TNewTaskWizard::RefreshFinishLabels() {
  if (item_ == nullptr) return;
  lblTaskResult->setText(edtTaskName->text());
  lblTaskNextTime->setText(QString::fromStdString(item_->GetTriggerString()));
}

void TNewTaskWizard::btnBrowseClick() {
  const std::string file =
      Desktop().OpenFileName(this, "Shell scripts (*.sh)|*.sh|All Files (*.*)|*", "",
                             edtApplicationName->text().toStdString());
  if (!file.empty()) edtApplicationName->setText(QString::fromStdString(file));
}

void TNewTaskWizard::btnAdvancedClick() {
  if (item_ == nullptr) return;
  try {
    ShowSchedulePages(item_, FormatText("%s Properties", item_->Name()), this);
    RefreshFinishLabels();
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());
  }
}

bool RunNewTaskWizard(TTaskScheduler* scheduler, TTaskItem** item, const std::string& application,
                      QWidget* parent) {
  TNewTaskWizard wizard(scheduler, parent);
  if (!application.empty()) wizard.edtApplicationName->setText(QString::fromStdString(application));
  wizard.UpdateButtons();
  const bool finished = wizard.exec() == QDialog::Accepted;
  TTaskItem* made = wizard.Item();
  if (finished && made != nullptr) {
    made->Deactivate(true);
    *item = made;
    return true;
  }
  *item = nullptr;
  wizard.DropItem();
  return false;
}

}  // namespace lorvant
