// Points HOME, the XDG folders and the crontab at a private temporary
// folder before any test runs, and removes it afterwards.
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/TestEnv.h"

int main(int argc, char** argv) {
  const std::string& root = lorvant::test::TestRoot();
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", (root + "/etc-xdg").c_str(), 1);
  ::unsetenv("LORVANT_ENDPOINT");
  // No test reaches a real crontab unless it points this elsewhere itself.
  ::setenv("LORVANT_CRONTAB", (root + "/crontab").c_str(), 1);
  ::unsetenv("LORVANT_RUNNER");
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return rc;
}
