// Setting an outer run's slots aside and giving them back (see
// block_runs.h).
#include "block_runs.h"

#include <vector>

#include "arena.h"
#include "errcodes.h"
#include "env.h"
#include "variables.h"

namespace qv {

namespace {

constexpr u32 SLOT = sizeof(VarEntry);

// One outer run set aside: the arena block that keeps its slots (copies,
// in the order of own_slots) and then its rewritten parameter words; and
// where the parameter stack stood when that run began.
struct Aside {
  const DecodedBlock* block;
  Ref kept;
  Ref run_base;
};
std::vector<Aside> asides;

u32 kept_size(const DecodedBlock& b) {
  return static_cast<u32>(b.own_slots.size() * SLOT + b.own_words.size() * 4);
}

// Releases whatever value a slot holds, as the error exit does.
void drop_value(VarEntry* v) {
  if (v->flags & V_EMPTY) return;
  if (v->flags & V_ARRAY)
    release_array(v);
  else if (v->type < TY_COUNT)
    type_del(v);
  v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
}

// Rewrites the argument and result words of the frames of the parameter
// stack above `floor` as `match` says (0: leave the word alone). Only the
// frames the outer run pushed can name its slots: those below it were
// pushed before it began, when its slots held nothing or another run's
// values, which were redirected then.
template <class Match>
void redirect_frames(Ref floor, Match match) {
  Ref top = callstack.next;
  while (top > floor) {
    const u32 n = rd32(mem + top);
    if (n == 0 || 4 * (n + 1) > top - callstack.base) return;  // no frame below
    for (u32 k = 1; k <= n; ++k) {
      u8* word = mem + top - 4 * k;
      if (const Ref to = match(rd32(word))) wr32(word, to);
    }
    top -= 4 * (n + 1);
  }
}

}  // namespace

void set_aside(const DecodedBlock& b) {
  const Ref kept = arena_alloc(kept_size(b));
  if (!kept) {
    --b.runs;  // this run never started
    last_lexema = 0;
    execerror(E_NO_MEMORY);
  }
  const u32 nslots = static_cast<u32>(b.own_slots.size());
  for (u32 i = 0; i < nslots; ++i) {
    VarEntry* v = S(b.own_slots[i]);
    *S(kept + i * SLOT) = *v;
    if (v->flags & V_EMPTY) continue;
    v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
    v->value = v->type == TY_BLOCK ? END_BLOCK : 0;
  }
  for (u32 i = 0; i < b.own_words.size(); ++i)
    wr32(mem + kept + nslots * SLOT + 4 * i, rd32(mem + b.own_words[i]));
  redirect_frames(b.run_base, [&](Ref w) -> Ref {
    for (u32 i = 0; i < nslots; ++i)
      if (b.own_slots[i] == w) return kept + i * SLOT;
    return 0;
  });
  asides.push_back({&b, kept, b.run_base});
  b.run_base = callstack.next;
}

void give_back(const DecodedBlock& b) {
  // Runs nest, so the latest run set aside is this block's.
  const Ref kept = asides.back().kept;
  b.run_base = asides.back().run_base;
  asides.pop_back();
  const u32 nslots = static_cast<u32>(b.own_slots.size());
  for (u32 i = 0; i < nslots; ++i) {
    VarEntry* v = S(b.own_slots[i]);
    drop_value(v);  // the inner run's clean-up has normally done this
    *v = *S(kept + i * SLOT);
  }
  for (u32 i = 0; i < b.own_words.size(); ++i)
    wr32(mem + b.own_words[i], rd32(mem + kept + nslots * SLOT + 4 * i));
  redirect_frames(b.run_base, [&](Ref w) -> Ref {
    if (w < kept || w >= kept + nslots * SLOT) return 0;
    return b.own_slots[(w - kept) / SLOT];
  });
  arena_free(kept, kept_size(b));
}

void abandon_runs() {
  for (const Aside& a : asides) {
    for (u32 i = 0; i < a.block->own_slots.size(); ++i) drop_value(S(a.kept + i * SLOT));
    arena_free(a.kept, kept_size(*a.block));
  }
  asides.clear();
  forget_runs();
}

}  // namespace qv
