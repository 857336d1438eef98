#include "scheduler/TaskFile.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <type_traits>
#include <vector>

#include "base/TextUtil.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

const char kTaskHeader[] = "# Lorvant scheduled task 1";
const char kStateHeader[] = "# Lorvant task state 1";

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
      std::string byte;
      if (i + 2 >= value.size() || !FromCronHex(value.substr(i + 1, 2), &byte)) return false;
      *out += byte;
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

std::string ToUpperHex(const std::string& bytes) {
  std::string hex = ToCronHex(bytes);
  for (char& c : hex) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return hex;
}

// A number of a file, checked: "" when it is one within [lo, hi], else why.
std::string ReadNumber(const std::string& key, const std::string& v, long long lo, long long hi,
                       long long* n) {
  const char* end = v.data() + v.size();
  auto [stop, ec] = std::from_chars(v.data(), end, *n);
  if (v.empty() || stop != end || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    return "\"" + key + "\" is not a number";
  }
  if (ec == std::errc::result_out_of_range || *n < lo || *n > hi) {
    return "\"" + key + "\" is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) +
           ")";
  }
  return "";
}

// One key of a section: how its value is written from a T and read into
// one; Read returns "" or why the value cannot be read.
template <typename T>
struct Field {
  const char* Key;
  std::function<std::string(const T&)> Write;
  std::function<std::string(T&, const std::string&)> Read;
};

template <typename T, typename Ref>
Field<T> Text(const char* key, Ref ref) {
  return {key, [ref](const T& t) { return std::string(ref(const_cast<T&>(t))); },
          [ref](T& t, const std::string& v) {
            ref(t) = v;
            return std::string();
          }};
}

template <typename T, typename Ref>
Field<T> Number(const char* key, long long lo, long long hi, Ref ref) {
  return {
      key,
      [ref](const T& t) { return std::to_string(static_cast<long long>(ref(const_cast<T&>(t)))); },
      [key, lo, hi, ref](T& t, const std::string& v) {
        long long n = 0;
        std::string problem = ReadNumber(key, v, lo, hi, &n);
        if (problem.empty()) ref(t) = static_cast<std::remove_reference_t<decltype(ref(t))>>(n);
        return problem;
      }};
}

template <typename T, typename Ref>
Field<T> Flag(const char* key, Ref ref) {
  return {key, [ref](const T& t) { return std::string(ref(const_cast<T&>(t)) ? "1" : "0"); },
          [key, ref](T& t, const std::string& v) {
            long long n = 0;
            std::string problem = ReadNumber(key, v, 0, 1, &n);
            if (problem.empty()) ref(t) = n != 0;
            return problem;
          }};
}

template <typename T, typename Ref>
Field<T> Hex(const char* key, Ref ref) {
  return {key, [ref](const T& t) { return ToUpperHex(ref(const_cast<T&>(t))); },
          [key, ref](T& t, const std::string& v) {
            return FromCronHex(v, &ref(t)) ? std::string()
                                           : "\"" + std::string(key) + "\" is not hexadecimal";
          }};
}

// A section and its keys.
template <typename T>
struct Section {
  const char* Name;
  std::vector<Field<T>> Fields;
};

constexpr long long kMax16 = 0xFFFF;
constexpr long long kMax32 = 0xFFFFFFFFLL;
constexpr long long kMaxEpoch = 1LL << 40;

// The task's own sections, in file order: those before the triggers and
// actions, and those after.
const std::vector<Section<StoredTask>>& HeadSections() {
  using S = StoredTask;
  static const std::vector<Section<S>> kSections = {
      {"Task", {Text<S>("Name", [](S& t) -> std::string& { return t.Name; })}},
      {"RegistrationInfo",
       {Text<S>(
            "Description", [](S & t) -> auto& { return t.Definition.Registration.Description; }),
        Text<S>(
            "Author", [](S & t) -> auto& { return t.Definition.Registration.Author; })}},
      {"Principal",
       {Text<S>(
            "UserId", [](S & t) -> auto& { return t.Definition.Principal.UserId; }),
        Number<S>(
            "LogonType", 0, 6, [](S & t) -> auto& { return t.Definition.Principal.LogonType; }),
        Number<S>(
            "RunLevel", 0, 1, [](S & t) -> auto& { return t.Definition.Principal.RunLevel; })}},
      {"Settings",
       {Flag<S>(
            "AllowDemandStart",
            [](S & t) -> auto& { return t.Definition.Settings.AllowDemandStart; }),
        Flag<S>(
            "AllowHardTerminate",
            [](S & t) -> auto& { return t.Definition.Settings.AllowHardTerminate; }),
        Flag<S>(
            "DisallowStartIfOnBatteries",
            [](S & t) -> auto& { return t.Definition.Settings.DisallowStartIfOnBatteries; }),
        Flag<S>(
            "StopIfGoingOnBatteries",
            [](S & t) -> auto& { return t.Definition.Settings.StopIfGoingOnBatteries; }),
        Flag<S>(
            "Enabled", [](S & t) -> auto& { return t.Definition.Settings.Enabled; }),
        Flag<S>(
            "Hidden", [](S & t) -> auto& { return t.Definition.Settings.Hidden; }),
        Flag<S>(
            "RunOnlyIfIdle", [](S & t) -> auto& { return t.Definition.Settings.RunOnlyIfIdle; }),
        Flag<S>(
            "RunOnlyIfNetworkAvailable",
            [](S & t) -> auto& { return t.Definition.Settings.RunOnlyIfNetworkAvailable; }),
        Flag<S>(
            "StartWhenAvailable",
            [](S & t) -> auto& { return t.Definition.Settings.StartWhenAvailable; }),
        Flag<S>(
            "WakeToRun", [](S & t) -> auto& { return t.Definition.Settings.WakeToRun; }),
        Text<S>(
            "ExecutionTimeLimit",
            [](S & t) -> auto& { return t.Definition.Settings.ExecutionTimeLimit; }),
        Text<S>(
            "RestartInterval",
            [](S & t) -> auto& { return t.Definition.Settings.RestartInterval; }),
        Number<S>(
            "RestartCount", 0, 999,
            [](S & t) -> auto& { return t.Definition.Settings.RestartCount; }),
        Text<S>(
            "DeleteExpiredTaskAfter",
            [](S & t) -> auto& { return t.Definition.Settings.DeleteExpiredTaskAfter; }),
        Number<S>(
            "MultipleInstances", 0, 3,
            [](S & t) -> auto& { return t.Definition.Settings.MultipleInstances; }),
        Flag<S>(
            "StopOnIdleEnd",
            [](S & t) -> auto& { return t.Definition.Settings.Idle.StopOnIdleEnd; }),
        Flag<S>(
            "RestartOnIdle",
            [](S & t) -> auto& { return t.Definition.Settings.Idle.RestartOnIdle; }),
        Text<S>(
            "IdleWaitTimeout",
            [](S & t) -> auto& { return t.Definition.Settings.Idle.WaitTimeout; }),
        Text<S>(
            "IdleDuration",
            [](S & t) -> auto& { return t.Definition.Settings.Idle.IdleDuration; })}},
  };
  return kSections;
}

const std::vector<Section<StoredTask>>& TailSections() {
  using S = StoredTask;
  static const std::vector<Section<S>> kSections = {
      {"Data",
       {Text<S>(
           "Text", [](S & t) -> auto& { return t.Definition.Data; })}},
      {"Job",
       {Number<S>(
            "Flags", 0, kMax32, [](S & t) -> auto& { return t.Job.Flags; }),
        Number<S>(
            "Priority", 0, kMax32, [](S & t) -> auto& { return t.Job.Priority; }),
        Number<S>(
            "IdleMinutes", 0, kMax16, [](S & t) -> auto& { return t.Job.IdleMinutes; }),
        Number<S>(
            "DeadlineMinutes", 0, kMax16, [](S & t) -> auto& { return t.Job.DeadlineMinutes; }),
        Number<S>(
            "MaxRunTime", 0, kMax32, [](S & t) -> auto& { return t.Job.MaxRunTimeMs; }),
        Hex<S>(
            "WorkItemData", [](S & t) -> auto& { return t.Job.WorkItemData; }),
        Text<S>(
            "AccountName", [](S & t) -> auto& { return t.Job.AccountName; }),
        Flag<S>(
            "HasRecords", [](S & t) -> auto& { return t.Job.HasRecords; })}},
  };
  return kSections;
}

const Section<TriggerDef>& TriggerSection() {
  using T = TriggerDef;
  static const Section<T> kSection = {
      "Trigger",
      {Number<T>(
           "Type", 0, 11, [](T & t) -> auto& { return t.Type; }),
       Text<T>(
           "Id", [](T & t) -> auto& { return t.Id; }),
       Text<T>(
           "StartBoundary", [](T & t) -> auto& { return t.StartBoundary; }),
       Text<T>(
           "EndBoundary", [](T & t) -> auto& { return t.EndBoundary; }),
       Flag<T>(
           "Enabled", [](T & t) -> auto& { return t.Enabled; }),
       Text<T>(
           "RepetitionInterval", [](T & t) -> auto& { return t.Repetition.Interval; }),
       Text<T>(
           "RepetitionDuration", [](T & t) -> auto& { return t.Repetition.Duration; }),
       Flag<T>(
           "StopAtDurationEnd", [](T & t) -> auto& { return t.Repetition.StopAtDurationEnd; }),
       Number<T>(
           "DaysInterval", 0, kMax16, [](T & t) -> auto& { return t.DaysInterval; }),
       Number<T>(
           "WeeksInterval", 0, kMax16, [](T & t) -> auto& { return t.WeeksInterval; }),
       Number<T>(
           "DaysOfWeek", 0, 0x7F, [](T & t) -> auto& { return t.DaysOfWeek; }),
       Number<T>(
           "DaysOfMonth", 0, kMax32, [](T & t) -> auto& { return t.DaysOfMonth; }),
       Number<T>(
           "MonthsOfYear", 0, 0xFFF, [](T & t) -> auto& { return t.MonthsOfYear; }),
       Number<T>(
           "WeeksOfMonth", 0, 0x1F, [](T & t) -> auto& { return t.WeeksOfMonth; }),
       Flag<T>(
           "RunOnLastWeekOfMonth", [](T & t) -> auto& { return t.RunOnLastWeekOfMonth; }),
       Text<T>(
           "UserId", [](T & t) -> auto& { return t.UserId; }),
       Number<T>(
           "StateChange", 0, 255, [](T & t) -> auto& { return t.StateChange; })}};
  return kSection;
}

const Section<ActionDef>& ActionSection() {
  using A = ActionDef;
  static const Section<A> kSection = {
      "Action",
      {Number<A>(
           "Type", 0, 255, [](A & a) -> auto& { return a.Type; }),
       Text<A>(
           "Id", [](A & a) -> auto& { return a.Id; }),
       Text<A>(
           "Path", [](A & a) -> auto& { return a.Path; }),
       Text<A>(
           "Arguments", [](A & a) -> auto& { return a.Arguments; }),
       Text<A>(
           "WorkingDirectory", [](A & a) -> auto& { return a.WorkingDirectory; }),
       Text<A>(
           "To", [](A & a) -> auto& { return a.To; }),
       Text<A>(
           "From", [](A & a) -> auto& { return a.From; }),
       Text<A>(
           "Subject", [](A & a) -> auto& { return a.Subject; }),
       Text<A>(
           "Body", [](A & a) -> auto& { return a.Body; }),
       Text<A>(
           "Server", [](A & a) -> auto& { return a.Server; }),
       Text<A>(
           "Title", [](A & a) -> auto& { return a.Title; }),
       Text<A>(
           "MessageBody", [](A & a) -> auto& { return a.MessageBody; })}};
  return kSection;
}

// The scalar keys of a state file (the repeated ones are handled apart).
const std::vector<Field<RunState>>& StateFields() {
  using R = RunState;
  static const std::vector<Field<R>> kFields = {
      Flag<R>(
          "Running", [](R & r) -> auto& { return r.Running; }),
      Number<R>(
          "RunningPid", 0, 0x7FFFFFFF, [](R & r) -> auto& { return r.RunningPid; }),
      Number<R>(
          "RunningGroup", 0, 0x7FFFFFFF, [](R & r) -> auto& { return r.RunningGroup; }),
      Flag<R>(
          "StopRequested", [](R & r) -> auto& { return r.StopRequested; }),
      Number<R>(
          "LastRunTime", 0, kMaxEpoch, [](R & r) -> auto& { return r.LastRunTime; }),
      Number<R>(
          "LastResult", 0, kMax32, [](R & r) -> auto& { return r.LastResult; }),
      Number<R>(
          "RegisteredAt", 0, kMaxEpoch, [](R & r) -> auto& { return r.RegisteredAt; })};
  return kFields;
}

class Writer {
 public:
  explicit Writer(const char* header) { text_ = std::string(header) + "\n"; }
  void Section(const char* name) { text_ += std::string("\n[") + name + "]\n"; }
  void Put(const std::string& key, const std::string& value) {
    text_ += key + "=" + Escape(value) + "\n";
  }
  template <typename T>
  void Fields(const std::vector<Field<T>>& fields, const T& value) {
    for (const Field<T>& f : fields) Put(f.Key, f.Write(value));
  }
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

// Reads entry e into value through the field of its key, if there is one;
// true when the key was found.
template <typename T>
bool ReadField(const std::vector<Field<T>>& fields, const Entry& e, T& value,
               const std::string& file) {
  for (const Field<T>& f : fields) {
    if (e.key != f.Key) continue;
    std::string problem = f.Read(value, e.value);
    if (!problem.empty()) Damaged(file, e.line, problem);
    return true;
  }
  return false;
}

}  // namespace

std::string FormatTaskFile(const StoredTask& task) {
  Writer w(kTaskHeader);
  for (const Section<StoredTask>& s : HeadSections()) {
    w.Section(s.Name);
    w.Fields(s.Fields, task);
  }
  for (const TriggerDef& t : task.Definition.Triggers) {
    w.Section(TriggerSection().Name);
    w.Fields(TriggerSection().Fields, t);
  }
  for (const ActionDef& a : task.Definition.Actions) {
    w.Section(ActionSection().Name);
    w.Fields(ActionSection().Fields, a);
  }
  for (const Section<StoredTask>& s : TailSections()) {
    w.Section(s.Name);
    w.Fields(s.Fields, task);
  }
  for (const TriggerRecordBytes& r : task.Job.TriggerRecords) {
    w.Put("TriggerRecord", ToUpperHex(std::string(r.begin(), r.end())));
  }
  return w.text();
}

StoredTask ParseTaskFile(const std::string& text, const std::string& file) {
  StoredTask task;
  TaskDefinitionData& d = task.Definition;
  for (const Entry& e : ReadEntries(text, kTaskHeader, file)) {
    if (e.key.empty()) {
      if (e.section == TriggerSection().Name) d.Triggers.emplace_back();
      if (e.section == ActionSection().Name) d.Actions.emplace_back();
      continue;
    }
    if (e.section == TriggerSection().Name) {
      ReadField(TriggerSection().Fields, e, d.Triggers.back(), file);
      continue;
    }
    if (e.section == ActionSection().Name) {
      ReadField(ActionSection().Fields, e, d.Actions.back(), file);
      continue;
    }
    if (e.section == "Job" && e.key == "TriggerRecord") {
      std::string bytes;
      if (!FromCronHex(e.value, &bytes) || bytes.size() != 48) {
        Damaged(file, e.line, "a trigger record is not 48 bytes in hexadecimal");
      }
      TriggerRecordBytes r;
      std::copy(bytes.begin(), bytes.end(), r.begin());
      task.Job.TriggerRecords.push_back(r);
      continue;
    }
    for (const auto* sections : {&HeadSections(), &TailSections()}) {
      for (const Section<StoredTask>& s : *sections) {
        if (e.section == s.Name) ReadField(s.Fields, e, task, file);
      }
    }
  }
  if (task.Name.empty()) Damaged(file, 1, "it names no task");
  return task;
}

std::string FormatStateFile(const RunState& state) {
  Writer w(kStateHeader);
  w.Fields(StateFields(), state);
  for (int64_t fired : state.LastFired) w.Put("LastFired", std::to_string(fired));
  for (int64_t pid : state.QueuedPids) w.Put("QueuedPid", std::to_string(pid));
  return w.text();
}

RunState ParseStateFile(const std::string& text, const std::string& file) {
  RunState state;
  for (const Entry& e : ReadEntries(text, kStateHeader, file)) {
    if (ReadField(StateFields(), e, state, file)) continue;
    long long n = 0;
    std::string problem;
    if (e.key == "LastFired") {
      problem = ReadNumber(e.key, e.value, 0, kMaxEpoch, &n);
      state.LastFired.push_back(n);
    } else if (e.key == "QueuedPid") {
      problem = ReadNumber(e.key, e.value, 0, 0x7FFFFFFF, &n);
      state.QueuedPids.push_back(n);
    }
    if (!problem.empty()) Damaged(file, e.line, problem);
  }
  return state;
}

}  // namespace lorvant
