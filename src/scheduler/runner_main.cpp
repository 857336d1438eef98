// lorvant-runner: what cron, the desktop's autostart entry and demand
// starts call to run a scheduled task, plus a few commands to schedule,
// show and remove a task from a shell.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerCli.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskRunner.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  lorvant-runner fire STORE TASK TRIGGER   run TASK when its trigger is due (cron)\n"
    "  lorvant-runner fire-hex STORE TASK TRIGGER\n"
    "                                           the same, STORE and TASK in hexadecimal\n"
    "  lorvant-runner event logon|boot STORE    run the tasks of an event\n"
    "  lorvant-runner now STORE TASK            run TASK now\n"
    "  lorvant-runner schedule TASK WHEN PROGRAM [ARGUMENTS [FOLDER]]\n"
    "                                           WHEN is \"next-minute\" or yyyy-mm-ddThh:nn\n"
    "  lorvant-runner show TASK                 state, last run, exit code, next run\n"
    "  lorvant-runner remove TASK               delete TASK and its crontab lines\n";

// The trigger number of a crontab line; -1 when it is not one.
int TriggerIndex(const std::string& text) {
  int index = -1;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (ec != std::errc() || end != text.data() + text.size() || index < 0) return -1;
  return index;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && (args[0] == "fire" || args[0] == "fire-hex")) {
      std::string store = args[1], task = args[2];
      int index = TriggerIndex(args[3]);
      if (args[0] == "fire-hex" &&
          (!lorvant::FromCronHex(args[1], &store) || !lorvant::FromCronHex(args[2], &task))) {
        index = -1;
      }
      if (index < 0) {
        std::fprintf(stderr, "The crontab line's words \"%s\" \"%s\" \"%s\" are not a task's.\n",
                     args[1].c_str(), args[2].c_str(), args[3].c_str());
        return 2;
      }
      lorvant::SchedulerService service(store);
      return lorvant::TaskRunner(&service).Fire(task, index);
    }
    if (args.size() == 3 && args[0] == "event") {
      lorvant::SchedulerService service(args[2]);
      return lorvant::TaskRunner(&service).Event(args[1]);
    }
    if (args.size() == 3 && args[0] == "now") {
      lorvant::SchedulerService service(args[1]);
      return lorvant::TaskRunner(&service).RunNow(args[2]);
    }
    if (!args.empty() && (args[0] == "schedule" || args[0] == "show" || args[0] == "remove")) {
      std::string out;
      int rc = lorvant::RunSchedulerCommand(args, &out);
      std::fputs(out.c_str(), rc == 0 ? stdout : stderr);
      return rc;
    }
  } catch (const lorvant::Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
