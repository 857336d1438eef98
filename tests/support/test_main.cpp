// Points HOME, the XDG folders and the crontab at a private temporary
// folder before any test runs, and removes it afterwards.
#include <gtest/gtest.h>

#include "support/TestEnv.h"

int main(int argc, char** argv) {
  lorvant::test::PrivateEnvironment environment;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
