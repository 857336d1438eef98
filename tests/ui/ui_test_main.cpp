// The windows' tests: a private home as for every test, and one Qt
// application on the offscreen platform, so no display is needed.
#include <stdlib.h>

#include <gtest/gtest.h>
#include <QApplication>

#include "support/TestEnv.h"

int main(int argc, char** argv) {
  lorvant::test::PrivateEnvironment environment;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
