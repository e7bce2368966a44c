// The bool type: slot handlers, its text form through the named constants,
// saved form, and the conversions between bool and the number types.
#include "../runtime/env.h"
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "textout.h"

namespace qv {

// Truth values have no order: unequal values are merely different.
i32 l_log_comp(VarEntry* a, VarEntry* b, u32) { return a->value == b->value ? 0 : 2; }

// The text of a value is the name of the named constant of its type that
// holds it ("FALSE", "TRUE"); a value no constant names has no text. Only
// the truth type gives its values text so, and its values compare as words.
u32 l_literalstr(StrDesc* t, VarEntry* s) {
  t->end = t->cursor = t->start;
  mem[t->start] = 0;
  if (s->type >= TY_COUNT) return fail(E_BAD_VALUE);
  const TypeEntry& type = typent[s->type];
  for (u32 i = type.litFirst; i < type.litFirst + type.litCount && i < LIT_COUNT; ++i) {
    if (litent[i].value == s->value) {
      text_put(t, litname[i], static_cast<u32>(std::strlen(litname[i])));
      return 1;
    }
  }
  return fail(E_BAD_VALUE);
}

u32 l_logint(VarEntry* src, VarEntry* dst) {
  dst->value = src->value;
  return 1;
}

u32 l_logfloat(VarEntry* src, VarEntry* dst) {
  dst->value = float_bits(static_cast<float>(as_int(src->value)));
  return 1;
}

u32 l_intlog(VarEntry* src, VarEntry* dst) {
  dst->value = src->value != 0;
  return 1;
}

// A NaN is not equal to zero, so it counts as true; both zeros are false.
u32 l_floatlog(VarEntry* src, VarEntry* dst) {
  dst->value = as_float(src->value) != 0.0f;
  return 1;
}

}  // namespace qv
