// Keyboard handling and event processing: the key handler block, the key
// code, and the event pump that programs and the executor call. The window
// library delivers the events; without it there are none.
#include <cstdio>
#include <optional>

#include "../runtime/errmess.h"
#include "../runtime/executor.h"
#include "../runtime/handlers.h"
#include "../runtime/run_requests.h"
#include "run_end.h"
#include "window_ops.h"

namespace qv {

Ref anykeyevent = 0;        // slot that holds the key handler block
signed char keypressed = 0;
int keyprocessing = 0;

namespace {
// An error inside the key handler cannot travel through the toolkit's
// event dispatch; it waits here and goes on once the pump returns.
std::optional<RunError> key_error;

bool stop_raised = false;  // the executor was asked to stop at its next record
}  // namespace

void processevents() {
  // A program that waits for keys shows what it printed first.
  std::fflush(stdout);
  if (window_ops && !run_end_code) window_ops->pump();
  if (key_error) {
    RunError e = *key_error;
    key_error.reset();
    throw e;
  }
}

void key_typed(signed char key) {
  if (keyprocessing || key_error) return;
  keyprocessing = 1;
  if (!anykeyevent) {
    keyprocessing = 0;
    return;
  }
  keypressed = key;
  // The handler runs inside the interrupted program, which may be leaving
  // a block with a level pending (events are processed as blocks start):
  // that level waits, the handler runs to its end, and a level that the
  // handler leaves behind ends with it.
  const RunSignals interrupted = run_signals;
  brk_level = cont_level = 0;
  try {
    // Run as the executor runs a block slot: a handler that cannot start
    // (its variable was deleted with the block that declared it, or the
    // nesting is at its limit) ends the run as an error inside it would,
    // rather than dropping keys unseen.
    _execute(S(anykeyevent));
  } catch (const RunError& e) {
    key_error = e;
  }
  brk_level = interrupted.brk_level;
  cont_level = interrupted.cont_level;
  keyprocessing = 0;
}

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
