#include "scheduler/TaskStore.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

const char kTaskHeader[] = "# Lorvant scheduled task 1";
const char kStateHeader[] = "# Lorvant task state 1";
const char kTaskExt[] = ".task";
const char kStateExt[] = ".state";

// Values stay on one line: backslash, CR, LF and other control bytes are
// written as escapes.
std::string Escape(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(const std::string& value, std::string* out) {
  out->clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      *out += value[i];
      continue;
    }
    if (++i >= value.size()) return false;
    char c = value[i];
    if (c == '\\') {
      *out += '\\';
    } else if (c == 'n') {
      *out += '\n';
    } else if (c == 'r') {
      *out += '\r';
    } else if (c == 'x') {
      if (i + 2 >= value.size()) return false;
      int hi = HexDigit(value[i + 1]), lo = HexDigit(value[i + 2]);
      if (hi < 0 || lo < 0) return false;
      *out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool FromHex(const std::string& text, std::string* out) {
  if (text.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

class Writer {
 public:
  explicit Writer(const char* header) { text_ = std::string(header) + "\n"; }
  void Section(const char* name) { text_ += std::string("\n[") + name + "]\n"; }
  void Put(const char* key, const std::string& value) {
    text_ += std::string(key) + "=" + Escape(value) + "\n";
  }
  void Put(const char* key, long long value) { Put(key, std::to_string(value)); }
  void Put(const char* key, bool value) { Put(key, std::string(value ? "1" : "0")); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// A key and value of the file being read, with where it stood.
struct Entry {
  std::string section, key, value;
  int line = 0;
};

[[noreturn]] void Damaged(const std::string& file, int line, const std::string& what) {
  throw EServiceError(kErrorBadStore, "The stored task file \"" + file + "\" is damaged at line " +
                                          std::to_string(line) + ": " + what + ".");
}

std::vector<Entry> ReadEntries(const std::string& text, const char* header,
                               const std::string& file) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines.empty() || lines[0] != header) Damaged(file, 1, "it does not begin with its header");
  std::vector<Entry> entries;
  std::string section;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    int number = static_cast<int>(i + 1);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') Damaged(file, number, "a section name is not closed");
      section = line.substr(1, line.size() - 2);
      entries.push_back({section, "", "", number});
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) Damaged(file, number, "a line is not key=value");
    Entry e{section, line.substr(0, eq), "", number};
    if (!Unescape(line.substr(eq + 1), &e.value)) Damaged(file, number, "a value has a bad escape");
    entries.push_back(e);
  }
  return entries;
}

long long ToNumber(const Entry& e, const std::string& file, long long lo, long long hi) {
  const std::string& v = e.value;
  bool ok = !v.empty() && v.size() < 20;
  for (size_t i = 0; ok && i < v.size(); ++i) {
    ok = (v[i] >= '0' && v[i] <= '9') || (i == 0 && v[i] == '-' && v.size() > 1);
  }
  if (!ok) Damaged(file, e.line, "\"" + e.key + "\" is not a number");
  long long n = std::stoll(v);
  if (n < lo || n > hi) Damaged(file, e.line, "\"" + e.key + "\" is out of range");
  return n;
}

bool ToBool(const Entry& e, const std::string& file) { return ToNumber(e, file, 0, 1) != 0; }

}  // namespace

std::string FormatTaskFile(const StoredTask& task) {
  const TaskDefinitionData& d = task.Definition;
  Writer w(kTaskHeader);
  w.Section("Task");
  w.Put("Name", task.Name);
  w.Section("RegistrationInfo");
  w.Put("Description", d.Registration.Description);
  w.Put("Author", d.Registration.Author);
  w.Section("Principal");
  w.Put("UserId", d.Principal.UserId);
  w.Put("LogonType", static_cast<long long>(d.Principal.LogonType));
  const TaskSettings& s = d.Settings;
  w.Section("Settings");
  w.Put("AllowDemandStart", s.AllowDemandStart);
  w.Put("AllowHardTerminate", s.AllowHardTerminate);
  w.Put("DisallowStartIfOnBatteries", s.DisallowStartIfOnBatteries);
  w.Put("StopIfGoingOnBatteries", s.StopIfGoingOnBatteries);
  w.Put("Enabled", s.Enabled);
  w.Put("Hidden", s.Hidden);
  w.Put("RunOnlyIfIdle", s.RunOnlyIfIdle);
  w.Put("RunOnlyIfNetworkAvailable", s.RunOnlyIfNetworkAvailable);
  w.Put("StartWhenAvailable", s.StartWhenAvailable);
  w.Put("WakeToRun", s.WakeToRun);
  w.Put("ExecutionTimeLimit", s.ExecutionTimeLimit);
  w.Put("RestartInterval", s.RestartInterval);
  w.Put("RestartCount", static_cast<long long>(s.RestartCount));
  w.Put("DeleteExpiredTaskAfter", s.DeleteExpiredTaskAfter);
  w.Put("MultipleInstances", static_cast<long long>(s.MultipleInstances));
  w.Put("StopOnIdleEnd", s.Idle.StopOnIdleEnd);
  w.Put("RestartOnIdle", s.Idle.RestartOnIdle);
  w.Put("IdleWaitTimeout", s.Idle.WaitTimeout);
  w.Put("IdleDuration", s.Idle.IdleDuration);
  for (const TriggerDef& t : d.Triggers) {
    w.Section("Trigger");
    w.Put("Type", static_cast<long long>(t.Type));
    w.Put("Id", t.Id);
    w.Put("StartBoundary", t.StartBoundary);
    w.Put("EndBoundary", t.EndBoundary);
    w.Put("Enabled", t.Enabled);
    w.Put("RepetitionInterval", t.Repetition.Interval);
    w.Put("RepetitionDuration", t.Repetition.Duration);
    w.Put("StopAtDurationEnd", t.Repetition.StopAtDurationEnd);
    w.Put("DaysInterval", static_cast<long long>(t.DaysInterval));
    w.Put("WeeksInterval", static_cast<long long>(t.WeeksInterval));
    w.Put("DaysOfWeek", static_cast<long long>(t.DaysOfWeek));
    w.Put("DaysOfMonth", static_cast<long long>(t.DaysOfMonth));
    w.Put("MonthsOfYear", static_cast<long long>(t.MonthsOfYear));
    w.Put("WeeksOfMonth", static_cast<long long>(t.WeeksOfMonth));
    w.Put("RunOnLastWeekOfMonth", t.RunOnLastWeekOfMonth);
    w.Put("UserId", t.UserId);
    w.Put("StateChange", static_cast<long long>(t.StateChange));
  }
  for (const ActionDef& a : d.Actions) {
    w.Section("Action");
    w.Put("Type", static_cast<long long>(a.Type));
    w.Put("Id", a.Id);
    w.Put("Path", a.Path);
    w.Put("Arguments", a.Arguments);
    w.Put("WorkingDirectory", a.WorkingDirectory);
    w.Put("To", a.To);
    w.Put("From", a.From);
    w.Put("Subject", a.Subject);
    w.Put("Body", a.Body);
    w.Put("Server", a.Server);
    w.Put("Title", a.Title);
    w.Put("MessageBody", a.MessageBody);
  }
  w.Section("Data");
  w.Put("Text", d.Data);
  const JobData& j = task.Job;
  w.Section("Job");
  w.Put("Flags", static_cast<long long>(j.Flags));
  w.Put("Priority", static_cast<long long>(j.Priority));
  w.Put("IdleMinutes", static_cast<long long>(j.IdleMinutes));
  w.Put("DeadlineMinutes", static_cast<long long>(j.DeadlineMinutes));
  w.Put("MaxRunTime", static_cast<long long>(j.MaxRunTimeMs));
  w.Put("WorkItemData", ToHex(j.WorkItemData));
  w.Put("AccountName", j.AccountName);
  w.Put("HasRecords", j.HasRecords);
  for (const TriggerRecordBytes& r : j.TriggerRecords) {
    w.Put("TriggerRecord", ToHex(std::string(r.begin(), r.end())));
  }
  return w.text();
}

StoredTask ParseTaskFile(const std::string& text, const std::string& file) {
  StoredTask task;
  TaskDefinitionData& d = task.Definition;
  TaskSettings& s = d.Settings;
  const long long kMax32 = 0xFFFFFFFFLL;
  for (const Entry& e : ReadEntries(text, kTaskHeader, file)) {
    const std::string& k = e.key;
    auto num = [&](long long lo, long long hi) { return ToNumber(e, file, lo, hi); };
    auto flag = [&] { return ToBool(e, file); };
    if (k.empty()) {
      if (e.section == "Trigger") d.Triggers.emplace_back();
      if (e.section == "Action") d.Actions.emplace_back();
      continue;
    }
    if (e.section == "Task") {
      if (k == "Name") task.Name = e.value;
    } else if (e.section == "RegistrationInfo") {
      if (k == "Description") d.Registration.Description = e.value;
      if (k == "Author") d.Registration.Author = e.value;
    } else if (e.section == "Principal") {
      if (k == "UserId") d.Principal.UserId = e.value;
      if (k == "LogonType") d.Principal.LogonType = static_cast<int>(num(0, 6));
    } else if (e.section == "Settings") {
      if (k == "AllowDemandStart") s.AllowDemandStart = flag();
      if (k == "AllowHardTerminate") s.AllowHardTerminate = flag();
      if (k == "DisallowStartIfOnBatteries") s.DisallowStartIfOnBatteries = flag();
      if (k == "StopIfGoingOnBatteries") s.StopIfGoingOnBatteries = flag();
      if (k == "Enabled") s.Enabled = flag();
      if (k == "Hidden") s.Hidden = flag();
      if (k == "RunOnlyIfIdle") s.RunOnlyIfIdle = flag();
      if (k == "RunOnlyIfNetworkAvailable") s.RunOnlyIfNetworkAvailable = flag();
      if (k == "StartWhenAvailable") s.StartWhenAvailable = flag();
      if (k == "WakeToRun") s.WakeToRun = flag();
      if (k == "ExecutionTimeLimit") s.ExecutionTimeLimit = e.value;
      if (k == "RestartInterval") s.RestartInterval = e.value;
      if (k == "RestartCount") s.RestartCount = static_cast<int>(num(0, 999));
      if (k == "DeleteExpiredTaskAfter") s.DeleteExpiredTaskAfter = e.value;
      if (k == "MultipleInstances") s.MultipleInstances = static_cast<int>(num(0, 3));
      if (k == "StopOnIdleEnd") s.Idle.StopOnIdleEnd = flag();
      if (k == "RestartOnIdle") s.Idle.RestartOnIdle = flag();
      if (k == "IdleWaitTimeout") s.Idle.WaitTimeout = e.value;
      if (k == "IdleDuration") s.Idle.IdleDuration = e.value;
    } else if (e.section == "Trigger") {
      TriggerDef& t = d.Triggers.back();
      if (k == "Type") t.Type = static_cast<int>(num(0, 11));
      if (k == "Id") t.Id = e.value;
      if (k == "StartBoundary") t.StartBoundary = e.value;
      if (k == "EndBoundary") t.EndBoundary = e.value;
      if (k == "Enabled") t.Enabled = flag();
      if (k == "RepetitionInterval") t.Repetition.Interval = e.value;
      if (k == "RepetitionDuration") t.Repetition.Duration = e.value;
      if (k == "StopAtDurationEnd") t.Repetition.StopAtDurationEnd = flag();
      if (k == "DaysInterval") t.DaysInterval = static_cast<int>(num(0, 65535));
      if (k == "WeeksInterval") t.WeeksInterval = static_cast<int>(num(0, 65535));
      if (k == "DaysOfWeek") t.DaysOfWeek = static_cast<int>(num(0, 0x7F));
      if (k == "DaysOfMonth") t.DaysOfMonth = static_cast<uint32_t>(num(0, kMax32));
      if (k == "MonthsOfYear") t.MonthsOfYear = static_cast<int>(num(0, 0xFFF));
      if (k == "WeeksOfMonth") t.WeeksOfMonth = static_cast<int>(num(0, 0x1F));
      if (k == "RunOnLastWeekOfMonth") t.RunOnLastWeekOfMonth = flag();
      if (k == "UserId") t.UserId = e.value;
      if (k == "StateChange") t.StateChange = static_cast<int>(num(0, 255));
    } else if (e.section == "Action") {
      ActionDef& a = d.Actions.back();
      if (k == "Type") a.Type = static_cast<int>(num(0, 255));
      if (k == "Id") a.Id = e.value;
      if (k == "Path") a.Path = e.value;
      if (k == "Arguments") a.Arguments = e.value;
      if (k == "WorkingDirectory") a.WorkingDirectory = e.value;
      if (k == "To") a.To = e.value;
      if (k == "From") a.From = e.value;
      if (k == "Subject") a.Subject = e.value;
      if (k == "Body") a.Body = e.value;
      if (k == "Server") a.Server = e.value;
      if (k == "Title") a.Title = e.value;
      if (k == "MessageBody") a.MessageBody = e.value;
    } else if (e.section == "Data") {
      if (k == "Text") d.Data = e.value;
    } else if (e.section == "Job") {
      JobData& j = task.Job;
      if (k == "Flags") j.Flags = static_cast<uint32_t>(num(0, kMax32));
      if (k == "Priority") j.Priority = static_cast<uint32_t>(num(0, kMax32));
      if (k == "IdleMinutes") j.IdleMinutes = static_cast<uint16_t>(num(0, 65535));
      if (k == "DeadlineMinutes") j.DeadlineMinutes = static_cast<uint16_t>(num(0, 65535));
      if (k == "MaxRunTime") j.MaxRunTimeMs = static_cast<uint32_t>(num(0, kMax32));
      if (k == "AccountName") j.AccountName = e.value;
      if (k == "HasRecords") j.HasRecords = flag();
      if (k == "WorkItemData" && !FromHex(e.value, &j.WorkItemData)) {
        Damaged(file, e.line, "the work item data is not hexadecimal");
      }
      if (k == "TriggerRecord") {
        std::string bytes;
        if (!FromHex(e.value, &bytes) || bytes.size() != 48) {
          Damaged(file, e.line, "a trigger record is not 48 bytes in hexadecimal");
        }
        TriggerRecordBytes r;
        std::copy(bytes.begin(), bytes.end(), r.begin());
        j.TriggerRecords.push_back(r);
      }
    }
  }
  if (task.Name.empty()) Damaged(file, 1, "it names no task");
  return task;
}

TaskStore::TaskStore(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

std::string TaskStore::DefaultFolder() {
  std::string data = GetAppDataPath();
  return data.empty() ? "" : data + "/Lorvant/scheduler";
}

void TaskStore::MakeFolder() {
  if (folder_.empty())
    throw EServiceError(kErrorNotFound, "No home folder is known to keep tasks in.");
  if (DirectoryExists(folder_)) return;
  // The folders about to be made, so that each goes to the owner.
  std::vector<std::string> made;
  for (std::string f = folder_; !f.empty() && f != "/" && !DirectoryExists(f);) {
    made.push_back(f);
    size_t slash = f.find_last_of('/');
    f = slash == std::string::npos ? "" : f.substr(0, slash);
  }
  int err = ForceFolder(folder_);
  if (err != 0) {
    throw EServiceError(kErrorAccessDenied, "Cannot create the task folder \"" + folder_ +
                                                "\": " + SystemErrorText(err));
  }
  Env::Default()->ChangeModeAt(kCurrentFolder, folder_, 0700);
  for (const std::string& f : made) Own(f);
}

void TaskStore::Own(const std::string& path) {
  if (owner_.uid < 0) return;
  int err = SchedSystem::Default()->ChangeOwner(path, owner_);
  if (err != 0) {
    throw EServiceError(kErrorAccessDenied, "Cannot give \"" + path + "\" to \"" + owner_.name +
                                                "\": " + SystemErrorText(err));
  }
}

UniqueFd TaskStore::Lock() {
  MakeFolder();
  UniqueFd fd;
  int err = Env::Default()->LockFile(folder_ + "/.lock", &fd);
  if (err != 0) {
    throw EServiceError(kErrorAccessDenied,
                        "Cannot lock the task folder \"" + folder_ + "\": " + SystemErrorText(err));
  }
  Own(folder_ + "/.lock");
  return fd;
}

std::string TaskStore::TaskFile(const std::string& name) const {
  return folder_ + "/" + name + kTaskExt;
}
std::string TaskStore::StateFile(const std::string& name) const {
  return folder_ + "/" + name + kStateExt;
}
std::string TaskStore::RunLockFile(const std::string& name) const {
  return folder_ + "/" + name + ".run";
}
std::string TaskStore::LogFile() const { return folder_ + "/runner.log"; }

std::vector<std::string> TaskStore::ListNames() {
  std::vector<std::string> names;
  UniqueFd dir;
  if (Env::Default()->OpenFolder(kCurrentFolder, folder_, true, &dir) != 0) return names;
  std::vector<DirEntry> entries;
  if (Env::Default()->ListFolder(dir.get(), &entries) != 0) return names;
  const size_t ext = sizeof(kTaskExt) - 1;
  for (const DirEntry& e : entries) {
    if (e.is_dir || e.name.size() <= ext || e.name[0] == '.') continue;
    if (e.name.compare(e.name.size() - ext, ext, kTaskExt) != 0) continue;
    names.push_back(e.name.substr(0, e.name.size() - ext));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool TaskStore::Exists(const std::string& name) {
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, TaskFile(name), false);
  return info.exists && !info.is_dir;
}

StoredTask TaskStore::Load(const std::string& name) {
  CheckTaskName(name);
  std::string file = TaskFile(name);
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, file, false);
  if (!info.exists) {
    throw EServiceError(kErrorNotFound, "The task \"" + name + "\" does not exist.");
  }
  if (info.is_symlink || info.is_dir) {
    throw EServiceError(kErrorBadStore, "The stored task file \"" + file + "\" is not a file.");
  }
  StoredTask task = ParseTaskFile(ReadWholeFile(file), file);
  // The file's name is the task's name; a name edited inside the file
  // cannot move the task.
  task.Name = name;
  return task;
}

void TaskStore::Save(const StoredTask& task) {
  CheckTaskName(task.Name);
  MakeFolder();
  WriteFileAtomically(TaskFile(task.Name), FormatTaskFile(task), 0600);
  Own(TaskFile(task.Name));
}

bool TaskStore::Remove(const std::string& name) {
  CheckTaskName(name);
  bool had = Exists(name);
  Env::Default()->RemoveAt(kCurrentFolder, TaskFile(name), false);
  Env::Default()->RemoveAt(kCurrentFolder, StateFile(name), false);
  Env::Default()->RemoveAt(kCurrentFolder, RunLockFile(name), false);
  return had;
}

RunState TaskStore::LoadState(const std::string& name) {
  RunState state;
  std::string file = StateFile(name);
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, file, false);
  if (!info.exists || info.is_symlink || info.is_dir) return state;
  try {
    RunState read;
    for (const Entry& e : ReadEntries(ReadWholeFile(file), kStateHeader, file)) {
      if (e.key == "Running") read.Running = ToBool(e, file);
      if (e.key == "RunningPid") read.RunningPid = ToNumber(e, file, 0, 0x7FFFFFFF);
      if (e.key == "RunningGroup") read.RunningGroup = ToNumber(e, file, 0, 0x7FFFFFFF);
      if (e.key == "StopRequested") read.StopRequested = ToBool(e, file);
      if (e.key == "LastRunTime") read.LastRunTime = ToNumber(e, file, 0, 1LL << 40);
      if (e.key == "LastResult")
        read.LastResult = static_cast<uint32_t>(ToNumber(e, file, 0, 0xFFFFFFFFLL));
      if (e.key == "RegisteredAt") read.RegisteredAt = ToNumber(e, file, 0, 1LL << 40);
      if (e.key == "LastFired") read.LastFired.push_back(ToNumber(e, file, 0, 1LL << 40));
    }
    return read;
  } catch (const Exception&) {
    return state;
  }
}

void TaskStore::SaveState(const std::string& name, const RunState& state) {
  CheckTaskName(name);
  MakeFolder();
  Writer w(kStateHeader);
  w.Put("Running", state.Running);
  w.Put("RunningPid", static_cast<long long>(state.RunningPid));
  w.Put("RunningGroup", static_cast<long long>(state.RunningGroup));
  w.Put("StopRequested", state.StopRequested);
  w.Put("LastRunTime", static_cast<long long>(state.LastRunTime));
  w.Put("LastResult", static_cast<long long>(state.LastResult));
  w.Put("RegisteredAt", static_cast<long long>(state.RegisteredAt));
  for (int64_t fired : state.LastFired) w.Put("LastFired", static_cast<long long>(fired));
  WriteFileAtomically(StateFile(name), w.text(), 0600);
  Own(StateFile(name));
}

}  // namespace lorvant
