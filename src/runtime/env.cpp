// Set-up and tear-down of the dynamic tables.
#include "env.h"

#include <initializer_list>

#include "arena.h"
#include "decoded.h"
#include "handlers.h"
#include "strbase.h"
#include "variables.h"

namespace qv {

TableHead vartable{0, 0, 0, 0, 12};
TableHead varname{0, 0, 0, 0, NAME_SIZE};
TableHead cnstable{0, 0, 0, 0, 12};
TableHead rettable{0, 0, 0, 0, 12};
TableHead codepage{0, 0, 0, 0, 4};
TableHead callstack{0, 0, 0, 0, 4};
Ref lexema = 0;
Ref last_lexema = 0;
u32 optimtmpvarinit = 1;

namespace {

constexpr u32 LEX_BUFSIZE = 257;

void set_head(TableHead& h, Ref base, u32 bytes) {
  h.base = h.first = h.next = base;
  h.end = base + bytes;
}

void erase_slots(const TableHead& t) {
  for (Ref e = t.end; e > t.base;) {
    e -= 12;
    VarEntry* v = S(e);
    if (v->flags & V_EMPTY) continue;
    if (v->flags & V_ARRAY)
      release_array(v);
    else if (v->type < TY_COUNT)
      type_del(v);
  }
}

}  // namespace

u32 call_slot_handler(u32 handler, VarEntry* slot) {
  u32 w = ref_of(slot);
  return handlers[handler](0, reinterpret_cast<const u8*>(&w), 1);
}

void vtab_init(const TableHead& head) {
  for (Ref e = head.base; e < head.end; e += 12) S(e)->flags = V_EMPTY;
}

u32 cenv_init(u32 nvars, u32 nconsts, u32 ntemps, u32 nstack, u32 ncode) {
  if (!arena_init()) return 0;
  const u32 sizes[7] = {nvars * 12, nvars * NAME_SIZE, nconsts * 12, ntemps * 12,
                        ncode * 16, LEX_BUFSIZE, nstack * 4};
  Ref blocks[7] = {};
  for (int i = 0; i < 7; ++i) {
    blocks[i] = i == 5 ? arena_alloc(sizes[i]) : arena_calloc(sizes[i]);
    if (!blocks[i]) {
      while (i-- > 0) arena_free(blocks[i], sizes[i]);
      return 0;
    }
  }
  Ref lex = arena_calloc(sizeof(StrDesc));
  if (!lex) {
    for (int i = 6; i >= 0; --i) arena_free(blocks[i], sizes[i]);
    return 0;
  }
  // The tables live as long as the process.
  for (Ref b : blocks) arena_keep(b);
  arena_keep(lex);
  set_head(vartable, blocks[0], sizes[0]);
  set_head(varname, blocks[1], sizes[1]);
  set_head(cnstable, blocks[2], sizes[2]);
  set_head(rettable, blocks[3], sizes[3]);
  set_head(callstack, blocks[6], sizes[6]);
  vtab_init(vartable);
  vtab_init(rettable);
  vtab_init(cnstable);
  codepage.base = codepage.first = blocks[4];
  codepage.end = codepage.next = blocks[4] + sizes[4];
  lexema = lex;
  auto* d = at<StrDesc>(lexema);
  d->flags = 0;
  d->start = d->end = d->cursor = blocks[5];
  d->limit = blocks[5] + 256;
  lx_reset();
  return 1;
}

void lx_reset() {
  auto* d = at<StrDesc>(lexema);
  d->cursor = d->end = d->start;
  mem[d->start] = 0;
  mem[d->limit] = 0;
}

void erase_consts() {
  while (cnstable.next > cnstable.first) {
    cnstable.next -= 12;
    VarEntry* v = S(cnstable.next);
    if (!(v->flags & V_EMPTY) && v->type < TY_COUNT) type_del(v);
  }
}

// Walks down to each table's base rather than its mark: the process ends
// after a run-time error, and releasing everything keeps leak checks quiet.
void erase_allvars() {
  erase_slots(vartable);
  varname.next = varname.first;
  erase_slots(rettable);
  erase_consts();
  st_storage_release();
  forget_runs();  // no group is left primed over erased slots
}

void cenv_reset() {
  erase_allvars();
  for (TableHead* t : {&vartable, &varname, &cnstable, &rettable, &callstack})
    t->first = t->next = t->base;
  vtab_init(vartable);
  vtab_init(rettable);
  vtab_init(cnstable);
  wr32(mem + callstack.base, 0);
  codepage.first = codepage.base;
  lx_reset();
}

}  // namespace qv
