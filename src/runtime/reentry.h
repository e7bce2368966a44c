// Whether a block can start again while a run of it is under way. Only
// such a block, when it has slots of its own, counts its runs and sets an
// outer run's values aside (DecodedBlock::owns, block_runs.h); every other
// block leaves its count alone, which saves the entry and the end of each
// of its runs the count's upkeep.
//
// A run starts inside another only through a block that its steps run, or
// through the key handler's block, which runs where events are processed.
// So a block of the code page cannot start inside itself when no block of
// the program processes events and every block that its runs may run is
// named by a constant, none of them the block itself; the blocks chosen at
// run time (a variable's, a parameter's, an element's) may be any.
#pragma once

#include "qv.h"

namespace qv {

bool may_start_inside_itself(Ref blk);

// The block that word w names when it is a block constant's (END_BLOCK for
// the empty block); 0 for a block known only at run time.
Ref constant_block(Ref w);

// Forgets what the looks found: the code page is about to change.
void forget_reentry();

}  // namespace qv
