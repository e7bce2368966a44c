// Process entry: the application, the window and its drawing widget.
#include <QApplication>

#include "../driver/driver.h"
#include "../driver/executor.h"
#include "picture_file.h"
#include "run_end.h"
#include "stop_signals.h"
#include "twidget.h"
#include "window.h"

int main(int argc, char** argv) {
  using namespace qv;
  catch_stop_signals();  // first: before any thread starts
  choose_platform();
  qInstallMessageHandler(quiet_messages);
  if (argc <= 1) nopars();  // no window needed to say how to call us
  app_argc = argc;
  app_argv = argv;
  // Qt gets only the program name, so that it never takes a QV argument
  // for one of its own options.
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  QWidget top;
  auto* w = new TWidget(&top, nullptr);
  drawwindow = w;
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, Qt::black);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
  w->resize(480, 272);
  w->move(10, 10);
  top.resize(500, 292);
  watch_window_close(&top);
  top.show();
  _a = &app;
  process_events_hook = pump_at_block_entry;
  run_end_hook = save_picture_file;
  return app.exec();
}
