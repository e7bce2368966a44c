// Strings: the descriptor routines at their capacity, the refusal of empty
// slots, and the operations' edges that the golden programs do not reach.
#include <gtest/gtest.h>

#include <string>

#include "compiler/limiter.h"
#include "support/qv_test.h"
#include "types/strbase.h"

using namespace qvtest;

namespace {

StrDesc* desc(const std::string& text, u32 cap = 256) { return text_record(text, cap); }
std::string text(const StrDesc* d) { return text_of(d); }

// The invariants every routine must leave behind.
void expect_sound(const StrDesc* d) {
  EXPECT_LE(d->start, d->cursor);
  EXPECT_LE(d->cursor, d->end);
  EXPECT_LE(d->end, d->limit);
  EXPECT_EQ(mem[d->end], 0);
  EXPECT_EQ(mem[d->limit], 0);
}

VarEntry* empty_str() {
  VarEntry* v = S(vartable.next);
  vartable.next += 12;
  v->type = TY_STR;
  v->flags = V_EMPTY;
  v->value = 0;
  return v;
}

class Str : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
};

TEST_F(Str, DupCutsAtCapacityAndKeepsCursorOffset) {
  StrDesc* src = desc("abcdefgh");
  st_setloc(src, 6);
  StrDesc* small = desc("", 4);
  st_dup(small, src);
  EXPECT_EQ(text(small), "abcd");
  EXPECT_EQ(small->cursor, small->end);  // offset 6 clamped to the copied text
  expect_sound(small);
  StrDesc* big = desc("zzzzzzzzzzzz");
  st_dup(big, src);
  EXPECT_EQ(text(big), "abcdefgh");
  EXPECT_EQ(big->cursor - big->start, 6u);
  expect_sound(big);
}

TEST_F(Str, CaseChangesOnlyLetters) {
  StrDesc* a = desc("AZaz@[`{");
  st_lowr(a);
  EXPECT_EQ(text(a), "azaz@[`{");
  StrDesc* b = desc("a-z!\xe9");
  st_upr(b);
  EXPECT_EQ(text(b), "A-Z!\xe9");
}

// A word starts at the position and ends at a delimiter; a byte above 127
// is one, and a position past the end gives an empty word.
TEST_F(Str, GetWordStopsAtDelimiterOrEnd) {
  StrDesc* s = desc("  ab cd\x80x");
  StrDesc* w = desc("old text");
  for (auto [at, want] : {std::pair<u32, const char*>{3, "b"}, {7, ""}, {9, ""}, {400, ""}}) {
    st_setloc(s, at);
    Ref cur = s->cursor;
    st_getword(s, w, allchrs);
    EXPECT_EQ(text(w), want) << at;
    EXPECT_EQ(s->cursor, cur);
    expect_sound(w);
  }
}

TEST_F(Str, InitWithoutMemoryKeepsNothing) {
  VarEntry* v = empty_str();
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
  VarEntry* e = empty_str();
  VarEntry* s = new_str("abc");
  VarEntry* n = new_const(TY_UINT, 1);
  VarEntry* i = new_var(TY_INT);
  Exchange x{};
  StrDesc* t = desc("t");
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

TEST_F(Str, SubstrPastTheEnd) {
  VarEntry* s = new_str("hello");
  VarEntry* r = new_temp(TY_STR);
  struct { u32 from, count; const char* want; } cases[] = {
      {5, 1, ""}, {0, 0, ""}, {3, 100, "lo"}, {0xFFFFFFFF, 2, ""}, {2, 0xFFFFFFFF, "llo"},
  };
  for (auto& c : cases) {
    ASSERT_EQ(call(H_l_substr, r, {s, new_const(TY_UINT, c.from), new_const(TY_UINT, c.count)}),
              1u);
    EXPECT_EQ(str_of(r), c.want) << c.from << "," << c.count;
  }
}

TEST_F(Str, InsubsOverwritesWithoutGrowing) {
  struct { const char* target; const char* src; u32 at; const char* want; } cases[] = {
      {"hello", "XY", 0, "XYllo"}, {"hello", "XYZ", 5, "hello"},
      {"hello", "", 1, "hello"},   {"", "abc", 0, ""},
      {"hello", "XYZ", 0xFFFFFFFF, "hello"},
  };
  for (auto& c : cases) {
    VarEntry* t = new_str(c.target);
    ASSERT_EQ(call(H_l_insubs, nullptr, {t, new_str(c.src), new_const(TY_UINT, c.at)}), 1u);
    EXPECT_EQ(str_of(t), c.want);
    expect_sound(str_desc(t));
  }
}

}  // namespace
