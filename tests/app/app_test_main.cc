// app_tests' entry: GoogleTest with a QApplication. Listing the tests (as the build does to
// discover them) needs no display, so the application starts only when tests run.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QApplication application(argc, argv);
  // Tests close windows and open new ones; the application must not end in between.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
