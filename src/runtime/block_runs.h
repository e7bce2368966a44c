// Runs of one block that overlap: recursion through "call", or a block
// that runs itself by any other way. Records name fixed slots, so every run
// of a block uses the same temporaries and named variables. When a block
// starts while a run of it is under way, the outer run's slots (and the
// parameter words its element records rewrote) are set aside, and the new
// run starts with empty ones; when the inner run ends, whichever way, the
// outer run's values come back. A frame of the parameter stack that names
// a slot set aside follows it to where it is kept, so that the arguments
// and result of the outer run's calls stay reachable ("par#", "par@",
// "return") while the inner run uses the slots.
//
// Blocks without slots of their own (see DecodedBlock::owns) have nothing
// to set aside: their count starts out of range, and recursion costs them
// nothing beyond the count.
#pragma once

#include "decoded.h"
#include "env.h"

namespace qv {

void set_aside(const DecodedBlock& b);
void give_back(const DecodedBlock& b);

// After a run-time error: releases the values set aside and forgets every
// run under way.
void abandon_runs();

// A run of a block starts or ends: a second run under way sets the first
// one's values aside, and gives them back when it ends. A block that owns
// no state is not counted (its count stays UNCOUNTED): most blocks entered
// are such, and for them one test of a flag does.
inline void run_begins(const DecodedBlock& b) {
  if (!b.owns) return;
  if (b.runs++ != 0) [[unlikely]]
    set_aside(b);
  else
    b.run_base = callstack.next;
}
inline void run_ends(const DecodedBlock& b) {
  if (!b.owns) return;
  if (--b.runs != 0) [[unlikely]] give_back(b);
}

}  // namespace qv
