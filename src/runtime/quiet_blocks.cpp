// Blocks whose runs end only at their end (see quiet_blocks.h).
#include "quiet_blocks.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "arena.h"
#include "decoded.h"
#include "env.h"
#include "executor.h"
#include "handlers.h"
#include "reentry.h"

namespace qv {

namespace {

// The rooms found so far, by the blocks' places; LOOKING while a block's
// tree is looked at, so that a tree that runs itself (only a damaged
// program file's can) is found not quiet.
constexpr u32 LOOKING = ~0u;
std::unordered_map<Ref, u32> rooms;

// Whether a record may end a run of its block early, or make the run of
// the blocks below it anything but plain: a level or a stop, tracing,
// events (whose key handler may run any block), a call (whose frame and
// "return" are the called block's business), and an element record, which
// may point a later record's word at any slot.
bool loud(u32 handler) {
  switch (handler) {
    case H_l_break: case H_l_brkif: case H_l_cont: case H_l_contif:
    case H_l_return: case H_l_stop: case H_l_trace: case H_l_processevents:
    case H_l_bl_call: case H__arrdynelem:
      return true;
    default:
      return false;
  }
}

u32 room_of(Ref blk, u32 depth) {
  if (blk == END_BLOCK) return 1;
  const auto found = rooms.find(blk);
  if (found != rooms.end()) return found->second == LOOKING ? 0 : found->second;
  // (A tree deeper than the nesting limit never runs without failing.)
  if (depth > MAX_BLOCK_DEPTH) return 0;
  rooms[blk] = LOOKING;
  std::vector<const u8*> recs;
  u32 room = code_page_records(blk, recs) ? 1 : 0;
  for (size_t i = 0; i < recs.size() && room; ++i) {
    const u8* const rec = recs[i];
    const u32 h = rd32(rec + REC_HANDLER);
    if (loud(h)) {
      room = 0;
      break;
    }
    const Step::Kind kind = handler_kind(h);
    if (!enters_blocks(kind)) continue;
    for (u32 p = 0; p < rec[REC_COUNT] && room; ++p) {
      if (!runs_block_at(kind, p)) continue;
      const Ref inner = constant_block(par_ref(rec + REC_PARAMS, p));
      const u32 r = inner ? room_of(inner, depth + 1) : 0;
      room = r ? std::max(room, r + 1) : 0;
    }
  }
  if (room > MAX_BLOCK_DEPTH) room = 0;
  rooms[blk] = room;
  return room;
}

}  // namespace

u32 quiet_room(Ref blk) { return room_of(blk, 0); }

void forget_quiet_rooms() { rooms.clear(); }

}  // namespace qv
