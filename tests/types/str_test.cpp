// Strings: copying into a smaller buffer, a descriptor without its buffer,
// and the refusal of empty slots (a declaration not run yet).
#include <gtest/gtest.h>

#include <string>

#include "runtime/strbase.h"
#include "support/qv_test.h"

using namespace qvtest;

TEST(Str, DupCutsAtCapacityAndKeepsTheCursorOffset) {
  fresh_env();
  StrDesc* src = text_record("abcdefgh");
  st_setloc(src, 6);
  StrDesc *small = text_record("", 4), *big = text_record("zzzzzzzzzzzz");
  st_dup(small, src);
  st_dup(big, src);
  EXPECT_EQ(text_of(small), "abcd");
  EXPECT_EQ(small->cursor, small->end);
  EXPECT_EQ(mem[small->end], 0);
  EXPECT_EQ(text_of(big), "abcdefgh");
  EXPECT_EQ(big->cursor - big->start, 6u);
  EXPECT_EQ(mem[big->end], 0);
}

// A shift that makes room at the cursor does nothing to a full text (its
// end would pass the limit, where the buffer's last NUL is), and a shift
// back does nothing with the cursor at the end. No shift moves a byte
// outside its text.
TEST(Str, ShiftsStayInsideTheText) {
  fresh_env();
  StrDesc* full = text_record("abcd", 4);
  st_setloc(full, 1);
  st_shift(full, 1);
  EXPECT_EQ(text_of(full), "abcd");
  EXPECT_EQ(full->end, full->limit);
  StrDesc* room = text_record("abc", 4);
  const StrDesc* next = text_record("xyz", 4);  // the arena's next buffer
  st_setloc(room, 1);
  st_shift(room, 1);
  EXPECT_EQ(room->end, room->limit);
  EXPECT_EQ(text_of(room), "abbc");
  st_shift(room, -1);
  EXPECT_EQ(text_of(room), "abc");
  st_setloc(room, 3);
  st_shift(room, -1);
  EXPECT_EQ(text_of(room), "abc");
  EXPECT_EQ(mem[room->end], 0);
  EXPECT_EQ(text_of(next), "xyz");
}

TEST(Str, InitWithoutMemoryKeepsNothing) {
  fresh_env();
  VarEntry* v = take(vartable, TY_STR, V_EMPTY);
  const u32 live = arena_live_blocks();
  arena_fail_after(2);  // the descriptor comes, the buffer does not
  EXPECT_EQ(call(H_l_st_init, nullptr, {v}), 0u);
  arena_fail_after(0);
  EXPECT_EQ(if_c_error, 1u);
  EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(arena_live_blocks(), live);
}

TEST(Str, EmptySlotsAreRefused) {
  fresh_env();
  VarEntry *e = take(vartable, TY_STR, V_EMPTY), *s = new_str("abc");
  VarEntry *n = new_const(TY_UINT, 1), *i = new_var(TY_INT);
  Exchange x{};
  StrDesc* t = text_record("t");
  const u32 got[] = {
      call(H_l_st_clr, nullptr, {e}),  l_st_assign(e, s, 2),  l_st_assign(s, e, 2),
      l_st_ft(t, e),                   l_st_tf(t, e),         l_str_mksv(&x, e),
      c_var_str(i, e),                 c_str_var(e, i),       call(H_l_stupr, s, {e}),
      call(H_l_stupr, e, {s}),         call(H_l_stlowr, s, {e}), call(H_l_stcat, s, {s, e}),
      call(H_l_strlen, n, {e}),        call(H_l_substr, s, {e, n}), call(H_l_getword, s, {e, n}),
      call(H_l_insubs, nullptr, {e, s, n}), call(H_l_ascii, e, {n}),
      call(H_l_stdout, nullptr, {s, e}), call(H_l_puts, nullptr, {e}),
  };
  for (u32 k = 0; k < std::size(got); ++k) EXPECT_EQ(got[k], 0u) << "case " << k;
  if_c_error = 0;
  EXPECT_EQ(l_st_comp(s, e, 2), 2);
  EXPECT_EQ(if_c_error, 60u);
  EXPECT_EQ(str_of(s), "abc");
}

// A deleted value's storage serves the next str value as if new: an empty
// text over a zeroed buffer of the usual capacity. Storage of another size
// (a loaded text) goes back to the arena at once; the kept storage goes
// back when the run ends.
TEST(Str, StorageIsKeptForTheNextValueAndComesBackClean) {
  fresh_env();
  st_storage_release();
  const u32 live = arena_live_blocks();
  VarEntry* v = take(vartable, TY_STR, V_EMPTY);
  ASSERT_EQ(call(H_l_st_init, nullptr, {v}), 1u);
  const Ref first = v->value;
  st_set(str_desc(v), std::string(300, 'x').c_str(), 300);
  st_set(str_desc(v), "short", 5);
  ASSERT_EQ(call(H_l_st_del, nullptr, {v}), 1u);
  EXPECT_EQ(arena_live_blocks(), live + 2);  // kept
  ASSERT_EQ(call(H_l_st_init, nullptr, {v}), 1u);
  EXPECT_EQ(v->value, first);
  const StrDesc* d = str_desc(v);
  EXPECT_EQ(d->end, d->start);
  EXPECT_EQ(d->cursor, d->start);
  EXPECT_EQ(st_capacity(d), STR_CAPACITY);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem + d->start), STR_BUFSIZE),
            std::string(STR_BUFSIZE, '\0'));
  ASSERT_EQ(call(H_l_st_del, nullptr, {v}), 1u);

  VarEntry* loaded = take(vartable, TY_STR, V_EMPTY);
  const Ref bytes = arena_alloc(5);  // the text, its zero and the zero at limit
  std::memcpy(mem + bytes, "abc", 4);
  Exchange x{bytes, 4, 0};
  ASSERT_EQ(l_str_mkld(&x, loaded), 1u);
  EXPECT_EQ(str_of(loaded), "abc");
  ASSERT_EQ(call(H_l_st_del, nullptr, {loaded}), 1u);
  EXPECT_EQ(arena_live_blocks(), live + 2);  // only the first value's storage
  st_storage_release();
  EXPECT_EQ(arena_live_blocks(), live);
}
