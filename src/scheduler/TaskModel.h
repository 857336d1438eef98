// The scheduler service's data: a task definition as the second generation
// sees it (registration info, settings, principal, triggers, actions, data),
// the first generation's extra work-item values with its 48-byte trigger
// records, and the run state the runner records. Plain values; the store
// writes them, the service objects hand them out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lorvant {

// Service trigger type codes.
enum ServiceTriggerType : int {
  kTriggerEvent = 0,
  kTriggerTime = 1,
  kTriggerDaily = 2,
  kTriggerWeekly = 3,
  kTriggerMonthly = 4,
  kTriggerMonthlyDow = 5,
  kTriggerIdle = 6,
  kTriggerRegistration = 7,
  kTriggerBoot = 8,
  kTriggerLogon = 9,
  kTriggerSessionStateChange = 11,
};

// Service action type codes.
enum ServiceActionType : int {
  kActionExec = 0,
  kActionComHandler = 5,
  kActionEmail = 6,
  kActionShowMessage = 7,
};

struct RepetitionPattern {
  std::string Interval;  // ISO 8601 duration; "" for none
  std::string Duration;  // ISO 8601 duration; "" for indefinitely
  bool StopAtDurationEnd = false;
};

// One service trigger; the fields that a kind does not use stay at their
// defaults.
struct TriggerDef {
  int Type = kTriggerTime;
  std::string Id;
  std::string StartBoundary;  // "yyyy-mm-ddThh:nn:ss", local time
  std::string EndBoundary;
  bool Enabled = true;
  RepetitionPattern Repetition;
  int DaysInterval = 1;      // daily
  int WeeksInterval = 1;     // weekly
  int DaysOfWeek = 0;        // weekly, monthly by weekday: bit 0 Sunday
  uint32_t DaysOfMonth = 0;  // monthly: bit d-1 for day d
  int MonthsOfYear = 0;      // monthly kinds: bit m-1 for month m
  int WeeksOfMonth = 0;      // monthly by weekday: bits 0-3 first-fourth, 4 last
  bool RunOnLastWeekOfMonth = false;
  std::string UserId;   // logon and session triggers
  int StateChange = 0;  // session triggers
};

struct ActionDef {
  int Type = kActionExec;
  std::string Id;
  std::string Path, Arguments, WorkingDirectory;  // run a program
  std::string To, From, Subject, Body, Server;    // e-mail
  std::string Title, MessageBody;                 // message
};

struct IdleSettings {
  bool StopOnIdleEnd = true;
  bool RestartOnIdle = false;
  std::string WaitTimeout = "PT1H0M";
  std::string IdleDuration = "PT10M";
};

struct TaskSettings {
  bool AllowDemandStart = true;
  bool AllowHardTerminate = true;
  bool DisallowStartIfOnBatteries = true;
  bool StopIfGoingOnBatteries = true;
  bool Enabled = true;
  bool Hidden = false;
  bool RunOnlyIfIdle = false;
  bool RunOnlyIfNetworkAvailable = false;
  bool StartWhenAvailable = false;
  bool WakeToRun = false;
  std::string ExecutionTimeLimit = "P3D";
  std::string RestartInterval;
  int RestartCount = 0;
  std::string DeleteExpiredTaskAfter;
  int MultipleInstances = 2;  // 0 parallel, 1 queue, 2 ignore new, 3 stop existing
  IdleSettings Idle;
};

struct PrincipalInfo {
  std::string UserId;
  int LogonType = 3;  // 1 password, 3 interactive token, 5 service account
  int RunLevel = 0;   // 0 least privileges, 1 highest ("Run with highest privileges")
};

struct RegistrationInfo {
  std::string Description;
  std::string Author;
};

struct TaskDefinitionData {
  RegistrationInfo Registration;
  TaskSettings Settings;
  PrincipalInfo Principal;
  std::vector<TriggerDef> Triggers;
  std::vector<ActionDef> Actions;
  std::string Data;  // free text
};

using TriggerRecordBytes = std::array<uint8_t, 48>;

// What only the first generation keeps of a work item.
struct JobData {
  uint32_t Flags = 0;
  uint32_t Priority = 0x20;
  uint16_t IdleMinutes = 10;
  uint16_t DeadlineMinutes = 60;
  uint32_t MaxRunTimeMs = 259200000;  // three days
  std::string WorkItemData;           // bytes
  std::string AccountName;
  std::vector<TriggerRecordBytes> TriggerRecords;
  bool HasRecords = false;  // the records were written by the first generation
};

// The service's registered-task states.
enum TaskState : int {
  kStateUnknown = 0,
  kStateDisabled = 1,
  kStateQueued = 2,
  kStateReady = 3,
  kStateRunning = 4,
};

// What the runner records; kept apart from the definition, so recording a
// run never rewrites what the user wrote.
struct RunState {
  bool Running = false;
  int64_t RunningPid = 0;
  int64_t RunningGroup = 0;          // process group of the action that runs now
  bool StopRequested = false;        // a newer run asked this one to end
  std::vector<int64_t> QueuedPids;   // runners whose start waits its turn (queue policy)
  int64_t LastRunTime = 0;           // seconds since the epoch; 0 never ran
  uint32_t LastResult = 0x00041303;  // has not run
  int64_t RegisteredAt = 0;          // seconds since the epoch
  std::vector<int64_t> LastFired;    // per trigger: the occurrence last run
};

// A whole stored task.
struct StoredTask {
  std::string Name;
  TaskDefinitionData Definition;
  JobData Job;
};

}  // namespace lorvant
