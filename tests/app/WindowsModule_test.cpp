#include "app/WindowsModule.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/RunLorvant.h"
#include "support/TestEnv.h"

extern char** environ;

namespace lorvant {
namespace {

TEST(WindowsModuleTest, IsLookedForBesideTheExecutableThenInItsLibFolder) {
  EXPECT_EQ(WindowsModuleCandidates("/opt/lorvant/bin/Lorvant"),
            (std::vector<std::string>{"/opt/lorvant/bin/lorvant-gui.so",
                                      "/opt/lorvant/bin/../lib/lorvant/lorvant-gui.so"}));
}

// A run from the command line (the scheduler's, a script's) starts without
// loading Qt or the windows at all, nor the HTTP and JPEG libraries that
// only the windows use.
TEST(WindowsModuleTest, ACommandLineRunLoadsNoWindowsLibraries) {
  test::ScopedEnvVar debug("LD_DEBUG", "libs");
  int exit_code = -1;
  const std::string output = test::RunLorvant({"--version"}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_NE(output.find("calling init"), std::string::npos) << "LD_DEBUG said nothing";
  EXPECT_EQ(output.find("libQt6"), std::string::npos);
  EXPECT_EQ(output.find("lorvant-gui"), std::string::npos);
  EXPECT_EQ(output.find("libcurl"), std::string::npos);
  EXPECT_EQ(output.find("libjpeg"), std::string::npos);
}

// Without parameters the program loads its windows' module and shows the
// start page (here drawn offscreen); it is ended once both are mapped.
TEST(WindowsModuleTest, AWindowedRunLoadsTheModuleAndStaysUp) {
  test::ScopedEnvVar platform("QT_QPA_PLATFORM", "offscreen");
  char* args[] = {const_cast<char*>(LORVANT_EXE), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, LORVANT_EXE, nullptr, nullptr, args, environ), 0);
  const std::string maps = "/proc/" + std::to_string(pid) + "/maps";
  bool loaded = false, exited = false;
  int status = 0;
  // Polls until both are mapped; the program has no reason to end by itself.
  for (int i = 0; i < 3000 && !loaded && !exited; ++i) {
    const std::string mapped = test::ReadBytes(maps);
    loaded = mapped.find("lorvant-gui.so") != std::string::npos &&
             mapped.find("libQt6Widgets") != std::string::npos;
    exited = waitpid(pid, &status, WNOHANG) == pid;
    if (!loaded && !exited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  EXPECT_FALSE(exited) << "ended with status " << status;
  EXPECT_TRUE(loaded);
}

}  // namespace
}  // namespace lorvant
