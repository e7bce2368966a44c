#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "compiler/limiter.h"
#include "support/qv_test.h"
#include "types/strbase.h"

using namespace qvtest;

namespace {

// A descriptor over a fresh buffer of `cap` characters holding `text`.
StrDesc* desc(const std::string& text, u32 cap = 256) {
  Ref d = arena_calloc(sizeof(StrDesc));
  Ref b = arena_calloc(cap + 1);
  auto* s = at<StrDesc>(d);
  s->start = s->cursor = b;
  s->limit = b + cap;
  st_set(s, text.data(), static_cast<u32>(text.size()));
  return s;
}

std::string text(const StrDesc* d) {
  return std::string(reinterpret_cast<const char*>(mem + d->start), d->end - d->start);
}

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

std::string out_of(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

class Str : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
};

// ---- descriptor routines ----------------------------------------------------------

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

TEST_F(Str, ShiftOpensAndClosesGaps) {
  StrDesc* d = desc("abc", 4);
  st_setloc(d, 1);
  st_shift(d, 1);
  mem[d->cursor] = 'X';
  EXPECT_EQ(text(d), "aXbc");
  st_shift(d, 1);  // full: nothing happens
  EXPECT_EQ(text(d), "aXbc");
  st_shift(d, -1);
  EXPECT_EQ(text(d), "abc");
  st_setloc(d, 3);
  st_shift(d, -1);  // cursor at the end: nothing to remove
  EXPECT_EQ(text(d), "abc");
  expect_sound(d);
}

TEST_F(Str, InsertAtCursorStopsAtCapacity) {
  StrDesc* d = desc("ad", 6);
  StrDesc* s = desc("bcXYZ");
  st_setloc(d, 1);
  st_insert(d, s);
  EXPECT_EQ(text(d), "abcXYd");
  EXPECT_EQ(d->cursor - d->start, 5u);
  expect_sound(d);
  StrDesc* e = desc("[]", 5);
  st_setloc(e, 1);
  st_c_ins("1234", e);
  EXPECT_EQ(text(e), "[123]");
  expect_sound(e);
}

TEST_F(Str, InsertIntoItselfStaysInsideTheBuffer) {
  StrDesc* d = desc("abcd", 10);
  st_setloc(d, 2);
  st_insert(d, d);
  EXPECT_LE(st_len(d), 10u);
  expect_sound(d);
}

TEST_F(Str, CaseChangesOnlyLetters) {
  StrDesc* a = desc("AZaz@[`{");
  st_lowr(a);
  EXPECT_EQ(text(a), "azaz@[`{");
  StrDesc* b = desc("a-z!\xe9");
  st_upr(b);
  EXPECT_EQ(text(b), "A-Z!\xe9");
}

TEST_F(Str, CompareIsSignedBytewise) {
  struct { const char* a; const char* b; i32 want; } cases[] = {
      {"abc", "abd", -1}, {"abd", "abc", 1}, {"ab", "abc", -1}, {"abc", "ab", 1},
      {"", "", 0},        {"same", "same", 0}, {"\xc8", "A", -1}, {"A", "\xc8", 1},
  };
  for (auto& c : cases)
    EXPECT_EQ(st_comp(desc(c.a), desc(c.b)), c.want) << c.a << " vs " << c.b;
}

TEST_F(Str, GetWordStopsAtDelimiterEndOrCapacity) {
  StrDesc* s = desc("  ab cd\x80x");
  StrDesc* w = desc("old text");
  struct { u32 at; const char* want; } cases[] = {
      {0, ""}, {2, "ab"}, {3, "b"}, {5, "cd"}, {7, ""}, {9, ""}, {400, ""},
  };
  for (auto& c : cases) {
    st_setloc(s, c.at);
    Ref cur = s->cursor;
    st_getword(s, w, allchrs);
    EXPECT_EQ(text(w), c.want) << c.at;
    EXPECT_EQ(s->cursor, cur);
    expect_sound(w);
  }
  StrDesc* tiny = desc("", 1);
  st_setloc(s, 2);
  st_getword(s, tiny, allchrs);
  EXPECT_EQ(text(tiny), "a");
}

// ---- type handlers ------------------------------------------------------------------

TEST_F(Str, InitMakesAnEmptyStringAndRefusesAValue) {
  VarEntry* v = empty_str();
  ASSERT_EQ(call(H_l_st_init, nullptr, {v}), 1u);
  EXPECT_EQ(v->flags & V_EMPTY, 0u);
  StrDesc* d = str_desc(v);
  EXPECT_EQ(st_len(d), 0u);
  EXPECT_EQ(st_capacity(d), 256u);
  EXPECT_EQ(call(H_l_st_init, nullptr, {v}), 0u);
  EXPECT_EQ(if_c_error, 71u);
}

TEST_F(Str, InitWithoutMemoryKeepsNothing) {
  VarEntry* v = empty_str();
  // Free lists are LIFO: the block freed last is the next one handed out.
  Ref next_desc = arena_calloc(sizeof(StrDesc));
  arena_free(next_desc, sizeof(StrDesc));
  arena_fail_after(2);  // the descriptor comes, the buffer does not
  EXPECT_EQ(call(H_l_st_init, nullptr, {v}), 0u);
  arena_fail_after(0);
  EXPECT_EQ(if_c_error, 1u);
  EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(arena_calloc(sizeof(StrDesc)), next_desc);
}

TEST_F(Str, DelReleasesAndRefusesAnEmptySlot) {
  VarEntry* v = new_str("text");
  Ref buf = str_desc(v)->start;
  ASSERT_EQ(call(H_l_st_del, nullptr, {v}), 1u);
  EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(arena_alloc(STR_BUFSIZE), buf);  // the buffer is free again
  EXPECT_EQ(call(H_l_st_del, nullptr, {v}), 0u);
  EXPECT_EQ(if_c_error, 72u);
}

TEST_F(Str, ClrAssignCompFtTf) {
  VarEntry* a = new_str("hello");
  VarEntry* b = new_str("xyz");
  EXPECT_EQ(l_st_assign(b, a, 2), 1u);
  EXPECT_EQ(str_of(b), "hello");
  EXPECT_EQ(l_st_comp(a, b, 2), 0);
  EXPECT_EQ(call(H_l_st_clr, nullptr, {a}), 1u);
  EXPECT_EQ(str_of(a), "");
  EXPECT_EQ(l_st_comp(a, b, 2), -1);
  StrDesc* t = desc("scratch");
  EXPECT_EQ(l_st_ft(t, b), 1u);
  EXPECT_EQ(text(t), "hello");
  st_set(t, "lexeme", 6);
  EXPECT_EQ(l_st_tf(t, a), 1u);
  EXPECT_EQ(str_of(a), "lexeme");
}

TEST_F(Str, SavedFormRoundTrip) {
  VarEntry* v = new_str("saved");
  Exchange x{};
  ASSERT_EQ(l_str_mksv(&x, v), 1u);
  EXPECT_EQ(x.length, 6u);
  EXPECT_EQ(mem[x.bytes + 5], 0);
  // As the loader does it: length + 1 bytes, the text with its zero.
  Exchange ld{arena_alloc(x.length + 1), x.length, 0};
  std::memcpy(mem + ld.bytes, mem + x.bytes, x.length);
  VarEntry* c = empty_str();
  ASSERT_EQ(l_str_mkld(&ld, c), 1u);
  EXPECT_EQ(str_of(c), "saved");
  EXPECT_EQ(st_capacity(str_desc(c)), 6u);
  expect_sound(str_desc(c));
  EXPECT_EQ(call(H_l_st_del, nullptr, {c}), 1u);
  Exchange none{0, 0, 0};
  EXPECT_EQ(l_str_mkld(&none, empty_str()), 0u);
}

TEST_F(Str, Conversions) {
  VarEntry* s = new_str("junk");
  VarEntry* i = new_var(TY_INT);
  i->value = static_cast<u32>(-42);
  ASSERT_EQ(c_var_str(i, s), 1u);
  EXPECT_EQ(str_of(s), "-42");
  VarEntry* u = new_var(TY_UINT);
  ASSERT_EQ(c_str_var(new_str("12"), u), 1u);
  EXPECT_EQ(u->value, 12u);
  EXPECT_EQ(c_str_var(new_str("12a"), u), 0u);
  EXPECT_EQ(if_c_error, 5u);
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

// ---- operations -------------------------------------------------------------------

TEST_F(Str, UprLowr) {
  VarEntry* r = new_temp(TY_STR);
  ASSERT_EQ(call(H_l_stlowr, r, {new_str("AZaz")}), 1u);
  EXPECT_EQ(str_of(r), "azaz");
  VarEntry* src = new_str("a-z!");
  ASSERT_EQ(call(H_l_stupr, r, {src}), 1u);
  EXPECT_EQ(str_of(r), "A-Z!");
  EXPECT_EQ(str_of(src), "a-z!");
}

TEST_F(Str, ConcatJoinsAndCuts) {
  VarEntry* r = new_temp(TY_STR);
  ASSERT_EQ(call(H_l_stcat, r, {new_str("ab"), new_str(""), new_str("cd")}), 1u);
  EXPECT_EQ(str_of(r), "abcd");
  std::string l200(200, 'x');
  ASSERT_EQ(call(H_l_stcat, r, {new_str(l200), new_str(std::string(200, 'y'))}), 1u);
  EXPECT_EQ(str_of(r).size(), 256u);
  EXPECT_EQ(str_of(r).substr(198, 4), "xxyy");
  expect_sound(str_desc(r));
  // The same result slot again, shorter: nothing of the old text remains.
  ASSERT_EQ(call(H_l_stcat, r, {new_str("p"), new_str("q")}), 1u);
  EXPECT_EQ(str_of(r), "pq");
}

TEST_F(Str, LengthAsciiAndOutput) {
  VarEntry* a = new_temp(TY_STR);
  ASSERT_EQ(call(H_l_ascii, a, {new_const(TY_UINT, 65), new_const(TY_UINT, 0),
                                new_const(TY_UINT, 0x142)}),
            1u);
  VarEntry* n = new_temp(TY_UINT);
  ASSERT_EQ(call(H_l_strlen, n, {a}), 1u);
  EXPECT_EQ(n->value, 3u);
  EXPECT_EQ(str_of(a), std::string("A\0B", 3));
  ASSERT_EQ(call(H_l_strlen, n, {new_str("")}), 1u);
  EXPECT_EQ(n->value, 0u);
  EXPECT_EQ(out_of([&] { call(H_l_stdout, nullptr, {a, new_str("-"), new_str("2.5")}); }),
            "A-2.5");
  EXPECT_EQ(out_of([&] { call(H_l_puts, nullptr, {new_str("x"), new_str("y")}); }), "xy\n");
}

TEST_F(Str, Substr) {
  VarEntry* s = new_str("hello");
  VarEntry* r = new_temp(TY_STR);
  struct { u32 from; int count; const char* want; } cases[] = {
      {1, 3, "ell"}, {1, -1, "e"}, {9, 2, ""}, {5, 1, ""}, {0, 0, ""},
      {3, 100, "lo"}, {0xFFFFFFFF, 2, ""},
  };
  for (auto& c : cases) {
    VarEntry* from = new_const(TY_UINT, c.from);
    u32 ok = c.count < 0 ? call(H_l_substr, r, {s, from})
                         : call(H_l_substr, r, {s, from, new_const(TY_UINT, c.count)});
    ASSERT_EQ(ok, 1u);
    EXPECT_EQ(str_of(r), c.want) << c.from << "," << c.count;
  }
}

TEST_F(Str, WordLeavesTheCursorAtThePosition) {
  VarEntry* s = new_str("  ab cd");
  VarEntry* r = new_temp(TY_STR);
  struct { u32 at; const char* want; u32 cursor; } cases[] = {
      {2, "ab", 2}, {0, "", 0}, {5, "cd", 5}, {99, "", 7},
  };
  for (auto& c : cases) {
    ASSERT_EQ(call(H_l_getword, r, {s, new_const(TY_UINT, c.at)}), 1u);
    EXPECT_EQ(str_of(r), c.want);
    EXPECT_EQ(str_desc(s)->cursor - str_desc(s)->start, c.cursor);
  }
}

TEST_F(Str, InsubsOverwritesWithoutGrowing) {
  struct { const char* target; const char* src; u32 at; const char* want; } cases[] = {
      {"hello", "XYZ", 3, "helXY"}, {"hello", "XY", 0, "XYllo"},
      {"hello", "XYZ", 5, "hello"}, {"hello", "", 1, "hello"},
      {"", "abc", 0, ""},
  };
  for (auto& c : cases) {
    VarEntry* t = new_str(c.target);
    ASSERT_EQ(call(H_l_insubs, nullptr, {t, new_str(c.src), new_const(TY_UINT, c.at)}), 1u);
    EXPECT_EQ(str_of(t), c.want);
    expect_sound(str_desc(t));
  }
}

}  // namespace
