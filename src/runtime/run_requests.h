// What the host asks of a run from outside the program, and the entry
// points the command-line driver lends to the host. The window and the
// event pump sit below the driver, so they reach it only through these.
#pragma once

#include "qv.h"

namespace qv {

// A request from outside the program to end the run (its window closed,
// the display gone): the code that the stop it raised reports instead of
// "STOP operation executed". 0 when nothing asked.
extern u32 run_end_code;

// Called once as the process ends, before output is flushed (the host
// writes its picture file here). May be null.
extern void (*run_end_hook)();

// Set by the driver. end_run_now ends the run at once with a run-time
// error of `code` and no location, from a place that knows no record (the
// toolkit's own exit path); it never returns. run_driver compiles or loads
// and runs the program of the command line (the window runs it from its
// first paint).
extern void (*end_run_now)(u32 code);
extern int (*run_driver)(int argc, char** argv);

}  // namespace qv
