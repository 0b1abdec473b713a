#include <gtest/gtest.h>

#include <QApplication>

#include "platform/picture.h"
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Zentor");
  zentor::ReleaseVectorUpperState();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
