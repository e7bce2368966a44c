// bool: slot handlers, text, conversions, comparisons, logic, "?" and "if".
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Bool : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  VarEntry* b(u32 v) { return new_const(TY_BOOL, v); }
  VarEntry* i(i32 v) { return new_const(TY_INT, static_cast<u32>(v)); }
  VarEntry* f(float v) { return new_const(TY_FLOAT, float_bits(v)); }
  StrDesc* text(u32 cap = 256) {
    auto* t = at<StrDesc>(arena_calloc(sizeof(StrDesc)));
    Ref buf = arena_calloc(cap + 1);
    t->start = t->cursor = t->end = buf;
    t->limit = buf + cap;
    return t;
  }
  std::string str(const StrDesc* t) {
    return std::string(reinterpret_cast<char*>(mem + t->start), t->end - t->start);
  }
};

TEST_F(Bool, SlotHandlersAndText) {
  VarEntry* v = new_var(TY_BOOL);
  EXPECT_EQ(v->value, 0u);
  EXPECT_EQ(call(H_l_log_init, nullptr, {v}), 0u);
  EXPECT_EQ(if_c_error, 71u);
  EXPECT_EQ(call(H_l_log_del, nullptr, {v}), 1u);
  EXPECT_EQ(call(H_l_log_del, nullptr, {v}), 0u);
  EXPECT_EQ(if_c_error, 72u);

  StrDesc* t = text();
  ASSERT_EQ(l_literalstr(t, b(1)), 1u);
  EXPECT_EQ(str(t), "TRUE");
  EXPECT_EQ(mem[t->end], 0);
  ASSERT_EQ(l_literalstr(t, b(0)), 1u);
  EXPECT_EQ(str(t), "FALSE");  // shorter text replaces, never appends
  EXPECT_EQ(l_literalstr(t, b(7)), 0u);
  EXPECT_EQ(if_c_error, 39u);
  EXPECT_EQ(str(t), "");
  StrDesc* small = text(3);
  ASSERT_EQ(l_literalstr(small, b(1)), 1u);
  EXPECT_EQ(str(small), "TRU");

  EXPECT_EQ(l_log_comp(b(1), b(1), 2), 0);
  EXPECT_EQ(l_log_comp(b(1), b(0), 2), 2);
}

TEST_F(Bool, Conversions) {
  VarEntry* d = new_var(TY_BOOL);
  struct Case {
    u32 (*fn)(VarEntry*, VarEntry*);
    VarEntry* src;
    u32 want;
  } cases[] = {
      {l_intlog, i(5), 1},
      {l_intlog, i(0), 0},
      {l_intlog, new_const(TY_UINT, 0x80000000u), 1},
      {l_floatlog, f(-0.0f), 0},
      {l_floatlog, f(0.0f), 0},
      {l_floatlog, f(std::nanf("")), 1},
      {l_floatlog, f(1e-40f), 1},
      {l_logint, b(1), 1},
      {l_logfloat, b(1), float_bits(1.0f)},
      {l_logfloat, b(0), float_bits(0.0f)},
  };
  for (const Case& c : cases) {
    d->value = 0xAAAAAAAA;
    EXPECT_EQ(c.fn(c.src, d), 1u);
    EXPECT_EQ(d->value, c.want);
  }
}

TEST_F(Bool, Comparisons) {
  const u32 ops[] = {H_l_eq, H_l_ne, H_l_gt, H_l_lt, H_l_ge, H_l_le};
  struct Case {
    VarEntry* a;
    VarEntry* b;
    const char* want;  // results of == != > < >= <=
  } cases[] = {
      {i(-1), i(1), "010101"},
      {i(2), i(2), "100011"},
      {new_const(TY_UINT, 0xFFFFFFFFu), new_const(TY_UINT, 1), "011010"},
      {b(1), b(0), "010000"},  // different, but neither greater nor less
      {b(1), b(1), "100011"},
      {f(std::nanf("")), f(std::nanf("")), "010000"},
      {f(-0.0f), f(0.0f), "100011"},
      {f(1.5f), f(-2.0f), "011010"},
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

TEST_F(Bool, NotInvertAndOr) {
  VarEntry* r = new_temp(TY_BOOL);
  if_c_error = 9;
  call(H_log_no, r, {b(5)});
  EXPECT_EQ(r->value, 0u);
  EXPECT_EQ(if_c_error, 0u);
  call(H_log_no, r, {b(0)});
  EXPECT_EQ(r->value, 1u);

  VarEntry* v = new_var(TY_BOOL);
  ASSERT_EQ(call(H_log_invert, nullptr, {v}), 1u);
  EXPECT_EQ(v->value, 1u);
  ASSERT_EQ(call(H_log_invert, r, {v}), 1u);
  EXPECT_EQ(v->value, 0u);
  EXPECT_EQ(r->value, 0u);

  call(H_l_and, r, {b(1), b(1), b(0), b(1)});
  EXPECT_EQ(r->value, 0u);
  call(H_l_and, r, {b(1), b(2)});
  EXPECT_EQ(r->value, 1u);
  call(H_l_or, r, {b(0), b(0), b(0)});
  EXPECT_EQ(r->value, 0u);
  call(H_l_or, r, {b(0), b(3)});
  EXPECT_EQ(r->value, 1u);

  // Up to 32 operands.
  std::vector<u32> words;
  for (int k = 0; k < 32; ++k) words.push_back(ref_of(b(k == 31 ? 1 : 0)));
  EXPECT_EQ(handlers[H_l_or](ref_of(r), reinterpret_cast<const u8*>(words.data()), 32), 1u);
  EXPECT_EQ(r->value, 1u);
}

TEST_F(Bool, ChooseValue) {
  VarEntry* r = new_temp(TY_INT);
  ASSERT_EQ(call(H_l_ifassign, r, {b(1), i(4), i(5)}), 1u);
  EXPECT_EQ(r->value, 4u);
  // The third operand is converted to the result's type.
  ASSERT_EQ(call(H_l_ifassign, r, {b(0), i(4), f(-2.9f)}), 1u);
  EXPECT_EQ(as_int(r->value), -2);
  // A block cannot become an int.
  EXPECT_EQ(call(H_l_ifassign, r, {b(0), i(4), new_const(TY_BLOCK, END_BLOCK)}), 0u);
  EXPECT_EQ(if_c_error, 61u);
}

TEST_F(Bool, IfRunsTheChosenBlock) {
  VarEntry* x = new_var(TY_INT);
  CodeBuilder cb;
  auto block_adding = [&](i32 k) {
    VarEntry* kc = i(k);
    Ref blk = cb.begin_block();
    cb.record(H_l_plusassgn, 0, {ref_of(x), ref_of(kc)});
    cb.end_block();
    return cb.block_slot(blk);
  };
  VarEntry* then_blk = block_adding(1);
  VarEntry* else_blk = block_adding(100);

  ASSERT_EQ(call(H_log_if, nullptr, {b(1), then_blk, else_blk}), 1u);
  EXPECT_EQ(x->value, 1u);
  ASSERT_EQ(call(H_log_if, nullptr, {b(0), then_blk, else_blk}), 1u);
  EXPECT_EQ(x->value, 101u);
  ASSERT_EQ(call(H_log_if, nullptr, {b(0), then_blk}), 1u);  // no else: nothing runs
  EXPECT_EQ(x->value, 101u);
}

}  // namespace
