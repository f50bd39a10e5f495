#include <gtest/gtest.h>

#include <QApplication>

// The window's tests need one application object for the whole program.
int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
