// The str type's slot handlers and the conversions between str and the
// other value types. A str slot owns a 20-byte descriptor and its buffer;
// a slot marked V_EMPTY owns neither, so every handler that would follow
// its value refuses it with 60 instead of reading freed or absent storage.
#include "../runtime/arena.h"
#include "../runtime/env.h"
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "../runtime/strbase.h"

namespace qv {

u32 l_st_init(Ref, const u8* params, u32) {
  VarEntry* s = P(params, 0);
  if (!(s->flags & V_EMPTY)) return fail(E_BAD_INIT);
  const Ref desc = st_storage_new();
  if (!desc) return fail(E_NO_MEMORY);
  s->value = desc;
  s->type = TY_STR;
  s->flags &= ~V_EMPTY;
  if_c_error = E_NONE;
  return 1;
}

// The limit stays as it is: a descriptor over loaded bytes is smaller than
// a fresh buffer, and resetting it to start + 256 would let writes run off.
u32 l_st_clr(Ref, const u8* params, u32) {
  VarEntry* s = P(params, 0);
  if (s->flags & V_EMPTY) return fail(E_NOT_INIT);
  StrDesc* d = str_desc(s);
  d->cursor = d->end = d->start;
  mem[d->start] = 0;
  return 1;
}

u32 l_st_del(Ref, const u8* params, u32) {
  VarEntry* s = P(params, 0);
  if (s->flags & V_EMPTY) return fail(E_DEL_NOT_INIT);
  st_storage_free(s->value);
  s->value = 0;
  s->flags |= V_EMPTY;
  return 1;
}

u32 l_st_assign(VarEntry* d, VarEntry* s, u32) {
  if ((d->flags | s->flags) & V_EMPTY) return fail(E_NOT_INIT);
  st_dup(str_desc(d), str_desc(s));
  return 1;
}

// comp has no failure channel: an empty operand compares as "different
// without order" and leaves the code behind for whoever looks.
i32 l_st_comp(VarEntry* a, VarEntry* b, u32) {
  if ((a->flags | b->flags) & V_EMPTY) {
    if_c_error = E_NOT_INIT;
    return 2;
  }
  return st_comp(str_desc(a), str_desc(b));
}

u32 l_st_ft(StrDesc* t, VarEntry* s) {
  if (s->flags & V_EMPTY) return fail(E_NOT_INIT);
  st_dup(t, str_desc(s));
  return 1;
}

u32 l_st_tf(StrDesc* t, VarEntry* s) {
  if (s->flags & V_EMPTY) return fail(E_NOT_INIT);
  st_dup(str_desc(s), t);
  return 1;
}

// The saved form is the text with its terminating zero.
u32 l_str_mksv(Exchange* x, VarEntry* s) {
  if (s->flags & V_EMPTY) return fail(E_NOT_INIT);
  const StrDesc* d = str_desc(s);
  x->bytes = d->start;
  x->length = st_len(d) + 1;
  return 1;
}

// The loader hands over a buffer of length + 1 bytes, so the zero at limit
// lies inside it; from here on the slot owns the buffer (l_st_del frees
// limit - start + 1 bytes, which is exactly what was allocated).
u32 l_str_mkld(Exchange* x, VarEntry* s) {
  if (x->length == 0) return fail(E_NO_MEMORY);
  const Ref desc = arena_calloc(sizeof(StrDesc));
  if (!desc) return fail(E_NO_MEMORY);
  auto* d = at<StrDesc>(desc);
  d->start = d->cursor = x->bytes;
  d->limit = x->bytes + x->length;
  d->end = d->limit - 1;
  mem[d->end] = 0;
  mem[d->limit] = 0;
  s->value = desc;
  s->type = TY_STR;
  s->flags &= ~V_EMPTY;
  return 1;
}

u32 c_var_str(VarEntry* src, VarEntry* dst) {
  if (dst->flags & V_EMPTY) return fail(E_NOT_INIT);
  TextFn ft = src->type < TY_COUNT ? typent[src->type].ft : nullptr;
  if (!ft) return fail(E_CANNOT_CONVERT);
  return ft(str_desc(dst), src);
}

u32 c_str_var(VarEntry* src, VarEntry* dst) {
  if (src->flags & V_EMPTY) return fail(E_NOT_INIT);
  TextFn tf = dst->type < TY_COUNT ? typent[dst->type].tf : nullptr;
  if (!tf) return fail(E_CANNOT_CONVERT);
  return tf(str_desc(src), dst);
}

}  // namespace qv
