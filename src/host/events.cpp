// Keyboard handling and event processing: the key handler block, the key
// code, and the event pump that programs and the executor call.
#include <QApplication>
#include <QKeyEvent>
#include <cstdio>
#include <optional>

#include "../driver/executor.h"
#include "../driver/driver.h"
#include "../driver/handlers.h"
#include "run_end.h"
#include "twidget.h"
#include "window.h"

namespace qv {

Ref anykeyevent = 0;        // slot that holds the key handler block
signed char keypressed = 0;
int keyprocessing = 0;

namespace {
// An error inside the key handler cannot travel through Qt's event
// dispatch; it waits here and goes on once the pump returns.
std::optional<RunError> key_error;
}  // namespace

void processevents() {
  // A program that waits for keys shows what it printed first.
  std::fflush(stdout);
  // The toolkit ends the process itself when it finds the display gone;
  // the run ends here first, with its report.
  if (_a && !run_end_code) {
    if (display_connection_broken())
      note_display_lost();
    else
      QApplication::processEvents();
  }
  if (key_error) {
    RunError e = *key_error;
    key_error.reset();
    throw e;
  }
}

void TWidget::keyPressEvent(QKeyEvent* event) {
  if (event->type() != QEvent::KeyPress) return;
  if (keyprocessing || key_error) return;
  keyprocessing = 1;
  if (!anykeyevent) {
    keyprocessing = 0;
    return;
  }
  QByteArray text = event->text().toLatin1();
  keypressed = text.isEmpty() ? 0 : static_cast<signed char>(text.at(0));
  u32 handler_slot = anykeyevent;
  u32 ok = 0;
  try {
    ok = l_bl_exec(0, reinterpret_cast<const u8*>(&handler_slot), 1);
  } catch (const RunError& e) {
    key_error = e;
  }
  brk_level = ok ? 0 : 1;
  keyprocessing = 0;
}

u32 l_onanykeysetevent(Ref, const u8* params, u32) {
  anykeyevent = par_ref(params, 0);
  return 1;
}

u32 l_kbcode(Ref result, const u8*, u32) {
  if (result) S(result)->value = static_cast<u32>(static_cast<i32>(keypressed));
  return 1;
}

u32 l_processevents(Ref result, const u8* params, u32 count) {
  if (result) S(result)->value = doprocesskeys;
  if ((count & 0xFF) >= 1)
    doprocesskeys = P(params, 0)->value;
  else
    processevents();
  // The window closed or the display went: the run ends at this call.
  if (run_end_code) return fail(run_end_code);
  return 1;
}

}  // namespace qv
