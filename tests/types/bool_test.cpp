// bool: its text, and comparisons where values differ without an order.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Bool : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  VarEntry* b(u32 v) { return new_const(TY_BOOL, v); }
  VarEntry* i(i32 v) { return new_const(TY_INT, static_cast<u32>(v)); }
  VarEntry* f(float v) { return new_const(TY_FLOAT, float_bits(v)); }
};

TEST_F(Bool, Text) {
  StrDesc* t = text_record("");
  ASSERT_EQ(l_literalstr(t, b(1)), 1u);
  EXPECT_EQ(text_of(t), "TRUE");
  EXPECT_EQ(mem[t->end], 0);
  ASSERT_EQ(l_literalstr(t, b(0)), 1u);
  EXPECT_EQ(text_of(t), "FALSE");  // shorter text replaces, never appends
  EXPECT_EQ(l_literalstr(t, b(7)), 0u);
  EXPECT_EQ(if_c_error, 39u);
  EXPECT_EQ(text_of(t), "");
  StrDesc* small = text_record("", 3);
  ASSERT_EQ(l_literalstr(small, b(1)), 1u);
  EXPECT_EQ(text_of(small), "TRU");
}

// Through the handlers, as the traced executor and "case" reach them.
TEST_F(Bool, Comparisons) {
  const u32 ops[] = {H_l_eq, H_l_ne, H_l_gt, H_l_lt, H_l_ge, H_l_le};
  // want: the results of == != > < >= <=
  struct Case { VarEntry* a; VarEntry* b; const char* want; } cases[] = {
      {new_const(TY_UINT, 0xFFFFFFFFu), new_const(TY_UINT, 1), "011010"},
      {i(-1), i(1), "010101"},
      {i(-7), i(-7), "100011"},
      {new_const(TY_UINT, 7), new_const(TY_UINT, 7), "100011"},
      {b(1), b(0), "010000"},  // different, but neither greater nor less
      {f(std::nanf("")), f(std::nanf("")), "010000"},
      {f(-0.0f), f(0.0f), "100011"},
  };
  VarEntry* r = new_temp(TY_BOOL);
  for (const Case& c : cases) {
    for (int k = 0; k < 6; ++k) {
      SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << " op " << k);
      ASSERT_EQ(call(ops[k], r, {c.a, c.b}), 1u);
      EXPECT_EQ(r->value, c.want[k] == '1' ? 1u : 0u);
    }
  }
  VarEntry* blk = new_const(TY_BLOCK, END_BLOCK);
  EXPECT_EQ(call(H_l_eq, r, {blk, blk}), 0u);
  EXPECT_EQ(if_c_error, 32u);
}

TEST_F(Bool, ChooseValueConvertsTheOtherOperand) {
  VarEntry* r = new_temp(TY_INT);
  ASSERT_EQ(call(H_l_ifassign, r, {b(0), i(4), f(-2.9f)}), 1u);
  EXPECT_EQ(as_int(r->value), -2);
  // A block cannot become an int.
  EXPECT_EQ(call(H_l_ifassign, r, {b(0), i(4), new_const(TY_BLOCK, END_BLOCK)}), 0u);
  EXPECT_EQ(if_c_error, 61u);
}

}  // namespace
