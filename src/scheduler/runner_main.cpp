// lorvant-runner: what cron, the desktop's autostart entry and demand
// starts call to run a scheduled task, plus a few commands to schedule,
// show and remove a task from a shell.
#include <cstdio>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerCli.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskRunner.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  lorvant-runner fire STORE TASK TRIGGER   run TASK when its trigger is due (cron)\n"
    "  lorvant-runner event logon|boot STORE    run the tasks of an event\n"
    "  lorvant-runner now STORE TASK            run TASK now\n"
    "  lorvant-runner schedule TASK WHEN PROGRAM [ARGUMENTS [FOLDER]]\n"
    "                                           WHEN is \"next-minute\" or yyyy-mm-ddThh:nn\n"
    "  lorvant-runner show TASK                 state, last run, exit code, next run\n"
    "  lorvant-runner remove TASK               delete TASK and its crontab lines\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[0] == "fire") {
      lorvant::SchedulerService service(args[1]);
      return lorvant::TaskRunner(&service).Fire(args[2], std::stoi(args[3]));
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
