// int, uint and float operations that fail: the variable or the result
// slot keeps its value (what they compute is in tests/golden/ops).
#include <gtest/gtest.h>

#include <vector>

#include "support/qv_test.h"

using namespace qvtest;

TEST(Int, TextThatIsNoNumberChangesNothing) {
  fresh_env();
  for (const char* text : {"0x10000", "12a", "0x", "0xg1", "0b12", "--1", " 1", "1 ",
                           "0b11111111111111111"}) {
    VarEntry* v = new_var(TY_INT);
    v->value = 0xDEADBEEF;
    if_c_error = 0;
    EXPECT_EQ(l_int_tf(text_record(text), v), 0u) << text;
    EXPECT_EQ(if_c_error, 5u) << text;
    EXPECT_EQ(v->value, 0xDEADBEEFu) << text;
  }
}

// on_var: the first operand is the variable the operation changes.
TEST(Int, FailedOperationsLeaveTheirSlotsAlone) {
  fresh_env();
  const u32 one = float_bits(1.0f);
  struct Case { u32 handler, type; bool on_var; std::vector<u32> args; u32 err; } cases[] = {
      {H_l_div, TY_INT, false, {1, 0}, 35},          {H_l_mod, TY_UINT, false, {1, 0}, 35},
      {H_l_div, TY_FLOAT, false, {one, 0x80000000u}, 35},
      {H_l_mod, TY_FLOAT, false, {one, 0}, 35},      {H_l_mod, TY_FLOAT, false, {one, one}, 32},
      {H_l_mins, TY_BOOL, false, {1, 0}, 32},        {H_l_bitor, TY_FLOAT, false, {0, 0}, 32},
      {H_l_shiftright, TY_FLOAT, false, {1, 1}, 32}, {H_bitinvert, TY_FLOAT, false, {1}, 32},
      {H_l_divassgn, TY_INT, true, {4, 0}, 35},      {H_l_bitorass, TY_FLOAT, true, {0, 0}, 32},
      {H_l_plusassgn, TY_BOOL, true, {1, 1}, 32},    {H_l_inc, TY_BOOL, true, {1}, 32},
      {H_l_normalize, TY_INT, true, {6, 0, 2}, 35},  {H_l_normalize, TY_BOOL, true, {1, 1, 1}, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "handler " << c.handler << " type " << c.type);
    std::vector<VarEntry*> ops;
    for (u32 a : c.args) ops.push_back(new_const(c.type, a));
    VarEntry* r = c.on_var ? new_var(c.type) : new_temp(c.type);
    r->value = 0x5A5A5A5A;
    if (c.on_var) ops[0] = r;
    if_c_error = 0;
    EXPECT_EQ(call(c.handler, c.on_var ? nullptr : r, ops), 0u);
    EXPECT_EQ(if_c_error, c.err);
    EXPECT_EQ(r->value, 0x5A5A5A5Au);
  }
  // Without a result slot there is nothing to compute; a random range that
  // wraps round does not overflow.
  for (u32 h : {H_l_plus, H_bitinvert})
    EXPECT_EQ(call(h, nullptr, {new_const(TY_INT, 1), new_const(TY_INT, 2)}), 1u) << h;
  VarEntry *r = new_temp(TY_UINT), *top = new_const(TY_UINT, 0xFFFFFFFFu);
  for (int k = 0; k < 100; ++k) ASSERT_EQ(call(H_l_rand, r, {top, top}), 1u);
}
