// Copies of a block for the inner runs of a recursion (see block_runs.h).
//
// Records name fixed slots, so a block that runs inside itself would have
// its inner run overwrite the outer run's values. Instead, each depth of
// the recursion runs a copy of the block: its records, with every word that
// names one of the block's own slots naming a slot of the copy's own. The
// outer run's values stay where they are, and the frames that the copy's
// calls push name the copy's slots.
//
// Two kinds of block are copied:
// - one whose own slots are just its group of temporaries, numbers and
//   truth values (DecodedBlock::group_only) or texts among them too, alone:
//   the blocks written inside it have slots of their own;
// - one with number or str variables of its own, together with the blocks
//   written inside it, which may name those variables: the block's tree.
//   Each copy of the tree has its own slots for all of the tree's own
//   slots, and its own constants for the blocks inside, holding their
//   copies.
// A tree is copied only where nothing outside it can tell: see closed_tree
// in block_copies.cpp. Any other block sets the outer run's values aside.
#pragma once

#include "decoded.h"
#include "qv.h"

namespace qv {

// The copies' arena bytes, all blocks' together, with the storage that
// their texts keep from one run to the next: past the budget a recursion
// sets the outer run's values aside instead, so that copies never take
// much of the room that a program's own data may need.
constexpr u32 DEFAULT_COPY_BUDGET = 8u << 20;
extern u32 copy_budget;

// A new copy of block b, for the depth after those of the copies it has
// (b.copies): null when it cannot be made (b cannot be copied, the arena
// has no room, or the copies' budget is spent), and the run sets the outer
// run's values aside instead.
const DecodedBlock* block_copy(const DecodedBlock& b);

// Whether nothing outside the tree of b, a block of the code page, can tell
// what its own slots hold: the test that a tree passes to be copied (its
// slots are number and str variables that it declares and groups of
// temporaries; nothing outside it names them or the blocks inside it,
// which it only runs).
bool tree_is_closed(const DecodedBlock& b);

// The decoded copy of a block whose records lie at `blk` in the arena:
// null when no copy lies there.
const DecodedBlock* copy_placed_at(Ref blk);

// Gives the copies' storage back to the arena; blocks make new ones when
// they need them. The program's run is over.
void release_copies();

}  // namespace qv
