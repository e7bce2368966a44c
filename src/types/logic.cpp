// Negation, comparisons, "&&" "||", and the conditional value "?".
#include "../runtime/arith.h"
#include "../runtime/env.h"
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "../runtime/strbase.h"
#include "../runtime/variables.h"

namespace qv {

namespace {

constexpr i32 NO_COMP = 3;  // beside -1, 0, 1 and 2 (unordered)

// The comp of the first operand's type; the second operand was converted
// to that type by the compiler. Types without comp (block) cannot compare.
inline i32 comp_call(const u8* params) {
  VarEntry* a = P(params, 0);
  if (a->type >= TY_COUNT || !typent[a->type].comp) return NO_COMP;
  return typent[a->type].comp(a, P(params, 1), 2);
}

inline u32 compare(Ref result, const u8* params, u8 holds) {
  // A string slot without a value has no text to compare.
  const VarEntry *a = P(params, 0), *b = P(params, 1);
  if (a->type == TY_STR && ((a->flags | b->flags) & V_EMPTY)) return fail(E_NOT_INIT);
  // Texts asked only whether they are equal: any order but 0 answers "no".
  const bool equality = holds == arith::HOLDS_EQ || holds == arith::HOLDS_NE;
  i32 c = equality && plain_texts(a, b) ? !st_equal(str_desc(a), str_desc(b))
                                        : comp_call(params);
  if (c == NO_COMP) return fail(E_BAD_TYPE);
  if (result) S(result)->value = arith::holds(holds, c);
  return 1;
}

}  // namespace

u32 l_eq(Ref result, const u8* params, u32) {
  return compare(result, params, arith::HOLDS_EQ);
}
u32 l_ne(Ref result, const u8* params, u32) {
  return compare(result, params, arith::HOLDS_NE);
}
u32 l_gt(Ref result, const u8* params, u32) {
  return compare(result, params, arith::HOLDS_GT);
}
u32 l_lt(Ref result, const u8* params, u32) {
  return compare(result, params, arith::HOLDS_LT);
}
u32 l_ge(Ref result, const u8* params, u32) {
  return compare(result, params, arith::HOLDS_GE);
}
u32 l_le(Ref result, const u8* params, u32) {
  return compare(result, params, arith::HOLDS_LE);
}

u32 log_no(Ref result, const u8* params, u32) {
  if (result) S(result)->value = P(params, 0)->value == 0;
  if_c_error = E_NONE;
  return 1;
}

u32 log_invert(Ref result, const u8* params, u32) {
  VarEntry* v = P(params, 0);
  v->value = v->value == 0;
  if (result) S(result)->value = v->value;
  if_c_error = E_NONE;
  return 1;
}

// Every operand is already computed: there is no short circuit to keep.
u32 l_and(Ref result, const u8* params, u32 count) {
  u32 n = count & 0xFF, v = 1;
  for (u32 i = 0; i < n; ++i)
    if (P(params, i)->value == 0) {
      v = 0;
      break;
    }
  if (result) S(result)->value = v;
  return 1;
}

u32 l_or(Ref result, const u8* params, u32 count) {
  u32 n = count & 0xFF, v = 0;
  for (u32 i = 0; i < n; ++i)
    if (P(params, i)->value != 0) {
      v = 1;
      break;
    }
  if (result) S(result)->value = v;
  return 1;
}

u32 l_ifassign(Ref result, const u8* params, u32) {
  if (!result) return 1;
  VarEntry* chosen = P(params, P(params, 0)->value ? 1 : 2);
  return deliver(chosen, S(result));
}


}  // namespace qv
