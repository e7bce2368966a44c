// Declarations, temporaries, conversions and the variable operations: the
// refusals of each, and the clean-up that a failure must leave behind.
#include <gtest/gtest.h>

#include <ctime>
#include <tuple>
#include <functional>

#include "runtime/array.h"
#include "runtime/strbase.h"
#include "runtime/variables.h"
#include "support/qv_test.h"

namespace qv {
extern std::time_t (*wall_clock)(std::time_t*);
}

using namespace qvtest;

namespace {

Ref R(const VarEntry* v) { return ref_of(v); }
// A variable the compiler registered whose declaration has not run yet.
VarEntry* undeclared(u32 type) { return take(vartable, type, V_EMPTY); }

VarEntry* declared_array(u32 type, u32 n) {
  VarEntry* a = undeclared(type);
  a->flags |= V_ARRAY;
  EXPECT_EQ(callw(H_mvarinit, type, {END_MARK, R(new_const(TY_UINT, n)), R(a)}), 1u);
  return a;
}

class Vars : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  void TearDown() override { wall_clock = std::time; }
};

// A slot that holds a value is never built over (71), an empty one never
// released twice (72), whatever its type.
TEST_F(Vars, EveryTypeRefusesASecondInitAndAnEmptyDelete) {
  for (u32 type : {TY_STR, TY_BLOCK, TY_BOOL, TY_INT, TY_UINT, TY_FLOAT}) {
    VarEntry* v = new_var(type);
    if_c_error = 0;
    EXPECT_EQ(type_init(v), 0u) << type;
    EXPECT_EQ(if_c_error, 71u) << type;
    EXPECT_EQ(type_del(v), 1u) << type;
    EXPECT_TRUE(v->flags & V_EMPTY) << type;
    EXPECT_EQ(type_del(v), 0u) << type;
    EXPECT_EQ(if_c_error, 72u) << type;
    EXPECT_EQ(type_init(v), 1u) << type;  // ready for the block's next run
  }
}

TEST_F(Vars, ArraysOutOfRangeAndAFailedElementTakeBackEverything) {
  VarEntry* a = undeclared(TY_STR);
  for (u32 n : {0u, 1048577u}) {
    EXPECT_EQ(callw(H_mvarinit, TY_STR, {END_MARK, R(new_const(TY_UINT, n)), R(a)}), 0u);
    EXPECT_EQ(if_c_error, 39u) << n;
  }
  const u32 types[] = {TY_STR};
  EXPECT_EQ(createfields(a, 0, 0, types), 0u);
  EXPECT_EQ(if_c_error, 76u);
  EXPECT_EQ(createfields(new_var(TY_INT), 2, 0, types), 0u);
  EXPECT_EQ(if_c_error, 71u);
  st_storage_release();
  const u32 before = arena_live_blocks();
  arena_fail_after(7);  // header, storage, two strings, then the third descriptor
  EXPECT_EQ(createfields(a, 3, 0, types), 0u);
  arena_fail_after(0);
  EXPECT_EQ(if_c_error, 1u);
  EXPECT_EQ(a->flags, V_EMPTY);
  st_storage_release();  // the two strings' storage was kept for the next ones
  EXPECT_EQ(arena_live_blocks(), before);
  ASSERT_EQ(createfields(a, 3, 0, types), 1u);
}

// A loop body's group initialisation runs every round and leaves the
// values alone; the clean-up deletes the group and the variables once.
TEST_F(Vars, TemporariesAndCleanUp) {
  VarEntry* t = S(rettable.next);
  for (u32 type : {TY_STR, TY_INT, TY_FLOAT}) take(rettable, type, V_EMPTY | V_TEMP);
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 3), 1u);
  for (u32 i = 0; i < 3; ++i) EXPECT_EQ(t[i].flags, V_TEMP);
  st_set(str_desc(&t[0]), "kept", 4);
  t[1].value = 5;
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 3), 1u);
  EXPECT_EQ(str_of(&t[0]), "kept");
  EXPECT_EQ(t[1].value, 5u);
  EXPECT_EQ(callw(H__alltmpinits, 0, {}, 0), 1u);
  VarEntry *s = new_str("x"), *a = declared_array(TY_STR, 2);
  EXPECT_EQ(callw(H_mvardel, R(t), {R(a), R(s)}, 3), 1u);
  for (VarEntry* v : {&t[0], &t[1], &t[2], s, a}) EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(a->flags & V_ARRAY, 0u);
  a->flags |= V_ARRAY;
  EXPECT_EQ(callw(H_mvardel, 0, {R(a)}), 0u);
  EXPECT_EQ(if_c_error, 72u);
}

TEST_F(Vars, ConversionsRefuseWhatNoTableHolds) {
  VarEntry *i = new_const(TY_INT, static_cast<u32>(-3)), *u = new_temp(TY_UINT);
  // Conversion ids come from a loaded file too: anything past the table
  // (what the valid ones compute: compiler/conversions.qv).
  for (u32 bad : {0u, static_cast<u32>(C_COUNT), 0xFFFFFFFFu}) {
    if_c_error = 0;
    EXPECT_EQ(callw(H_convcall, R(u), {bad, R(i)}, 1), 0u);
    EXPECT_EQ(if_c_error, 61u);
  }
  VarEntry* s = new_str("old");
  EXPECT_EQ(convert_or_assign(new_const(TY_UINT, 17), s), 1u);
  EXPECT_EQ(str_of(s), "17");
  EXPECT_EQ(convert_or_assign(s, new_var(TY_BOOL)), 0u);
  EXPECT_EQ(if_c_error, 61u);
  EXPECT_EQ(convert_or_assign(s, declared_array(TY_STR, 1)), 0u);
  EXPECT_EQ(if_c_error, 32u);
  // A slot of a loaded file may name a type past the table: the first such
  // one too, on either side.
  for (const u32 bad : {static_cast<u32>(TY_COUNT), static_cast<u32>(TY_COUNT) + 1}) {
    VarEntry odd{5, bad, 0};
    if_c_error = 0;
    EXPECT_EQ(convert_or_assign(&odd, u), 0u) << bad;
    EXPECT_EQ(if_c_error, 61u) << bad;
    if_c_error = 0;
    EXPECT_EQ(convert_or_assign(i, &odd), 0u) << bad;
    EXPECT_EQ(if_c_error, 61u) << bad;
  }
}

// A slot whose declaration has not run yet holds no value to follow ("="
// and an element: errors/run_time.tab).
TEST_F(Vars, EmptySlotsAreRefused) {
  VarEntry *i = new_const(TY_INT, 1), *s = new_str("x"), *zero = new_const(TY_UINT, 0);
  const std::function<u32()> cases[] = {
      [&] { return callw(H_convcall, R(undeclared(TY_STR)), {C_c_var_str, R(i)}, 1); },
      [&] { return callw(H_convcall, R(new_temp(TY_UINT)), {C_c_str_var, R(undeclared(TY_STR))}, 1); },
      [&] { return convert_or_assign(undeclared(TY_STR), s); },
      [&] { return call(H__arrindexing, new_temp(TY_STR), {undeclared(TY_STR), zero}); },
      [&] { return call(H_l_dataini, nullptr, {undeclared(TY_INT), i}); },
      [&] { return call(H_l_sizeof, new_temp(TY_UINT), {undeclared(TY_INT)}); },
      [&] { return call(H_l_time, undeclared(TY_STR), {}); },
  };
  for (const auto& run : cases) {
    if_c_error = 0;
    EXPECT_EQ(run(), 0u) << "case " << (&run - cases);
    EXPECT_EQ(if_c_error, 60u) << "case " << (&run - cases);
  }
  // "clear" passes over them, so that their declaration still works.
  VarEntry *es = undeclared(TY_STR), *eb = undeclared(TY_BLOCK);
  EXPECT_EQ(call(H_l_del, nullptr, {s, es, eb}), 1u);
  EXPECT_EQ(str_of(s), "");
  EXPECT_EQ(es->flags | eb->flags | eb->value, u32{V_EMPTY});
  EXPECT_EQ(callw(H_mvarinit, TY_STR, {R(es)}), 1u);
}

TEST_F(Vars, DelayAndTimeReadTheClock) {
  static int reads;
  static std::time_t now;
  reads = 0;
  now = 1000;
  wall_clock = [](std::time_t*) { return ++reads, now++; };
  ASSERT_EQ(call(H_l_delay, nullptr, {new_const(TY_UINT, 2)}), 1u);
  EXPECT_EQ(reads, 3);  // 1000, 1001 (too early), 1002
  // Zero and "negative" delays return at once instead of waiting for years.
  for (u32 s : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    reads = 0;
    EXPECT_EQ(call(H_l_delay, nullptr, {new_const(TY_UINT, s)}), 1u);
    EXPECT_EQ(reads, 0) << s;
  }
  // Two digits each, the tens too (10, 21, 32: a tens digit that another
  // divisor than 10 would get wrong).
  for (const auto& [h, m, s, text] : {std::tuple{9, 5, 7, "09:05:07"}, {23, 48, 59, "23:48:59"},
                                      {10, 21, 32, "10:21:32"}}) {
    std::tm t{};
    t.tm_year = 124, t.tm_mday = 1, t.tm_hour = h, t.tm_min = m, t.tm_sec = s, t.tm_isdst = -1;
    now = std::mktime(&t);  // local time, as "time" reads it back
    VarEntry* r = new_temp(TY_STR);
    ASSERT_EQ(call(H_l_time, r, {}), 1u);
    EXPECT_EQ(str_of(r), text);
    EXPECT_EQ(str_desc(r)->cursor, str_desc(r)->end);
  }
}

}  // namespace
