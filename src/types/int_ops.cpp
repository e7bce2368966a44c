// Arithmetic, bit, shift and random-number operations over int, uint and
// float; the arithmetic steps themselves are in arith.h. Float arithmetic
// rounds once per step, which is what float operations give on every SSE
// target.
#include <limits>

#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "../runtime/arith.h"
#include "../runtime/variables.h"

namespace qv {

static_assert(std::numeric_limits<float>::is_iec559, "float must be IEEE single precision");

namespace {

using namespace arith;

// The generator behind "random": a fixed linear congruential sequence,
// values 0..32767, never seeded, so every run draws the same numbers.
u32 rand_state = 1;

inline u32 next_random() {
  rand_state = rand_state * 1103515245u + 12345u;
  return (rand_state / 65536u) % 32768u;
}

// r scaled to 0..n-1: n rounded to single, product and quotient in
// extended precision (exact here), truncated. r * n / 32768 < 2^32.
inline u32 scale_random(u32 r, u32 n) {
  long double q = static_cast<long double>(r) * static_cast<float>(n) / 32768.0L;
  return static_cast<u32>(static_cast<u64>(q));
}

}  // namespace

u32 l_plus(Ref result, const u8* params, u32 count) { return fold<ADD>(result, params, count); }
u32 l_mul(Ref result, const u8* params, u32 count) { return fold<MUL>(result, params, count); }
u32 l_mins(Ref result, const u8* params, u32) { return binary<SUB>(result, params); }
u32 l_div(Ref result, const u8* params, u32) { return binary<DIV>(result, params); }
u32 l_mod(Ref result, const u8* params, u32) { return binary<MOD>(result, params); }

u32 l_plusassgn(Ref result, const u8* params, u32) { return in_place<ADD>(result, params); }
u32 l_minusassgn(Ref result, const u8* params, u32) { return in_place<SUB>(result, params); }
u32 l_mulassgn(Ref result, const u8* params, u32) { return in_place<MUL>(result, params); }
u32 l_divassgn(Ref result, const u8* params, u32) { return in_place<DIV>(result, params); }

u32 l_inc(Ref result, const u8* params, u32 count) { return step(result, params, count, true); }
u32 l_dec(Ref result, const u8* params, u32 count) { return step(result, params, count, false); }

u32 l_abs(Ref result, const u8* params, u32) {
  if (!result) return 1;
  VarEntry* r = S(result);
  if (!is_integer(r->type)) return fail(E_BAD_TYPE);
  VarEntry* x = P(params, 0);
  u32 v = x->value;
  // The operand arrives unconverted. Only an int's or uint's word is its
  // number: a float's bits read as an int are a meaningless number and a
  // text's word is where its storage lies, so any other operand is
  // converted as "=" would convert it into an int (a text that is no
  // number, a block: the conversion's error).
  if (!is_integer(x->type) || (x->flags & (V_EMPTY | V_ARRAY))) {
    VarEntry as_int{};
    as_int.type = TY_INT;
    if (!convert_or_assign(x, &as_int)) return 0;
    v = as_int.value;
  }
  r->value = (v & 0x80000000u) ? 0u - v : v;  // -2147483648 stays itself
  return 1;
}

u32 bitinvert(Ref result, const u8* params, u32) {
  if (!result) return 1;
  VarEntry* r = S(result);
  if (!is_integer(r->type)) return fail(E_BAD_TYPE);
  r->value = ~P(params, 0)->value;
  return 1;
}

u32 l_bitor(Ref result, const u8* params, u32) { return binary<OR>(result, params); }
u32 l_bitand(Ref result, const u8* params, u32) { return binary<AND>(result, params); }
u32 l_bitandnot(Ref result, const u8* params, u32) { return binary<ANDNOT>(result, params); }
u32 l_bitxor(Ref result, const u8* params, u32) { return binary<XOR>(result, params); }
u32 l_bitorass(Ref result, const u8* params, u32) { return in_place<OR>(result, params); }
u32 l_bitandass(Ref result, const u8* params, u32) { return in_place<AND>(result, params); }
u32 l_bitandnotass(Ref result, const u8* params, u32) { return in_place<ANDNOT>(result, params); }
u32 l_shiftleft(Ref result, const u8* params, u32) { return binary<SHL>(result, params); }
u32 l_shiftright(Ref result, const u8* params, u32) { return binary<SHR>(result, params); }
u32 l_shilftrass(Ref result, const u8* params, u32) { return in_place<SHL>(result, params); }
u32 l_shifrghtrass(Ref result, const u8* params, u32) { return in_place<SHR>(result, params); }

// "norm": v := m * v / d for a variable or every element of an array.
u32 l_normalize(Ref, const u8* params, u32) {
  VarEntry* v = P(params, 0);
  u32 d = P(params, 1)->value, m = P(params, 2)->value;
  u32 type = v->type;
  if (!is_integer(type) && type != TY_FLOAT) return fail(E_BAD_TYPE);
  if (type == TY_FLOAT ? as_float(d) == 0.0f : d == 0) return fail(E_DIV_ZERO);

  Ref first = ref_of(v), end = first + sizeof(VarEntry);
  if (v->flags & V_ARRAY) {
    const ArrHead* h = at<ArrHead>(v->value);
    first = h->data;
    end = h->used;
  }
  for (Ref e = first; e < end; e += sizeof(VarEntry)) {
    VarEntry* x = S(e);
    if (type == TY_INT)
      x->value = sdiv(m * x->value, d);
    else if (type == TY_UINT)
      x->value = m * x->value / d;
    else
      x->value = float_bits(static_cast<float>(static_cast<long double>(as_float(m)) *
                                               as_float(x->value) / as_float(d)));
  }
  if_c_error = E_NONE;
  return 1;
}

u32 l_rand(Ref result, const u8* params, u32 count) {
  u32 r = next_random();
  switch (count & 0xFF) {
    case 0: break;
    case 1: r = scale_random(r, P(params, 0)->value); break;
    default: r = P(params, 0)->value + scale_random(r, P(params, 1)->value); break;
  }
  if (result) S(result)->value = r;
  return 1;
}

// The generator has a fixed start on purpose; "seed" exists for programs
// written against it and leaves the sequence alone.
u32 l_seed(Ref, const u8*, u32) { return 1; }

}  // namespace qv
