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
// Most recursive blocks set nothing aside: their inner runs run copies of
// them, one per depth, each with slots of its own (block_copies.h), and the
// outer run's values stay where they are. The words of the copies' records
// name the copies' slots, so the frames of their calls do too. Only when a
// copy cannot be made does such a block set its values aside.
//
// Blocks without slots of their own, blocks whose steps run no block, and
// blocks that nothing their runs may run can start again (reentry.h) have
// nothing to set aside (see DecodedBlock::owns): their count starts out of
// range, and their entries and ends leave it alone.
#pragma once

#include "decoded.h"
#include "env.h"

namespace qv {

// A run of b starts while another is under way, and no copy for its depth
// is made yet: the block the new run runs, a new copy of b or b itself
// with the outer run's values set aside.
const DecodedBlock* copy_or_set_aside(const DecodedBlock& b);
// A run of b ends with another under way: the outer run's values come
// back.
void give_back(const DecodedBlock& b);

// After a run-time error: releases the values set aside and forgets every
// run under way.
void abandon_runs();

// A run of a block starts or ends: a second run under way runs a copy, or
// sets the first one's values aside and gives them back when it ends. A
// block that owns no state is not counted (its count stays UNCOUNTED):
// most blocks entered are such, and for them one test of a flag does.
// run_begins returns the block that the run runs.
//
// The block's count counts the runs of its copies too. A copy's own count
// is 2 while it runs, as if an inner run of the copy, so that its end takes
// the unlikely branch, where the run is counted off the block.
inline const DecodedBlock* inner_run(const DecodedBlock& b) {
  const u32 depth = b.runs - 2;  // 0 for the first inner run
  if (depth < b.copies.size()) {
    const DecodedBlock* copy = b.copies[depth];
    copy->runs = 2;
    return copy;
  }
  return copy_or_set_aside(b);
}
[[gnu::always_inline]] inline const DecodedBlock* run_begins(const DecodedBlock& b) {
  if (!b.owns) return &b;
  if (b.runs++ != 0) [[unlikely]]
    return inner_run(b);
  b.run_base = callstack.next;
  return &b;
}
[[gnu::always_inline]] inline void run_ends(const DecodedBlock& b) {
  if (!b.owns) return;
  if (--b.runs != 0) [[unlikely]] {
    if (b.home) {  // a copy's run
      b.runs = 0;
      --b.home->runs;
      return;
    }
    give_back(b);
  }
}

}  // namespace qv
