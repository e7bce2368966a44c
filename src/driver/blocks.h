// Blocks as values, the loop levels and the block parameter stack.
//
// A "call" pushes one frame onto callstack, bottom to top:
//   argument slots (first argument lowest), the result slot (0 when the
//   call's value is not used), n = number of the record's parameters.
// callstack.next addresses the top word. The word at callstack.base is 0 and
// never written, so a top word of 0 means that no call is active. With a
// call active, argument i lies n - i words below the top and the result slot
// one word below it.
#pragma once

#include "qv.h"

namespace qv {

// Number of active "call"s.
extern u16 block_nesty;
constexpr u32 MAX_CALL_NESTING = 65535;

// After one iteration of a loop: 1 when the loop must stop (a level is
// consumed or passed outward), 0 when it goes on.
u32 _brk_cont();

// Pushes one word onto the parameter stack: 1, or 0 with error 3.
u32 _push_var(u32 word);

// Runs a block held in a block slot; fails with 60 on a slot that holds no
// value, and with 53 when the executor is nested too deeply.
u32 run_block_slot(VarEntry* slot);

}  // namespace qv
