// The slot handlers that the in-slot types (bool, int, uint, float) share:
// their value word is the value, so init, del, assign and the saved form
// touch nothing else. The steps on the slot are init_in_slot and
// del_in_slot (variables.h), which the executor also runs inline, so that
// the handlers and the inline steps cannot drift apart.
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "../runtime/variables.h"

namespace qv {

namespace {

u32 init_as(VarEntry* s, u32 type) {
  if (!(s->flags & V_EMPTY)) return fail(E_BAD_INIT);
  s->type = type;
  init_in_slot(s);
  return 1;
}

u32 del(VarEntry* s) { return del_in_slot(s) ? 1 : fail(E_DEL_NOT_INIT); }

}  // namespace

u32 l_log_init(Ref, const u8* params, u32) { return init_as(P(params, 0), TY_BOOL); }
u32 l_float_init(Ref, const u8* params, u32) { return init_as(P(params, 0), TY_FLOAT); }

// Grouped temporary initialisation passes the temporary's type + 1 in the
// high byte, so a reused temporary gets the type of its current use.
u32 l_int_init(Ref, const u8* params, u32 count) {
  VarEntry* s = P(params, 0);
  const u32 typed = (count >> 8) & 0xFF;
  return init_as(s, typed == TY_INT + 1 || typed == TY_UINT + 1 ? typed - 1 : s->type);
}

u32 l_log_del(Ref, const u8* params, u32) { return del(P(params, 0)); }
u32 l_int_del(Ref, const u8* params, u32) { return del(P(params, 0)); }
u32 l_float_del(Ref, const u8* params, u32) { return del(P(params, 0)); }

u32 l_inslot_assign(VarEntry* d, VarEntry* s, u32) {
  d->value = s->value;
  return 1;
}

// The saved form is the value word; loading it back needs no step.
u32 l_inslot_mksv(Exchange* x, VarEntry* s) {
  x->bytes = ref_of(&s->value);
  x->length = 4;
  return 1;
}

u32 l_inslot_mkld(Exchange*, VarEntry*) { return 1; }

}  // namespace qv
