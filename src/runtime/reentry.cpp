// Which blocks can start again while a run of them is under way (see
// reentry.h).
#include "reentry.h"

#include <vector>

#include "arena.h"
#include "decoded.h"
#include "env.h"
#include "executor.h"
#include "handlers.h"

namespace qv {

namespace {

// Whether a block of the program may process events: looked at once per
// program, on the first question.
enum class Events : u8 { UNKNOWN, NONE, POSSIBLE };
Events events = Events::UNKNOWN;

// Every block of a compiled program is a constant's, the program's own
// block first. A record that cannot be read counts as one that processes
// events.
bool program_processes_events() {
  std::vector<const u8*> recs;
  for (Ref c = cnstable.base; c < cnstable.next; c += sizeof(VarEntry)) {
    const Ref blk = constant_block(c);
    if (!blk || blk == END_BLOCK) continue;
    recs.clear();
    if (!code_page_records(blk, recs)) return true;
    for (const u8* rec : recs)
      if (rd32(rec + REC_HANDLER) == H_l_processevents) return true;
  }
  return false;
}

bool events_possible() {
  if (events == Events::UNKNOWN)
    events = program_processes_events() ? Events::POSSIBLE : Events::NONE;
  return events == Events::POSSIBLE;
}

}  // namespace

Ref constant_block(Ref w) {
  if (!table_slot(cnstable, w)) return 0;
  const VarEntry* v = S(w);
  if (v->type != TY_BLOCK || (v->flags & (V_CONST | V_EMPTY)) != V_CONST) return 0;
  if (v->value != END_BLOCK && !(v->flags & V_CODE)) return 0;  // (not compiled)
  return v->value;
}

bool may_start_inside_itself(Ref blk) {
  const u32 span = codepage.end - codepage.base;
  if (blk - codepage.base >= span || events_possible()) return true;
  // The blocks that a run of blk may run, through the blocks they run.
  std::vector<bool> seen(span);
  std::vector<Ref> todo{blk};
  std::vector<const u8*> recs;
  seen[blk - codepage.base] = true;
  while (!todo.empty()) {
    const Ref at = todo.back();
    todo.pop_back();
    recs.clear();
    if (!code_page_records(at, recs)) return true;
    for (const u8* rec : recs) {
      const Step::Kind kind = handler_kind(rd32(rec + REC_HANDLER));
      if (!enters_blocks(kind)) continue;
      for (u32 p = 0; p < rec[REC_COUNT]; ++p) {
        if (!runs_block_at(kind, p)) continue;
        // (An element's word is 0 until an element record writes it.)
        const Ref inner = constant_block(par_ref(rec + REC_PARAMS, p));
        if (!inner) return true;
        if (inner == END_BLOCK) continue;
        if (inner == blk) return true;
        const u32 off = inner - codepage.base;
        if (off >= span) return true;  // (only a damaged file names one)
        if (!seen[off]) {
          seen[off] = true;
          todo.push_back(inner);
        }
      }
    }
  }
  return false;
}

void forget_reentry() { events = Events::UNKNOWN; }

}  // namespace qv
