// int and uint: text forms, and the arithmetic rules at their corners:
// overflow, shifts past the word, and the errors of each operation family.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Int : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  std::string ft(u32 type, u32 value, u32 cap = 256) {
    StrDesc* t = text_record("", cap);
    EXPECT_EQ(l_int_ft(t, new_const(type, value)), 1u);
    EXPECT_EQ(mem[t->end], 0);
    return text_of(t);
  }
};

TEST_F(Int, Text) {
  struct Case { const char* text; u32 value; bool ok; } cases[] = {
      {"0XffFF", 65535, true}, {"0x10000", 0, false}, {"+12", 12, true},   {"-0", 0, true},
      {"12a", 0, false},       {"-", 0, true},        {"", 0, true},       {"7x10", 16, true},
      {"0x", 0, false},        {"0xg1", 0, false},    {"0b12", 0, false},  {"--1", 0, false},
      {" 1", 0, false},        {"1 ", 0, false},      {"0b1111111111111111", 65535, true},
      {"0b11111111111111111", 0, false},              {"-2147483648", 0x80000000u, true},
      {"4294967295", 0xFFFFFFFFu, true},              {"4294967296", 0, true},  // wraps
  };
  for (const Case& c : cases) {
    VarEntry* v = new_var(TY_INT);
    v->value = 0xDEADBEEF;
    if_c_error = 0;
    EXPECT_EQ(l_int_tf(text_record(c.text), v) != 0, c.ok) << c.text;
    EXPECT_EQ(if_c_error, c.ok ? 0u : 5u) << c.text;
    EXPECT_EQ(v->value, c.ok ? c.value : 0xDEADBEEFu) << c.text;  // a failure changes nothing
  }
  // Only the bytes up to `end` count, whatever follows them.
  StrDesc* t = text_record("123456");
  t->end = t->start + 2;
  VarEntry* v = new_var(TY_UINT);
  ASSERT_EQ(l_int_tf(t, v), 1u);
  EXPECT_EQ(v->value, 12u);
  EXPECT_EQ(ft(TY_INT, 0x80000000u), "-2147483648");
  EXPECT_EQ(ft(TY_UINT, 4294967295u), "4294967295");
  EXPECT_EQ(ft(TY_INT, static_cast<u32>(-12345), 3), "-12") << "never past the capacity";
}

// Operations with a result slot whose type decides, or on a variable (the
// first operand) with constant operands of its type; a failure leaves the
// result or the variable alone.
TEST_F(Int, Operations) {
  struct Case { u32 handler, type; bool on_var; std::vector<u32> args; u32 want, err; } cases[] = {
      {H_l_div, TY_INT, false, {5, 0x80000000u}, 0, 0},
      {H_l_div, TY_INT, false, {0x80000000u, 0x80000000u}, 1, 0},
      {H_l_div, TY_INT, false, {0x80000000u, 0xFFFFFFFFu}, 0x80000000u, 0},
      {H_l_mod, TY_INT, false, {0x80000000u, 0xFFFFFFFFu}, 0, 0},
      {H_l_div, TY_UINT, false, {0xFFFFFFFFu, 2}, 0x7FFFFFFFu, 0},
      {H_l_div, TY_INT, false, {1, 0}, 0, 35},
      {H_l_mod, TY_UINT, false, {1, 0}, 0, 35},
      {H_l_div, TY_FLOAT, false, {float_bits(1.0f), float_bits(-0.0f)}, 0, 35},
      {H_l_mod, TY_FLOAT, false, {float_bits(1.0f), 0}, 0, 35},
      {H_l_mod, TY_FLOAT, false, {float_bits(7.0f), float_bits(2.0f)}, 0, 32},
      {H_l_mins, TY_BOOL, false, {1, 0}, 0, 32},
      {H_l_bitor, TY_FLOAT, false, {0, 0}, 0, 32},
      {H_l_shiftright, TY_FLOAT, false, {1, 1}, 0, 32},
      // Shift counts are taken modulo 32, never shifted past the word.
      {H_l_shiftleft, TY_UINT, false, {1, 32}, 1, 0},
      {H_l_shiftleft, TY_INT, false, {1, static_cast<u32>(-1)}, 0x80000000u, 0},
      // 1e8 + 1 + 1 stays 1e8 in single precision: each step rounds.
      {H_l_plus, TY_FLOAT, false, {float_bits(1e8f), float_bits(1), float_bits(1)},
       float_bits(1e8f), 0},
      {H_l_plusassgn, TY_INT, true, {2147483647, 1}, 0x80000000u, 0},
      {H_l_minusassgn, TY_UINT, true, {0, 1}, 0xFFFFFFFFu, 0},
      {H_l_divassgn, TY_INT, true, {0x80000000u, 0xFFFFFFFFu}, 0x80000000u, 0},
      {H_l_divassgn, TY_INT, true, {4, 0}, 0, 35},
      {H_l_divassgn, TY_FLOAT, true, {float_bits(3.0f), float_bits(2.0f)}, float_bits(1.5f), 0},
      {H_l_shilftrass, TY_UINT, true, {3, 34}, 12, 0},
      {H_l_shifrghtrass, TY_INT, true, {0x80000000u, 31}, 1, 0},
      {H_l_bitorass, TY_FLOAT, true, {0, 0}, 0, 32},
      {H_l_plusassgn, TY_BOOL, true, {1, 1}, 0, 32},
      {H_l_dec, TY_UINT, true, {0}, 0xFFFFFFFFu, 0},
      {H_l_dec, TY_FLOAT, true, {float_bits(0.5f)}, float_bits(-0.5f), 0},
      {H_l_inc, TY_BOOL, true, {1}, 0, 32},
      // "norm v d m": v := m * v / d.
      {H_l_normalize, TY_UINT, true, {0xFFFFFFFFu, 2, 1}, 0x7FFFFFFFu, 0},
      {H_l_normalize, TY_INT, true, {0x80000000u, 0xFFFFFFFFu, 1}, 0x80000000u, 0},
      {H_l_normalize, TY_INT, true, {6, 0, 2}, 0, 35},
      {H_l_normalize, TY_BOOL, true, {1, 1, 1}, 0, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "handler " << c.handler << " type " << c.type);
    std::vector<VarEntry*> ops;
    for (u32 a : c.args) ops.push_back(new_const(c.type, a));
    VarEntry* r = c.on_var ? new_var(c.type) : new_temp(c.type);
    r->value = c.on_var ? c.args[0] : 0x5A5A5A5A;
    if (c.on_var) ops[0] = r;
    if_c_error = 0;
    EXPECT_EQ(call(c.handler, c.on_var ? nullptr : r, ops), c.err ? 0u : 1u);
    EXPECT_EQ(if_c_error, c.err);
    EXPECT_EQ(r->value, !c.err ? c.want : c.on_var ? c.args[0] : 0x5A5A5A5Au);
  }
  // Without a result slot there is nothing to compute; a random range that
  // wraps round does not overflow.
  EXPECT_EQ(call(H_l_plus, nullptr, {new_const(TY_INT, 1), new_const(TY_INT, 2)}), 1u);
  VarEntry *r = new_temp(TY_UINT), *top = new_const(TY_UINT, 0xFFFFFFFFu);
  for (int k = 0; k < 100; ++k) ASSERT_EQ(call(H_l_rand, r, {top, top}), 1u);
}

}  // namespace
