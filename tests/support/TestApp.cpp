#include "support/TestApp.h"

#include <QApplication>

QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "orvex-test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)application;
  return *qApp;
}
