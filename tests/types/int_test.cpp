// int and uint: text forms, and the arithmetic rules that the golden
// programs do not reach: overflow corners, shifts past the word, and the
// errors of each operation family.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Int : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }

  std::string ft(VarEntry* v, u32 cap = 256) {
    StrDesc* t = text_record("", cap);
    EXPECT_EQ(l_int_ft(t, v), 1u);
    EXPECT_EQ(mem[t->end], 0);
    return text_of(t);
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
      {"0XffFF", 65535, true}, {"0x10000", 0, false},  {"+12", 12, true},
      {"-0", 0, true},         {"12a", 0, false},      {"-", 0, true},
      {"", 0, true},           {"7x10", 16, true},     {"0x", 0, false},
      {"0xg1", 0, false},      {"0b12", 0, false},     {"--1", 0, false},
      {" 1", 0, false},        {"1 ", 0, false},
      {"0b1111111111111111", 65535, true},             {"0b11111111111111111", 0, false},
      {"-2147483648", 0x80000000u, true},              {"4294967295", 0xFFFFFFFFu, true},
      {"4294967296", 0, true},  // wraps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    VarEntry* v = new_var(TY_INT);
    v->value = 0xDEADBEEF;
    if_c_error = 0;
    u32 r = l_int_tf(text_record(c.text), v);
    EXPECT_EQ(r != 0, c.ok);
    if (c.ok) {
      EXPECT_EQ(v->value, c.value);
    } else {
      EXPECT_EQ(if_c_error, 5u);
      EXPECT_EQ(v->value, 0xDEADBEEFu);  // left unchanged
    }
  }
  // Only the bytes up to `end` count, whatever follows them.
  StrDesc* t = text_record("123456");
  t->end = t->start + 2;
  VarEntry* v = new_var(TY_UINT);
  ASSERT_EQ(l_int_tf(t, v), 1u);
  EXPECT_EQ(v->value, 12u);
}

TEST_F(Int, IntegerToText) {
  EXPECT_EQ(ft(i(INT32_MIN)), "-2147483648");
  EXPECT_EQ(ft(u(4294967295u)), "4294967295");
  EXPECT_EQ(ft(i(-12345), 3), "-12") << "never past the record's capacity";
}

// Two-operand operations where the result slot's type decides; a failure
// leaves the result alone.
TEST_F(Int, BinaryOperations) {
  struct Case {
    u32 handler;
    u32 type;
    u32 a, b;
    u32 want;   // when err is 0
    u32 err;
  } cases[] = {
      {H_l_div, TY_INT, 5, 0x80000000u, 0, 0},
      {H_l_div, TY_INT, 0x80000000u, 0x80000000u, 1, 0},
      {H_l_div, TY_INT, 0x80000000u, 0xFFFFFFFFu, 0x80000000u, 0},
      {H_l_mod, TY_INT, 0x80000000u, 0xFFFFFFFFu, 0, 0},
      {H_l_div, TY_UINT, 0xFFFFFFFFu, 2, 0x7FFFFFFFu, 0},
      {H_l_div, TY_INT, 1, 0, 0, 35},
      {H_l_mod, TY_UINT, 1, 0, 0, 35},
      {H_l_div, TY_FLOAT, float_bits(1.0f), float_bits(-0.0f), 0, 35},
      {H_l_mod, TY_FLOAT, float_bits(1.0f), 0, 0, 35},
      {H_l_mod, TY_FLOAT, float_bits(7.0f), float_bits(2.0f), 0, 32},
      {H_l_mins, TY_BOOL, 1, 0, 0, 32},
      {H_l_bitor, TY_FLOAT, 0, 0, 0, 32},
      {H_l_shiftright, TY_FLOAT, 1, 1, 0, 32},
      // Shift counts are taken modulo 32, never shifted past the word.
      {H_l_shiftleft, TY_UINT, 1, 32, 1, 0},
      {H_l_shiftleft, TY_INT, 1, static_cast<u32>(-1), 0x80000000u, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "handler " << c.handler << " type " << c.type << " a "
                                    << c.a << " b " << c.b);
    VarEntry* r = new_temp(c.type);
    r->value = 0x5A5A5A5A;
    if_c_error = 0;
    u32 ok = call(c.handler, r, {new_const(c.type, c.a), new_const(c.type, c.b)});
    EXPECT_EQ(ok, c.err ? 0u : 1u);
    EXPECT_EQ(if_c_error, c.err);
    EXPECT_EQ(r->value, c.err ? 0x5A5A5A5Au : c.want);
  }
}

TEST_F(Int, FloatSumsRoundEachStep) {
  // 1e8 + 1 + 1 stays 1e8 in single precision.
  VarEntry* fr = new_temp(TY_FLOAT);
  ASSERT_EQ(call(H_l_plus, fr, {f(1e8f), f(1.0f), f(1.0f)}), 1u);
  EXPECT_EQ(as_float(fr->value), 1e8f);
  // Without a result slot there is nothing to compute.
  EXPECT_EQ(call(H_l_plus, nullptr, {i(1), i(2)}), 1u);
}

// Operations on a variable, with constant operands of its type; a failure
// leaves the variable as it was.
TEST_F(Int, OperationsOnAVariable) {
  struct Case {
    u32 handler;
    u32 type;
    u32 var;
    std::vector<u32> args;
    u32 want;
    u32 err;
  } cases[] = {
      {H_l_plusassgn, TY_INT, 2147483647, {1}, 0x80000000u, 0},
      {H_l_minusassgn, TY_UINT, 0, {1}, 0xFFFFFFFFu, 0},
      {H_l_divassgn, TY_INT, 0x80000000u, {0xFFFFFFFFu}, 0x80000000u, 0},
      {H_l_divassgn, TY_INT, 4, {0}, 4, 35},
      {H_l_divassgn, TY_FLOAT, float_bits(3.0f), {float_bits(2.0f)}, float_bits(1.5f), 0},
      {H_l_shilftrass, TY_UINT, 3, {34}, 12, 0},
      {H_l_shifrghtrass, TY_INT, 0x80000000u, {31}, 1, 0},
      {H_l_bitorass, TY_FLOAT, 0, {0}, 0, 32},
      {H_l_plusassgn, TY_BOOL, 1, {1}, 1, 32},
      {H_l_dec, TY_UINT, 0, {}, 0xFFFFFFFFu, 0},
      {H_l_dec, TY_FLOAT, float_bits(0.5f), {}, float_bits(-0.5f), 0},
      {H_l_inc, TY_BOOL, 1, {}, 1, 32},
      // "norm v d m": v := m * v / d.
      {H_l_normalize, TY_UINT, 0xFFFFFFFFu, {2, 1}, 0x7FFFFFFFu, 0},
      {H_l_normalize, TY_INT, 0x80000000u, {0xFFFFFFFFu, 1}, 0x80000000u, 0},
      {H_l_normalize, TY_INT, 6, {0, 2}, 6, 35},
      {H_l_normalize, TY_BOOL, 1, {1, 1}, 1, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "handler " << c.handler << " type " << c.type);
    VarEntry* v = new_var(c.type);
    v->value = c.var;
    std::vector<u32> words{ref_of(v)};
    for (u32 a : c.args) words.push_back(ref_of(new_const(c.type, a)));
    if_c_error = 0;
    u32 ok = handlers[c.handler](0, reinterpret_cast<const u8*>(words.data()),
                                 static_cast<u32>(words.size()));
    EXPECT_EQ(ok, c.err ? 0u : 1u);
    EXPECT_EQ(if_c_error, c.err);
    EXPECT_EQ(v->value, c.err ? c.var : c.want);
  }
}

TEST_F(Int, RandomRangeWrapsWithoutOverflow) {
  VarEntry* r = new_temp(TY_UINT);
  for (int k = 0; k < 100; ++k)
    ASSERT_EQ(call(H_l_rand, r, {u(0xFFFFFFFFu), u(0xFFFFFFFFu)}), 1u);
}

}  // namespace
