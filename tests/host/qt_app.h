// One application object for the host tests of a process, on the offscreen
// platform unless the environment chose another.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace qvtest {

inline QApplication& test_app() {
  static int argc = 1;
  static char name[] = "qv_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = (setenv("QT_QPA_PLATFORM", "offscreen", 0), new QApplication(argc, argv));
  return *app;
}

// Base of fixtures with Qt paint devices as members: bases are built first.
struct WithApp {
  WithApp() { test_app(); }
};

}  // namespace qvtest
