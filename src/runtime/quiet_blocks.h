// Blocks whose runs end only at their end, or in an error that ends the
// whole run of the program: no record of them, nor of the blocks they
// run, sets a level or a stop, switches tracing, processes events or
// calls a block, and every block they run is a constant's. Only their
// records' effects on slots can tell anything about such a run.
//
// An "if" that is the last step of a block that an "if" entered ends that
// block before it runs such a block, and the block it runs goes back
// straight to the outer "if" (IF_TAIL): an else-if ladder climbs back one
// level instead of one per "if". The block that ended counted its records
// already, which is right only because no level can leave the inner one
// early; its group was renewed already, which no record of the inner
// blocks can see (a block's records name its own temporaries; a block with
// named variables ends with their deletion after the "if", and one whose
// group holds texts, whose renewal may fail, is left to end after it); and
// the stack of places holds fewer entries, which the room below keeps from
// showing.
#pragma once

#include "qv.h"

namespace qv {

// How many places a run of the block at `blk` takes on the stack of places
// at most, its own included, as an "if" that enters it counts them: the
// room that must be free for no run of the tree to fail for the nesting
// limit. 0 when the block's runs are not quiet as above, or it lies
// outside the code page.
u32 quiet_room(Ref blk);
// The room that an "if" makes sure of before it ends its block first: a
// tree that takes more is not worth the look (see DecodedBlock::quiet).
constexpr u32 MAX_QUIET_ROOM = 64;

// Forgets what the looks found: the code page is about to change.
void forget_quiet_rooms();

}  // namespace qv
