#include "ui/MainForm.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "base/Exception.h"
#include "diagnostics/DebugHelper.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "os/SystemInfo.h"
#include "tasks/SavedTaskList.h"
#include "tasks/TaskDesc.h"
#include "tasks/TaskMRUList.h"
#include "ui/Desktop.h"
#include "ui/DialogFactory.h"
#include "ui/FileSplitForm.h"
#include "ui/LinkButton.h"
#include "ui/LogViewerForm.h"
#include "ui/TaskListForm.h"
#include "ui/UnexpectedError.h"

namespace lorvant {
namespace {

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.25);
  label->setFont(f);
  return label;
}

// Shows link with caption, the whole path as its tooltip.
void ShowLink(TLinkButton* link, const std::string& caption, const std::string& path) {
  const QString text = QString::fromStdString(caption);
  // A "&" in a file name is shown, not taken for an accelerator.
  link->setText(QString(text).replace('&', "&&"));
  link->setAccessibleName(text);
  link->setToolTip(QString::fromStdString(path));
  link->show();
}

}  // namespace

TMainForm::TMainForm(TSessionManager* session_manager, QWidget* parent)
    : QMainWindow(parent),
      dialog_factory_(std::make_unique<TDialogFactory>()),
      saved_tasks_(std::make_unique<TSavedTaskList>()),
      log_viewer_(new TLogViewerForm(this)),
      split_form_(new TFileSplitForm(session_manager, this)) {
  setWindowTitle("Lorvant");
  BuildMenus();
  BuildPage();
  resize(460, 520);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  saved_tasks_->SubKey = "Software\\Pelmora\\Lorvant\\Tasks";
  try {
    saved_tasks_->SetActive(true);
  } catch (const std::exception& e) {
    ReportUnexpectedError(e.what());
  }
  RefreshLists();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  mniSplit = file->addAction("&Split Text File", this, &TMainForm::actNewSplitExecute);
  mniSplit->setShortcut(Qt::CTRL | Qt::Key_N);
  Exit1 = file->addAction("E&xit", this, &QWidget::close);
  Exit1->setShortcut(Qt::CTRL | Qt::Key_Q);
  // The File menu shows its two items only; "More ..." has its shortcut
  // on the window.
  actOpenSession = new QAction("&More ...", this);
  actOpenSession->setShortcut(Qt::CTRL | Qt::Key_O);
  connect(actOpenSession, &QAction::triggered, this, &TMainForm::actOpenSessionExecute);
  addAction(actOpenSession);
  QMenu* tools = menuBar()->addMenu("&Tools");
  ScheduledTasks1 = tools->addAction("&Scheduled Tasks", this, &TMainForm::ScheduledTasks1Click);
  QMenu* help = menuBar()->addMenu("&Help");
  Content1 = help->addAction("&Content", this,
                             [] { Desktop().Open(ProductPageUrl() + "?from=help-menu"); });
  Content1->setShortcut(Qt::Key_F1);
  help->addSeparator();
  ShowLog1 = help->addAction("Show &Log", this, &TMainForm::ShowLog1Click);
  OpenExceptionFile1 = help->addAction("Open &Exception File", this,
                                       [] { Desktop().Open(GetExceptionLogFile("Lorvant")); });
  help->addSeparator();
  Home1 = help->addAction("Home&page", this, [] { Desktop().Open(ProductPageUrl()); });
  SupportEmail1 = help->addAction("Support E&mail", this,
                                  [] { Desktop().Open("mailto:" + SupportEmailAddress()); });
  help->addSeparator();
  mniCheckUpdate1 = help->addAction("Check &Update", this, &TMainForm::mniCheckUpdate1Click);
  About1 = help->addAction("&About Lorvant", this, &TMainForm::About1Click);
}

void TMainForm::ScheduledTasks1Click() {
  std::unique_ptr<TTaskListForm> list;
  try {
    list = std::make_unique<TTaskListForm>(this);
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());  // no service, no window
    return;
  }
  list->exec();
}

void TMainForm::BuildPage() {
  auto* page = new QWidget();
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(24, 16, 24, 16);
  layout->setSpacing(4);
  Label1 = Heading("Start", page);
  alblWizard = new TLinkButton("&New Task", page);
  connect(alblWizard, &QPushButton::clicked, this, &TMainForm::actNewSplitExecute);
  Label2 = Heading("Recent Tasks", page);
  Label3 = Heading("Saved Tasks", page);
  layout->addWidget(Label1);
  layout->addWidget(alblWizard);
  layout->addSpacing(14);
  // Five hidden links captioned "<kind> 1" ... "<kind> 5" until filled.
  auto add_links = [&](std::array<TLinkButton*, kLinks>& links, const QString& kind,
                       void (TMainForm::*open)(int)) {
    for (int i = 0; i < kLinks; ++i) {
      links[i] = new TLinkButton(QString("%1 %2").arg(kind).arg(i + 1), page);
      links[i]->hide();
      connect(links[i], &QPushButton::clicked, this, [this, open, i] { (this->*open)(i); });
      layout->addWidget(links[i]);
    }
  };
  layout->addWidget(Label2);
  add_links(lblRecentTask, "Recent Task", &TMainForm::OpenRecentTask);
  layout->addSpacing(14);
  layout->addWidget(Label3);
  add_links(lblSavedTask, "Saved Task", &TMainForm::OpenSavedTask);
  lblSavedTaskMore = new TLinkButton("&More ...", page);
  connect(lblSavedTaskMore, &QPushButton::clicked, this, &TMainForm::actOpenSessionExecute);
  layout->addWidget(lblSavedTaskMore);
  layout->addStretch(1);
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(page);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setFocusPolicy(Qt::NoFocus);  // Tab goes from link to link
  setCentralWidget(scroll);
}

std::string TMainForm::RecentTaskPath(int index) const { return recent_paths_.at(index); }
std::string TMainForm::SavedTaskPath(int index) const { return saved_paths_.at(index); }

void TMainForm::RefreshLists() {
  try {
    RefreshRecentTasks();
    RefreshSavedTasks();
  } catch (const std::exception& e) {
    ReportUnexpectedError(e.what());
  }
}

void TMainForm::RefreshRecentTasks() {
  for (int i = 0; i < kLinks; ++i) {
    lblRecentTask[i]->hide();
    recent_paths_[i].clear();
  }
  TTaskMRUList list(RecentTaskListFile());
  TTaskDesc desc;
  for (int i = 0; i < list.Count() && i < kLinks; ++i) {
    list.GetItem(i, &desc);
    // Each link keeps its own file: two runs of files with the same name
    // in different folders each open their own task.
    recent_paths_[i] = desc.TaskFile;
    ShowLink(lblRecentTask[i], desc.Time + "  " + desc.SourceName, desc.TaskFile);
  }
  update();
}

void TMainForm::RefreshSavedTasks() {
  for (int i = 0; i < kLinks; ++i) {
    lblSavedTask[i]->hide();
    saved_paths_[i].clear();
  }
  if (!saved_tasks_->Active()) return;
  saved_tasks_->SetActive(true);  // reads the list as it now stands
  saved_tasks_->EnumItems([this](const std::string& path, int index) {
    if (index >= kLinks) return;
    saved_paths_[index] = path;
    ShowLink(lblSavedTask[index], ExtractFileName(path), path);
  });
  update();
}

void TMainForm::ShowSplitForm() {
  split_form_->exec();
  RefreshLists();
}

void TMainForm::actNewSplitExecute() { ShowSplitForm(); }

bool TMainForm::FillSplitForm(const std::function<void()>& fill) {
  try {
    fill();
    return true;
  } catch (const EFOpenError& e) {
    // A text file moved or deleted since the task was saved is the user's
    // to mend, not a fault of the program.
    Desktop().ShowMessage(this, e.what());
  } catch (const std::exception& e) {
    ReportUnexpectedError(e.what());
  }
  return false;
}

void TMainForm::OpenRecentTask(int index) {
  const std::string path = recent_paths_.at(index);
  if (FillSplitForm([&] { split_form_->ReadFromFile(path); })) ShowSplitForm();
}

void TMainForm::OpenSavedTask(int index) { OpenSavedTaskFile(saved_paths_.at(index)); }

void TMainForm::OpenSavedTaskFile(const std::string& path) {
  if (FillSplitForm([&] { split_form_->LoadFromFile(path); })) ShowSplitForm();
}

void TMainForm::actOpenSessionExecute() {
  const std::string path =
      Desktop().OpenFileName(this, "Split File Task (*.sft)|*.sft", "sft", SavedTasksPickerStart());
  if (!path.empty()) OpenSavedTaskFile(path);
}

void TMainForm::ShowLog1Click() {
  log_viewer_->SetText(TDebugHelper::GetLog());
  log_viewer_->exec();
}

void TMainForm::mniCheckUpdate1Click() { dialog_factory_->CheckForUpdate(); }

void TMainForm::About1Click() { dialog_factory_->ShowAbout(this); }

}  // namespace lorvant
