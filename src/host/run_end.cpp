// Ends of a run that come from the window system rather than the program:
// the user closes the window, or the display server goes away. Either way
// the program's output so far is kept and the run ends with a report of
// the system's own kind, at the place where it stood.
#include "run_end.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "../driver/driver.h"
#include "../driver/errmess.h"
#include "../driver/executor.h"
#include "window.h"

namespace qv {

namespace {

bool stop_raised = false;  // the executor was asked to stop at its next record

// Sees the close of the top-level window. The window still closes: the
// run notices at its next event processing.
class CloseWatch : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close && !run_end_code) run_end_code = E_WINDOW_CLOSED;
    return false;
  }
};

}  // namespace

void watch_window_close(QWidget* top) { top->installEventFilter(new CloseWatch(top)); }

void note_display_lost() {
  if (!run_end_code) run_end_code = E_DISPLAY_LOST;
}

// Block entry knows no record, so the stop travels as "stop" does and the
// executor reports it at the record that runs next (the driver turns its
// code into run_end_code). A block that runs no record never looks at the
// stop: the next block entry ends the run without a location.
void pump_at_block_entry() {
  processevents();
  if (!run_end_code) return;
  if (stop_raised) {
    on_stop = 0;
    execerror(run_end_code);
  }
  stop_raised = true;
  on_stop = 1;
}

bool display_lost_message(const QString& msg) {
  return msg.contains(QLatin1String("X11 connection broke"));
}

}  // namespace qv
