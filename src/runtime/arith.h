// Integer and float arithmetic steps and number comparisons, shared by the
// arithmetic operation handlers (int_ops.cpp) and the executor's decoded
// steps, which run the commonest arithmetic and comparisons without a call. Integer arithmetic is done on u32 words (wrap-around
// without signed overflow); float arithmetic in single precision.
#pragma once

#include "errcodes.h"
#include "qv.h"

namespace qv::arith {

enum Op { ADD, SUB, MUL, DIV, MOD, OR, AND, ANDNOT, XOR, SHL, SHR };

constexpr bool is_arith(Op op) { return op <= MOD; }

inline bool is_integer(u32 type) { return type == TY_INT || type == TY_UINT; }

// Signed division is the one place where two's complement can trap:
// INT_MIN / -1 gives the wrapped quotient INT_MIN and remainder 0.
inline u32 sdiv(u32 a, u32 b) {
  if (b == 0xFFFFFFFFu) return 0u - a;
  return static_cast<u32>(as_int(a) / as_int(b));
}
inline u32 smod(u32 a, u32 b) {
  if (b == 0xFFFFFFFFu) return 0;
  return static_cast<u32>(as_int(a) % as_int(b));
}

template <Op op>
inline u32 int_op(u32 type, u32 a, u32 b) {
  if constexpr (op == ADD) return a + b;
  if constexpr (op == SUB) return a - b;
  if constexpr (op == MUL) return a * b;
  if constexpr (op == DIV) return type == TY_INT ? sdiv(a, b) : a / b;
  if constexpr (op == MOD) return type == TY_INT ? smod(a, b) : a % b;
  if constexpr (op == OR) return a | b;
  if constexpr (op == AND) return a & b;
  if constexpr (op == ANDNOT) return a & ~b;
  if constexpr (op == XOR) return a ^ b;
  if constexpr (op == SHL) return a << (b & 31);
  if constexpr (op == SHR) return a >> (b & 31);  // logical for int too
}

// a / 2^k, 0 < k < 31, as int_op<DIV> divides: rounded toward zero for
// int, which a shift of a negative value does once 2^k - 1 is added.
inline u32 div_pow2(u32 type, u32 a, u32 k) {
  if (type != TY_INT) return a >> k;
  const u32 bias = static_cast<u32>(as_int(a) >> 31) & ((1u << k) - 1);
  return static_cast<u32>(as_int(a + bias) >> k);
}

template <Op op>
inline float float_op(float a, float b) {
  if constexpr (op == ADD) return a + b;
  if constexpr (op == SUB) return a - b;
  if constexpr (op == MUL) return a * b;
  if constexpr (op == DIV) return a / b;
  return 0.0f;
}

// One step of `op` in the arithmetic that `type` selects. false with
// if_c_error set when the type does not allow it or the divisor is zero.
template <Op op>
[[gnu::always_inline]] inline bool apply(u32 type, u32 a, u32 b, u32* out) {
  if constexpr (op == DIV || op == MOD) {
    if ((is_integer(type) && b == 0) || (type == TY_FLOAT && as_float(b) == 0.0f)) {
      if_c_error = E_DIV_ZERO;
      return false;
    }
  }
  if (is_integer(type)) [[likely]] {
    *out = int_op<op>(type, a, b);
    return true;
  }
  if constexpr (is_arith(op) && op != MOD) {
    if (type == TY_FLOAT) {
      *out = float_bits(float_op<op>(as_float(a), as_float(b)));
      return true;
    }
  }
  if_c_error = E_BAD_TYPE;
  return false;
}

// "-", "/", "%", bit operations and shifts: the result slot's type decides.
template <Op op>
[[gnu::always_inline]] inline u32 binary_into(VarEntry* r, const VarEntry* a, const VarEntry* b) {
  u32 v;
  if (!apply<op>(r->type, a->value, b->value, &v)) return 0;
  r->value = v;
  return 1;
}
template <Op op>
[[gnu::always_inline]] inline u32 binary(Ref result, const u8* params) {
  return result ? binary_into<op>(S(result), P(params, 0), P(params, 1)) : 1;
}

// "+" and "*": fold every operand into the neutral element, left to right.
template <Op op>
[[gnu::always_inline]] inline u32 fold(Ref result, const u8* params, u32 count) {
  if (!result) return 1;
  VarEntry* r = S(result);
  u32 n = count & 0xFF;
  if (is_integer(r->type)) {
    if (n == 2) {  // the usual case, without the loop
      r->value = int_op<op>(r->type, P(params, 0)->value, P(params, 1)->value);
      return 1;
    }
    u32 acc = op == ADD ? 0u : 1u;
    for (u32 i = 0; i < n; ++i) acc = int_op<op>(r->type, acc, P(params, i)->value);
    r->value = acc;
    return 1;
  }
  if (r->type == TY_FLOAT) {
    // From the neutral element too when there are two: 0 + -0 is +0.
    float acc = op == ADD ? 0.0f : 1.0f;
    if (n == 2) {
      acc = float_op<op>(float_op<op>(acc, as_float(P(params, 0)->value)),
                         as_float(P(params, 1)->value));
      r->value = float_bits(acc);
      return 1;
    }
    for (u32 i = 0; i < n; ++i) acc = float_op<op>(acc, as_float(P(params, i)->value));
    r->value = float_bits(acc);
    return 1;
  }
  return fail(E_BAD_TYPE);
}

// fold of exactly two operands into a result slot, as fold does it: false
// (nothing done) when the slot's type is not a number, which fold fails.
template <Op op>
[[gnu::always_inline]] inline bool fold2(VarEntry* r, u32 a, u32 b) {
  if (is_integer(r->type)) [[likely]] {
    r->value = int_op<op>(r->type, a, b);
    return true;
  }
  if (r->type != TY_FLOAT) return false;
  constexpr float neutral = op == ADD ? 0.0f : 1.0f;
  r->value = float_bits(float_op<op>(float_op<op>(neutral, as_float(a)), as_float(b)));
  return true;
}

// Compound assignments: the variable's type decides; a present result
// slot receives the new value.
template <Op op>
[[gnu::always_inline]] inline u32 in_place(Ref result, VarEntry* v, const VarEntry* b) {
  u32 nv;
  if (!apply<op>(v->type, v->value, b->value, &nv)) return 0;
  v->value = nv;
  if (result) S(result)->value = nv;
  return 1;
}
template <Op op>
[[gnu::always_inline]] inline u32 in_place(Ref result, const u8* params) {
  return in_place<op>(result, P(params, 0), P(params, 1));
}

// The order of two numbers of the first one's type, as the types' comp
// functions give it: -1, 0, 1, or 2 for floats that do not compare (NaN).
// false for a type that is not a number.
[[gnu::always_inline]] inline bool order(const VarEntry* a, const VarEntry* b, i32* c) {
  // Tested in the order of how common the types are: int, float, uint.
  if (a->type == TY_INT) [[likely]] {
    const i32 x = as_int(a->value), y = as_int(b->value);
    *c = (x > y) - (x < y);
    return true;
  }
  if (a->type == TY_FLOAT) {
    // One test for NaN, then the order without branches: a comparison in
    // a loop goes either way as the data does.
    const float x = as_float(a->value), y = as_float(b->value);
    if (__builtin_isunordered(x, y)) [[unlikely]] {
      *c = 2;
      return true;
    }
    *c = (x > y) - (x < y);
    return true;
  }
  if (a->type == TY_UINT) {
    const u32 x = a->value, y = b->value;
    *c = (x > y) - (x < y);
    return true;
  }
  return false;
}

// The comparison operations as the set of orders for which each holds:
// bit c + 1 for order c (-1 less, 0 equal, 1 greater, 2 unordered). The
// handlers and the decoded comparison steps both read these sets, so an
// operation means the same on either path.
constexpr u8 HOLDS_LT = 0x1, HOLDS_EQ = 0x2, HOLDS_GT = 0x4, HOLDS_UNORDERED = 0x8;
constexpr u8 HOLDS_NE = HOLDS_LT | HOLDS_GT | HOLDS_UNORDERED;
constexpr u8 HOLDS_LE = HOLDS_LT | HOLDS_EQ, HOLDS_GE = HOLDS_GT | HOLDS_EQ;

inline bool holds(u8 set, i32 order) { return (set >> (order + 1)) & 1; }

// "for": whether the index has left the loop (1), has left its range on
// the start side (-1, error 73), or runs the body (0). The direction is
// the one the loop started with; all comparisons are signed.
inline int for_check(i32 i, i32 from, i32 to, bool descending) {
  if (descending) {
    if (to > i) return 1;
    if (i > from) return -1;
  } else {
    if (i > to) return 1;
    if (i < from) return -1;
  }
  return 0;
}

// "++" and "--". The extra count is non-zero for the postfix form x ++,
// whose value is the variable before the change.
[[gnu::always_inline]] inline u32 step(Ref result, VarEntry* v, u32 count, bool up) {
  u32 old = v->value, nv;
  if (is_integer(v->type))
    nv = up ? old + 1u : old - 1u;
  else if (v->type == TY_FLOAT)
    nv = float_bits(as_float(old) + (up ? 1.0f : -1.0f));
  else
    // The type is checked before the result is touched: copying the word of
    // a str variable would leave two slots owning one descriptor.
    return fail(E_BAD_TYPE);
  v->value = nv;
  if (result) S(result)->value = (count & 0xFF00) ? old : nv;
  return 1;
}

[[gnu::always_inline]] inline u32 step(Ref result, const u8* params, u32 count, bool up) {
  return step(result, P(params, 0), count, up);
}

}  // namespace qv::arith
