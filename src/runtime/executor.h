// The executor: runs the blocks of the code page (see executor.cpp).
#pragma once

#include "qv.h"

namespace qv {

// Call record layout: position(4) handler(4) count(1) extra(1) result(4) params(4n).
constexpr u32 REC_POS = 0, REC_HANDLER = 4, REC_COUNT = 8, REC_EXTRA = 9,
              REC_RESULT = 10, REC_PARAMS = 14;
inline u32 rec_size(const u8* rec) { return REC_PARAMS + 4u * rec[REC_COUNT]; }

// Run-time switches.
using BlockRunner = void (*)(VarEntry* slot);
extern BlockRunner _execute;
// The levels and the stop request share one 64-bit word, so that the
// executor tests all three with one load after each record. The levels
// are -1 (a "return"), 0 or 1.
struct RunSignals {
  i16 brk_level;
  i16 cont_level;
  u32 on_stop;
};
extern RunSignals run_signals;
inline i16& brk_level = run_signals.brk_level;
inline i16& cont_level = run_signals.cont_level;
inline u32& on_stop = run_signals.on_stop;
// Whether any field of a record of switches that fills one 64-bit word is
// set: one load, where testing the fields would take one each.
template <class Switches>
inline bool any_set(const Switches& s) {
  static_assert(sizeof(Switches) == sizeof(u64));
  u64 word;
  std::memcpy(&word, &s, sizeof word);
  return word != 0;
}
// Non-zero when a level or a stop is pending.
inline bool signal_pending() { return any_set(run_signals); }
// The two switches that make block entry do more than walk the records
// (trace output, event processing) share one 64-bit word, so that a loop
// tests both with one load per round.
struct RunModes {
  u32 tracing_on;
  u32 processkeys;
};
extern RunModes run_modes;
inline u32& _tracing_on = run_modes.tracing_on;
inline u32& doprocesskeys = run_modes.processkeys;
inline bool special_mode() { return any_set(run_modes); }
extern u32 _tracing_int;
extern u32 _trace_stop;
using TraceHook = void (*)(Ref position, const u8* record, int first);
extern TraceHook _trace_hook;
extern u64 _opcount;

// Blocks entered and not yet done; deeper runs end with error 53.
constexpr u32 MAX_BLOCK_DEPTH = 3000;
u32 exec_depth();
// Forgets every block entered: a run ended in an error, which left them
// all at once.
void forget_entries();

// Blocks enter one another inside the executor's loop, at no native cost,
// but a handler that runs blocks from outside it (a key handler's block,
// run while events are processed at a block's entry) starts the loop
// natively. Such a start tests the native stack: below stack_floor, which
// lies NATIVE_STACK_RESERVE above the stack's end, it fails with 53, so the
// limit holds on any stack the system gives.
constexpr u32 NATIVE_STACK_RESERVE = 160 * 1024;
extern std::uintptr_t stack_floor;
// The stack pointer is read from the address of a local rather than the
// frame address, which would cost a register for a frame pointer.
[[gnu::always_inline]] inline bool native_stack_low() {
  char probe;
  asm("" : : "r"(&probe));  // the local must have an address on the stack
  return reinterpret_cast<std::uintptr_t>(&probe) < stack_floor;
}
// Finds the native stack's end and sets stack_floor (0 when unknown).
void measure_native_stack();

// The event pump that block entry calls when doprocesskeys is set (set by
// the host; may be null in tests).
extern void (*process_events_hook)();

#ifdef QV_FUZZ
// Fuzzing builds end a run (error 1) after this many steps, records run
// and blocks entered, counted from the start of execute(), so that endless
// programs cannot stall the fuzzer. A count of blocks entered catches
// loops over empty bodies, which run no record. 0: no limit.
extern u64 run_step_limit;
extern u64 fuzz_steps_run;
#endif

// A run-time error on its way back to execute().
struct RunError { u32 code; };

// Runs the program: the main block, the first constant. 0, or the code of
// the run-time error that ended it.
u32 execute(int trace);
// Puts every run-time switch back at rest, so that a second program can run
// in the same process (tests and fuzzing; the driver runs one per process).
void reset_run_state();
// Run the block of a slot, plain or traced; `_execute` names the one in use.
void _executor(VarEntry* slot);
void _exectrace(VarEntry* slot);
void trace_line(Ref position, const u8* record, int first);
[[noreturn]] void execerror(u32 code);

}  // namespace qv
