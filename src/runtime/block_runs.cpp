// Setting an outer run's slots aside and giving them back (see
// block_runs.h).
#include "block_runs.h"

#include <cstring>
#include <vector>

#include "arena.h"
#include "block_copies.h"
#include "errcodes.h"
#include "env.h"
#include "variables.h"

namespace qv {

namespace {

using Span = DecodedBlock::Span;

// One outer run set aside: where its slots are kept (copies of the block's
// spans, one after the other, then its rewritten parameter words) and
// where the parameter stack stood when that run began.
struct Aside {
  const DecodedBlock* block;
  Ref kept;
  Ref run_base;
};
// Each run set aside lies under a block entered after it, so the nesting
// limit bounds them.
Aside asides[MAX_BLOCK_DEPTH + 1];
u32 aside_count = 0;

u32 kept_size(const DecodedBlock& b) {
  return b.own_bytes + static_cast<u32>(b.own_words.size() * 4);
}

// Where the runs set aside are kept. Runs nest, so their copies come and
// go last in, first out: they are stacked in chunks of the arena, taken
// when the stack grows past the ones it has and all given back when no
// run is set aside any more. A recursion then costs no allocation per call,
// and a copy is placed or taken off with one test of the last chunk.
struct Chunk {
  Ref at;
  u32 size;
};
std::vector<Chunk> chunks;
// The last chunk: where it starts, where its free part starts and its end.
Ref chunk_at = 0, store_top = 0, store_end = 0;
constexpr u32 CHUNK_BYTES = 16384;

// A copy that does not fit in the last chunk's rest opens a new chunk.
[[gnu::noinline]] Ref store_push_chunk(u32 size) {
  u32 want = size > CHUNK_BYTES ? size : CHUNK_BYTES;
  Ref at = arena_alloc(want);
  if (!at && want > size) at = arena_alloc(want = size);
  if (!at) return 0;
  chunks.push_back({at, want});
  chunk_at = at;
  store_top = at + size;
  store_end = at + want;
  return at;
}

inline Ref store_push(u32 size) {
  if (store_end - store_top < size) [[unlikely]] return store_push_chunk(size);
  const Ref at = store_top;
  store_top += size;
  return at;
}

// Gives back the latest copy, which starts at `kept`: the chunk it is in
// is the last one (a copy that did not fit in a chunk's rest opened a new
// chunk), where the next copy starts there again.
[[gnu::noinline]] void store_pop_chunks(Ref kept) {
  while (kept - chunks.back().at >= chunks.back().size) {
    arena_free(chunks.back().at, chunks.back().size);
    chunks.pop_back();
  }
  chunk_at = chunks.back().at;
  store_end = chunk_at + chunks.back().size;
  store_top = kept;
}

inline void store_pop(Ref kept) {
  if (kept - chunk_at >= store_end - chunk_at) [[unlikely]] return store_pop_chunks(kept);
  store_top = kept;
}

void store_release() {
  for (const Chunk& c : chunks) arena_free(c.at, c.size);
  chunks.clear();
  chunk_at = store_top = store_end = 0;
}

// The slots of an outer run set aside, made empty for the new run (what
// they owned is kept with their copies).
void empty_slots(VarEntry* v, VarEntry* e) {
  for (; v != e; ++v) {
    if (v->flags & V_EMPTY) continue;
    v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
    v->value = v->type == TY_BLOCK ? END_BLOCK : 0;
  }
}

// The slots [v, e) of b's group, as its initialisation leaves them for a
// new run that steps over it: each holding 0. The outer run is past its
// first step, so the group is initialised already; a group that the block
// keeps may even go on holding the outer run's values, since every run
// writes each of them before reading it.
void prime_group(const DecodedBlock& b, VarEntry* v, VarEntry* e) {
  if (b.keeps) return;
  for (; v != e; ++v) {
    v->value = 0;
    v->flags &= ~(V_ARRAY | V_EMPTY);
  }
}

// Releases whatever value a slot holds, as the error exit does. Numbers
// and truth values own nothing.
void drop_value(VarEntry* v) {
  if (v->flags & V_EMPTY) return;
  if (!(v->flags & V_ARRAY) && in_slot(v->type)) {
    v->flags |= V_EMPTY;
    return;
  }
  if (v->flags & V_ARRAY)
    release_array(v);
  else if (v->type < TY_COUNT)
    type_del(v);
  v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
}

// Calls `rewrite` with each argument and result word of the frames of the
// parameter stack above `floor`. Only the frames the outer run pushed can
// name its slots: those below it were pushed before it began, when its
// slots held nothing or another run's values, which were redirected then.
// (The words are written through a byte pointer, which could alias the
// arena's base and the stack's bounds as far as the compiler knows: they
// are read once, before the walk.)
template <class Rewrite>
[[gnu::always_inline]] inline void for_frame_words(Ref floor, Rewrite rewrite) {
  u8* const m = mem;
  const Ref base = callstack.base;
  Ref top = callstack.next;
  while (top > floor) {
    const u32 n = rd32(m + top);
    if (n == 0 || 4 * (n + 1) > top - base) return;  // no frame below
    for (u8 *w = m + top - 4 * n, *e = m + top; w != e; w += 4) rewrite(w);
    top -= 4 * (n + 1);
  }
}

// Those words rewritten as `match` says (0: leave the word alone).
template <class Match>
void redirect_frames(Ref floor, Match match) {
  for_frame_words(floor, [&](u8* word) {
    if (const Ref to = match(rd32(word))) wr32(word, to);
  });
}

// Those that name a slot of [from, from + bytes) moved to the same place in
// [to, to + bytes): a group set aside or given back as one span.
[[gnu::always_inline]] inline void move_frame_words(Ref floor, Ref from, u32 bytes, Ref to) {
  for_frame_words(floor, [=](u8* word) {
    if (const u32 off = rd32(word) - from; off < bytes) wr32(word, to + off);
  });
}

// What a block's own slots are set aside as is noted, for give_back, and
// the new run begins with the frames it pushes.
[[gnu::always_inline]] inline void note_aside(const DecodedBlock& b, Ref kept) {
  if (aside_count > MAX_BLOCK_DEPTH) [[unlikely]] {  // cannot happen: see asides
    --b.runs;
    last_lexema = 0;
    execerror(E_NESTING);
  }
  asides[aside_count++] = {&b, kept, b.run_base};
  b.run_base = callstack.next;
}

// The outer run's slots and rewritten words, copied to `kept`.
void set_slots_aside(const DecodedBlock& b, Ref kept) {
  // A run that starts before the outer one's first step (at its entry,
  // which processes events) finds the variables that a renewal left: they
  // go back deleted, and the outer run declares them.
  drop_prime(b);
  // The new run starts with empty slots, except for the group that its
  // first step initialises, when the block renews it: that group starts
  // initialised, and the step has nothing left to do (see
  // DecodedBlock::renews).
  const Step& first = b.steps[0];
  const bool numbers = b.renews && !b.strings;  // a group of texts starts empty
  VarEntry* const g0 = numbers ? S(first.result) : nullptr;
  VarEntry* const g1 = numbers ? g0 + first.temps : nullptr;
  bool primed = false;
  Ref to = kept;
  for (const Span& sp : b.own_spans) {
    std::memcpy(mem + to, mem + sp.first, sp.bytes);
    VarEntry *v = S(sp.first), *const e = S(sp.first + sp.bytes);
    if (g0 >= v && g1 <= e && !primed) {
      primed = true;
      empty_slots(v, g0);
      prime_group(b, g0, g1);
      v = g1;
    }
    empty_slots(v, e);
    to += sp.bytes;
  }
  // (A group that is not all the run's own slots, as only a damaged
  // program file could give, is initialised by the step as usual.)
  b.primed = primed;
  for (const Ref w : b.own_words) {
    wr32(mem + to, rd32(mem + w));
    to += 4;
  }
  redirect_frames(b.run_base, [&](Ref w) -> Ref {
    Ref at = kept;
    for (const Span& sp : b.own_spans) {
      if (w - sp.first < sp.bytes) return at + (w - sp.first);
      at += sp.bytes;
    }
    return 0;
  });
  note_aside(b, kept);
}

// set_aside for a block whose own slots are just its group (see
// DecodedBlock::group_only): one span, which the new run finds initialised.
void set_group_aside(const DecodedBlock& b, Ref kept) {
  const Span sp = b.own_spans[0];
  std::memcpy(mem + kept, mem + sp.first, sp.bytes);
  prime_group(b, S(sp.first), S(sp.first + sp.bytes));
  b.primed = true;
  move_frame_words(b.run_base, sp.first, sp.bytes, kept);
  note_aside(b, kept);
}

// The outer run's slots come back from `kept`, over whatever the inner run
// left in them (its clean-up has normally emptied them already).
void give_slots_back(const DecodedBlock& b, Ref kept) {
  Ref from = kept;
  for (const Span& sp : b.own_spans) {
    for (VarEntry *v = S(sp.first), *e = S(sp.first + sp.bytes); v != e; ++v) drop_value(v);
    std::memcpy(mem + sp.first, mem + from, sp.bytes);
    from += sp.bytes;
  }
  for (const Ref w : b.own_words) {
    wr32(mem + w, rd32(mem + from));
    from += 4;
  }
  if (!b.own_words.empty()) reread_element_words(b);
  redirect_frames(b.run_base, [&](Ref w) -> Ref {
    u32 off = w - kept;
    if (off >= b.own_bytes) return 0;
    for (const Span& sp : b.own_spans) {
      if (off < sp.bytes) return sp.first + off;
      off -= sp.bytes;
    }
    return 0;
  });
}

// The same for a block whose own slots are just its group: every end of a
// run deletes the group, keeps it or fails, and numbers own nothing, so the
// outer run's values are copied straight back.
void give_group_back(const DecodedBlock& b, Ref kept) {
  const Span sp = b.own_spans[0];
  std::memcpy(mem + sp.first, mem + kept, sp.bytes);
  move_frame_words(b.run_base, kept, sp.bytes, sp.first);
}

void set_aside(const DecodedBlock& b) {
  const Ref kept = store_push(kept_size(b));
  if (!kept) {
    --b.runs;  // this run never started
    last_lexema = 0;
    execerror(E_NO_MEMORY);
  }
  if (b.group_only)
    set_group_aside(b, kept);
  else
    set_slots_aside(b, kept);
}

}  // namespace

const DecodedBlock* copy_or_set_aside(const DecodedBlock& b) {
  // Copies are made in the order of the depths. Past one that could not
  // be made, deeper runs set aside too.
  if (b.copying != DecodedBlock::COPYING_NO && b.runs - 2 == b.copies.size()) {
    if (const DecodedBlock* copy = block_copy(b)) {
      copy->runs = 2;
      return copy;
    }
  }
  set_aside(b);
  return &b;
}

void give_back(const DecodedBlock& b) {
  // Runs nest, so the latest run set aside is this block's. The outer run
  // is past its first step: its group is not primed.
  b.primed = false;
  const Aside& a = asides[--aside_count];
  const Ref kept = a.kept;
  b.run_base = a.run_base;
  if (b.group_only)
    give_group_back(b, kept);
  else
    give_slots_back(b, kept);
  if (aside_count == 0)
    store_release();
  else
    store_pop(kept);
}

void abandon_runs() {
  for (u32 i = 0; i < aside_count; ++i)
    for (u32 off = 0; off < asides[i].block->own_bytes; off += sizeof(VarEntry))
      drop_value(S(asides[i].kept + off));
  aside_count = 0;
  store_release();
  forget_runs();
}

}  // namespace qv
