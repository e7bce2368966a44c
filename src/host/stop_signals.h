// The stop signals: flush the program's output, then end as killed.
#pragma once

namespace qv {

// Takes SIGINT, SIGTERM and SIGHUP from now on: blocks them, so that every
// thread started later inherits the mask and only the one thread that
// waits for them takes them. Call first in main, before any other thread
// starts; then make sure that some thread waits (below).
void catch_stop_signals();

// A thread that has done its work may stay to wait for the stop signals,
// which spares the process a thread of its own (each costs about a third
// of a millisecond of a short run): true when the calling thread is now
// the one to wait, and must call wait_for_stop_signals; false when
// another thread waits already, or no signal is caught. A stop signal
// that came while no thread waited ends qvrun in the claim, before the
// caller goes on.
bool claim_stop_waiting();
[[noreturn]] void wait_for_stop_signals();

// Starts a thread that waits for the stop signals, unless one waits
// already (through the claim above). Until some thread waits, a stop
// signal stays pending.
void start_stop_waiter();

}  // namespace qv
