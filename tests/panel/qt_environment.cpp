// The test binary's own main: one QApplication for every test, drawing off screen unless told
// otherwise.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tonvisor"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
