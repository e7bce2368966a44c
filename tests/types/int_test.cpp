// int and uint: text forms, slot handlers, arithmetic, bits, shifts,
// "norm" and "random".
#include <gtest/gtest.h>

#include <string>

#include "support/qv_test.h"
#include "types/itoa.h"

using namespace qvtest;

namespace {

class Int : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }

  // A text record of `cap` characters in the arena.
  StrDesc* text(const std::string& s, u32 cap = 256) {
    Ref d = arena_calloc(sizeof(StrDesc));
    Ref buf = arena_calloc(cap + 1);
    auto* t = at<StrDesc>(d);
    t->start = t->cursor = buf;
    t->limit = buf + cap;
    std::memcpy(mem + buf, s.data(), s.size());
    t->end = buf + static_cast<u32>(s.size());
    return t;
  }
  std::string ft(VarEntry* v, u32 cap = 256) {
    StrDesc* t = text("", cap);
    EXPECT_EQ(l_int_ft(t, v), 1u);
    EXPECT_EQ(t->cursor, t->start);
    EXPECT_EQ(mem[t->end], 0);
    return std::string(reinterpret_cast<char*>(mem + t->start), t->end - t->start);
  }
  VarEntry* i(i32 v) { return new_const(TY_INT, static_cast<u32>(v)); }
  VarEntry* u(u32 v) { return new_const(TY_UINT, v); }
  VarEntry* f(float v) { return new_const(TY_FLOAT, float_bits(v)); }
};

TEST_F(Int, TextToInteger) {
  struct Case {
    const char* text;
    u32 value;  // meaningful when ok
    bool ok;
  } cases[] = {
      {"0x1F", 31, true},      {"0XffFF", 65535, true}, {"0x10000", 0, false},
      {"0b101", 5, true},      {"+12", 12, true},       {"-0", 0, true},
      {"12a", 0, false},       {"-", 0, true},          {"", 0, true},
      {"7x10", 16, true},      {"0x", 0, false},        {"0xg1", 0, false},
      {"0b1111111111111111", 65535, true},              {"0b11111111111111111", 0, false},
      {"0b12", 0, false},      {"-2147483648", 0x80000000u, true},
      {"4294967295", 0xFFFFFFFFu, true},                {"4294967296", 0, true},  // wraps
      {"--1", 0, false},       {" 1", 0, false},        {"1 ", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    VarEntry* v = new_var(TY_INT);
    v->value = 0xDEADBEEF;
    if_c_error = 0;
    u32 r = l_int_tf(text(c.text), v);
    EXPECT_EQ(r != 0, c.ok);
    if (c.ok) {
      EXPECT_EQ(v->value, c.value);
    } else {
      EXPECT_EQ(if_c_error, 5u);
      EXPECT_EQ(v->value, 0xDEADBEEFu);  // left unchanged
    }
  }
}

TEST_F(Int, TextStopsAtEndNotAtNul) {
  StrDesc* t = text("123456");
  t->end = t->start + 2;
  VarEntry* v = new_var(TY_UINT);
  ASSERT_EQ(l_int_tf(t, v), 1u);
  EXPECT_EQ(v->value, 12u);
}

TEST_F(Int, IntegerToText) {
  EXPECT_EQ(ft(i(0)), "0");
  EXPECT_EQ(ft(i(-1)), "-1");
  EXPECT_EQ(ft(i(-5)), "-5");
  EXPECT_EQ(ft(i(INT32_MIN)), "-2147483648");
  EXPECT_EQ(ft(i(2147483647)), "2147483647");
  EXPECT_EQ(ft(u(4294967295u)), "4294967295");
  // Never past the record's capacity.
  EXPECT_EQ(ft(i(-12345), 3), "-12");
}

TEST_F(Int, ItoaRadixWidthAndSign) {
  char buf[36];
  EXPECT_EQ(qv_itoa(7, false, 10, 2, buf), 2u);
  EXPECT_STREQ(buf, "07");
  EXPECT_EQ(qv_itoa(255, false, 16, 0, buf), 2u);
  EXPECT_STREQ(buf, "ff");
  qv_itoa(static_cast<u32>(-10), true, 10, 4, buf);
  EXPECT_STREQ(buf, "-0010");
  qv_itoa(0xFFFFFFFFu, false, 2, 0, buf);
  EXPECT_EQ(std::string(buf), std::string(32, '1'));
  qv_itoa(0xFFFFFFFFu, false, 10, 0, buf);
  EXPECT_STREQ(buf, "4294967295");
}

TEST_F(Int, SlotHandlers) {
  VarEntry* v = new_var(TY_UINT);  // init ran
  EXPECT_EQ(v->type, static_cast<u32>(TY_UINT));
  EXPECT_EQ(v->flags & V_EMPTY, 0u);
  EXPECT_EQ(v->value, 0u);
  v->value = 9;
  EXPECT_EQ(call(H_l_int_init, nullptr, {v}), 0u);
  EXPECT_EQ(if_c_error, 71u);
  EXPECT_EQ(v->value, 9u);
  EXPECT_EQ(call(H_l_int_del, nullptr, {v}), 1u);
  EXPECT_NE(v->flags & V_EMPTY, 0u);
  EXPECT_EQ(call(H_l_int_del, nullptr, {v}), 0u);
  EXPECT_EQ(if_c_error, 72u);
  // The grouped temporary initialisation names the type in the high byte.
  EXPECT_EQ(call(H_l_int_init, nullptr, {v}, TY_INT + 1), 1u);
  EXPECT_EQ(v->type, static_cast<u32>(TY_INT));

  EXPECT_EQ(l_int_comp(i(-1), i(1), 2), -1);
  EXPECT_EQ(l_uint_comp(i(-1), i(1), 2), 1);
  EXPECT_EQ(l_int_comp(i(3), i(3), 2), 0);

  Exchange x{};
  EXPECT_EQ(l_int_mksv(&x, v), 1u);
  EXPECT_EQ(x.bytes, ref_of(&v->value));
  EXPECT_EQ(x.length, 4u);

  VarEntry* d = new_var(TY_UINT);
  l_int_conv(i(-1), d);
  EXPECT_EQ(d->value, 4294967295u);
}

// Two-operand operations where the result slot's type decides.
TEST_F(Int, BinaryOperations) {
  struct Case {
    u32 handler;
    u32 type;
    u32 a, b;
    u32 want;   // when err is 0
    u32 err;
  } cases[] = {
      {H_l_mins, TY_INT, 5, 7, static_cast<u32>(-2), 0},
      {H_l_div, TY_INT, static_cast<u32>(-7), 2, static_cast<u32>(-3), 0},
      {H_l_mod, TY_INT, static_cast<u32>(-7), 2, static_cast<u32>(-1), 0},
      {H_l_div, TY_UINT, 7, 2, 3, 0},
      {H_l_div, TY_UINT, 0xFFFFFFFFu, 2, 0x7FFFFFFFu, 0},
      {H_l_div, TY_INT, 5, 0x80000000u, 0, 0},
      {H_l_div, TY_INT, 0x80000000u, 0x80000000u, 1, 0},
      {H_l_div, TY_INT, 0x80000000u, 0xFFFFFFFFu, 0x80000000u, 0},
      {H_l_mod, TY_INT, 0x80000000u, 0xFFFFFFFFu, 0, 0},
      {H_l_div, TY_INT, 1, 0, 0, 35},
      {H_l_mod, TY_UINT, 1, 0, 0, 35},
      {H_l_div, TY_FLOAT, float_bits(1.0f), float_bits(-0.0f), 0, 35},
      {H_l_mod, TY_FLOAT, float_bits(1.0f), 0, 0, 35},
      {H_l_mod, TY_FLOAT, float_bits(7.0f), float_bits(2.0f), 0, 32},
      {H_l_div, TY_FLOAT, float_bits(1.0f), float_bits(3.0f), float_bits(1.0f / 3.0f), 0},
      {H_l_mins, TY_FLOAT, float_bits(0.1f), float_bits(0.3f), float_bits(0.1f - 0.3f), 0},
      {H_l_mins, TY_BOOL, 1, 0, 0, 32},
      {H_l_bitor, TY_INT, 0x0F, 0xF0, 0xFF, 0},
      {H_l_bitand, TY_UINT, 0x0F, 0x3C, 0x0C, 0},
      {H_l_bitandnot, TY_INT, 0xFF, 0x0F, 0xF0, 0},
      {H_l_bitxor, TY_INT, 0xFF, 0x0F, 0xF0, 0},
      {H_l_bitor, TY_FLOAT, 0, 0, 0, 32},
      {H_l_shiftright, TY_INT, static_cast<u32>(-1), 28, 15, 0},
      {H_l_shiftright, TY_INT, static_cast<u32>(-8), 1, 2147483644u, 0},
      {H_l_shiftleft, TY_INT, 1, 33, 2, 0},
      {H_l_shiftleft, TY_UINT, 1, 32, 1, 0},
      {H_l_shiftleft, TY_INT, 1, static_cast<u32>(-1), 0x80000000u, 0},
      {H_l_shiftright, TY_FLOAT, 1, 1, 0, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "handler " << c.handler << " type " << c.type << " a "
                                    << c.a << " b " << c.b);
    VarEntry* r = new_temp(c.type);
    r->value = 0x5A5A5A5A;
    if_c_error = 0;
    u32 ok = call(c.handler, r, {new_const(c.type, c.a), new_const(c.type, c.b)});
    if (c.err) {
      EXPECT_EQ(ok, 0u);
      EXPECT_EQ(if_c_error, c.err);
      EXPECT_EQ(r->value, 0x5A5A5A5Au);
    } else {
      EXPECT_EQ(ok, 1u);
      EXPECT_EQ(r->value, c.want);
    }
  }
}

TEST_F(Int, FoldingSumAndProduct) {
  VarEntry* r = new_temp(TY_INT);
  ASSERT_EQ(call(H_l_plus, r, {i(2147483647), i(1), i(0)}), 1u);
  EXPECT_EQ(as_int(r->value), INT32_MIN);
  ASSERT_EQ(call(H_l_mul, r, {i(-3), i(5), i(2)}), 1u);
  EXPECT_EQ(as_int(r->value), -30);

  // Each float step is rounded: 1e8 + 1 + 1 stays 1e8 in single precision.
  VarEntry* fr = new_temp(TY_FLOAT);
  ASSERT_EQ(call(H_l_plus, fr, {f(1e8f), f(1.0f), f(1.0f)}), 1u);
  EXPECT_EQ(as_float(fr->value), 1e8f);
  ASSERT_EQ(call(H_l_mul, fr, {f(1.5f), f(2.0f), f(-1.0f)}), 1u);
  EXPECT_EQ(as_float(fr->value), -3.0f);

  VarEntry* s = new_temp(TY_BOOL);
  EXPECT_EQ(call(H_l_plus, s, {new_const(TY_BOOL, 1), new_const(TY_BOOL, 1)}), 0u);
  EXPECT_EQ(if_c_error, 32u);
  // Without a result slot there is nothing to compute.
  EXPECT_EQ(call(H_l_plus, nullptr, {i(1), i(2)}), 1u);
}

TEST_F(Int, IncrementAndDecrement) {
  VarEntry* x = new_var(TY_INT);
  x->value = 5;
  VarEntry* r = new_temp(TY_INT);
  ASSERT_EQ(call(H_l_inc, r, {x}, 2), 1u);  // x ++
  EXPECT_EQ(r->value, 5u);
  EXPECT_EQ(x->value, 6u);
  ASSERT_EQ(call(H_l_inc, r, {x}, 0), 1u);  // ++ x
  EXPECT_EQ(r->value, 7u);
  ASSERT_EQ(call(H_l_dec, nullptr, {x}), 1u);
  EXPECT_EQ(x->value, 6u);

  VarEntry* m = new_var(TY_UINT);
  ASSERT_EQ(call(H_l_dec, nullptr, {m}), 1u);
  EXPECT_EQ(m->value, 0xFFFFFFFFu);

  VarEntry* fl = new_var(TY_FLOAT);
  fl->value = float_bits(0.5f);
  ASSERT_EQ(call(H_l_dec, r, {fl}), 1u);
  EXPECT_EQ(as_float(fl->value), -0.5f);

  VarEntry* b = new_var(TY_BOOL);
  VarEntry* br = new_temp(TY_BOOL);
  br->value = 0;
  b->value = 1;
  EXPECT_EQ(call(H_l_inc, br, {b}, 2), 0u);
  EXPECT_EQ(if_c_error, 32u);
  EXPECT_EQ(b->value, 1u);
}

TEST_F(Int, CompoundAssignments) {
  struct Case {
    u32 handler;
    u32 type;
    u32 var, value;
    u32 want;
    u32 err;
  } cases[] = {
      {H_l_plusassgn, TY_INT, 2147483647, 1, 0x80000000u, 0},
      {H_l_minusassgn, TY_UINT, 0, 1, 0xFFFFFFFFu, 0},
      {H_l_mulassgn, TY_INT, static_cast<u32>(-4), 3, static_cast<u32>(-12), 0},
      {H_l_divassgn, TY_UINT, 0xFFFFFFFFu, 2, 2147483647u, 0},
      {H_l_divassgn, TY_INT, 0xFFFFFFFFu, 2, 0, 0},
      {H_l_divassgn, TY_INT, 0x80000000u, 0xFFFFFFFFu, 0x80000000u, 0},
      {H_l_divassgn, TY_INT, 4, 0, 4, 35},
      {H_l_divassgn, TY_FLOAT, float_bits(3.0f), float_bits(2.0f), float_bits(1.5f), 0},
      {H_l_plusassgn, TY_FLOAT, float_bits(0.1f), float_bits(0.2f), float_bits(0.1f + 0.2f), 0},
      {H_l_bitorass, TY_INT, 0x10, 0x01, 0x11, 0},
      {H_l_bitandass, TY_UINT, 0x13, 0x06, 0x02, 0},
      {H_l_bitandnotass, TY_INT, 0x13, 0x03, 0x10, 0},
      {H_l_shilftrass, TY_UINT, 3, 34, 12, 0},
      {H_l_shifrghtrass, TY_INT, 0x80000000u, 31, 1, 0},
      {H_l_bitorass, TY_FLOAT, 0, 0, 0, 32},
      {H_l_plusassgn, TY_BOOL, 1, 1, 1, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "handler " << c.handler << " type " << c.type);
    VarEntry* v = new_var(c.type);
    v->value = c.var;
    VarEntry* value = new_const(c.type, c.value);
    if_c_error = 0;
    // As a statement: no result slot.
    u32 ok = call(c.handler, nullptr, {v, value});
    EXPECT_EQ(ok != 0, c.err == 0);
    if (c.err) {
      EXPECT_EQ(if_c_error, c.err);
    }
    EXPECT_EQ(v->value, c.err ? c.var : c.want);
    // Used in an expression: the result receives the new value.
    if (!c.err) {
      v->value = c.var;
      VarEntry* r = new_temp(c.type);
      ASSERT_EQ(call(c.handler, r, {v, value}), 1u);
      EXPECT_EQ(r->value, c.want);
    }
  }
}

TEST_F(Int, AbsAndInvert) {
  VarEntry* r = new_temp(TY_INT);
  call(H_l_abs, r, {i(-7)});
  EXPECT_EQ(as_int(r->value), 7);
  call(H_l_abs, r, {i(INT32_MIN)});
  EXPECT_EQ(as_int(r->value), INT32_MIN);
  call(H_bitinvert, r, {i(0)});
  EXPECT_EQ(as_int(r->value), -1);
  VarEntry* ur = new_temp(TY_UINT);
  call(H_bitinvert, ur, {u(0xFFFFFFF0u)});
  EXPECT_EQ(ur->value, 15u);
  VarEntry* fr = new_temp(TY_FLOAT);
  EXPECT_EQ(call(H_bitinvert, fr, {f(1.0f)}), 0u);
  EXPECT_EQ(if_c_error, 32u);
}

TEST_F(Int, NormalizeArrayAndVariable) {
  // An int array {10, -10}, built by hand.
  VarEntry* a = new_var(TY_INT);
  Ref h = arena_calloc(sizeof(ArrHead));
  Ref data = arena_calloc(2 * sizeof(VarEntry));
  *at<ArrHead>(h) = ArrHead{data, data, data + 24, data + 24, 12, 0};
  S(data)->value = 10;
  S(data)->type = TY_INT;
  S(data + 12)->value = static_cast<u32>(-10);
  S(data + 12)->type = TY_INT;
  a->value = h;
  a->flags |= V_ARRAY;
  if_c_error = 7;
  ASSERT_EQ(call(H_l_normalize, nullptr, {a, i(3), i(2)}), 1u);
  EXPECT_EQ(if_c_error, 0u);
  EXPECT_EQ(as_int(S(data)->value), 6);
  EXPECT_EQ(as_int(S(data + 12)->value), -6);

  EXPECT_EQ(call(H_l_normalize, nullptr, {a, i(0), i(2)}), 0u);
  EXPECT_EQ(if_c_error, 35u);
  EXPECT_EQ(as_int(S(data)->value), 6);

  VarEntry* x = new_var(TY_UINT);
  x->value = 0xFFFFFFFFu;
  ASSERT_EQ(call(H_l_normalize, nullptr, {x, u(2), u(1)}), 1u);
  EXPECT_EQ(x->value, 0x7FFFFFFFu);

  VarEntry* m = new_var(TY_INT);
  m->value = 0x80000000u;
  ASSERT_EQ(call(H_l_normalize, nullptr, {m, i(-1), i(1)}), 1u);
  EXPECT_EQ(m->value, 0x80000000u);

  VarEntry* fl = new_var(TY_FLOAT);
  fl->value = float_bits(1.0f);
  ASSERT_EQ(call(H_l_normalize, nullptr, {fl, f(3.0f), f(1.0f)}), 1u);
  EXPECT_EQ(as_float(fl->value), 1.0f / 3.0f);

  VarEntry* b = new_var(TY_BOOL);
  EXPECT_EQ(call(H_l_normalize, nullptr, {b, new_const(TY_BOOL, 1), new_const(TY_BOOL, 1)}), 0u);
  EXPECT_EQ(if_c_error, 32u);
}

TEST_F(Int, RandomRanges) {
  VarEntry* r = new_temp(TY_UINT);
  bool odd_seen = false;
  for (int k = 0; k < 200; ++k) {
    ASSERT_EQ(call(H_l_rand, r, {}), 1u);
    EXPECT_LE(r->value, 32767u);
    odd_seen |= (r->value & 1) != 0;
    call(H_l_rand, r, {u(1)});
    EXPECT_EQ(r->value, 0u);
    call(H_l_rand, r, {u(5), u(1)});
    EXPECT_EQ(r->value, 5u);
    call(H_l_rand, r, {u(10), u(5)});
    EXPECT_GE(r->value, 10u);
    EXPECT_LE(r->value, 14u);
    call(H_l_rand, r, {u(65536)});
    EXPECT_EQ(r->value % 2, 0u);
    EXPECT_LE(r->value, 65534u);
    call(H_l_rand, r, {u(0xFFFFFFFFu), u(0xFFFFFFFFu)});  // no overflow trap: wraps
  }
  EXPECT_TRUE(odd_seen);
  EXPECT_EQ(call(H_l_seed, nullptr, {}), 1u);
}

}  // namespace
