// Strings: the descriptor routines at their capacity, and the refusal of
// empty slots (a declaration not run yet) by every operation.
#include <gtest/gtest.h>

#include <string>

#include "runtime/strbase.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

// The invariants every routine must leave behind.
void expect_sound(const StrDesc* d) {
  EXPECT_LE(d->start, d->cursor);
  EXPECT_LE(d->cursor, d->end);
  EXPECT_LE(d->end, d->limit);
  EXPECT_EQ(mem[d->end], 0);
  EXPECT_EQ(mem[d->limit], 0);
}

class Str : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
};

TEST_F(Str, DupCutsAtCapacityAndKeepsCursorOffset) {
  StrDesc* src = text_record("abcdefgh");
  st_setloc(src, 6);
  StrDesc* small = text_record("", 4);
  st_dup(small, src);
  EXPECT_EQ(text_of(small), "abcd");
  EXPECT_EQ(small->cursor, small->end);  // offset 6 clamped to the copied text
  expect_sound(small);
  StrDesc* big = text_record("zzzzzzzzzzzz");
  st_dup(big, src);
  EXPECT_EQ(text_of(big), "abcdefgh");
  EXPECT_EQ(big->cursor - big->start, 6u);
  expect_sound(big);
}

TEST_F(Str, CaseChangesOnlyLetters) {
  StrDesc* a = text_record("AZaz@[`{");
  st_lowr(a);
  EXPECT_EQ(text_of(a), "azaz@[`{");
  StrDesc* b = text_record("a-z!\xe9");
  st_upr(b);
  EXPECT_EQ(text_of(b), "A-Z!\xe9");
}

TEST_F(Str, InitWithoutMemoryKeepsNothing) {
  VarEntry* v = take(vartable, TY_STR, V_EMPTY);
  const u32 live = arena_live_blocks();
  arena_fail_after(2);  // the descriptor comes, the buffer does not
  EXPECT_EQ(call(H_l_st_init, nullptr, {v}), 0u);
  arena_fail_after(0);
  EXPECT_EQ(if_c_error, 1u);
  EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(arena_live_blocks(), live);
}

// Every handler that would follow an empty str slot's value refuses it.
TEST_F(Str, EmptySlotsAreRefused) {
  VarEntry* e = take(vartable, TY_STR, V_EMPTY);
  VarEntry* s = new_str("abc");
  VarEntry* n = new_const(TY_UINT, 1);
  VarEntry* i = new_var(TY_INT);
  Exchange x{};
  StrDesc* t = text_record("t");
  struct { const char* what; u32 got; } cases[] = {
      {"clr", call(H_l_st_clr, nullptr, {e})},
      {"assign to", l_st_assign(e, s, 2)},
      {"assign from", l_st_assign(s, e, 2)},
      {"ft", l_st_ft(t, e)},
      {"tf", l_st_tf(t, e)},
      {"mksv", l_str_mksv(&x, e)},
      {"var to str", c_var_str(i, e)},
      {"str to var", c_str_var(e, i)},
      {"upr", call(H_l_stupr, s, {e})},
      {"upr result", call(H_l_stupr, e, {s})},
      {"lowr", call(H_l_stlowr, s, {e})},
      {"concat", call(H_l_stcat, s, {s, e})},
      {"length", call(H_l_strlen, n, {e})},
      {"substr", call(H_l_substr, s, {e, n})},
      {"word", call(H_l_getword, s, {e, n})},
      {"insubs", call(H_l_insubs, nullptr, {e, s, n})},
      {"ascii", call(H_l_ascii, e, {n})},
      {"stdout", call(H_l_stdout, nullptr, {s, e})},
      {"puts", call(H_l_puts, nullptr, {e})},
  };
  for (auto& c : cases) EXPECT_EQ(c.got, 0u) << c.what;
  if_c_error = 0;
  EXPECT_EQ(l_st_comp(s, e, 2), 2);
  EXPECT_EQ(if_c_error, 60u);
  EXPECT_EQ(str_of(s), "abc");
}

}  // namespace
