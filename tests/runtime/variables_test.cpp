// Declarations, temporaries, conversions and the variable operations: the
// refusals of each, and the clean-up that a failure must leave behind.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>

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
// A named variable that the compiler registered but whose declaration has
// not run yet.
VarEntry* undeclared(u32 type) { return take(vartable, type, V_EMPTY); }

// Consecutive temporaries, as a block's group lies in rettable.
VarEntry* temps(std::initializer_list<u32> types) {
  VarEntry* first = S(rettable.next);
  for (u32 t : types) take(rettable, t, V_EMPTY | V_TEMP);
  return first;
}

// An array variable of n elements of `type`: the compiler marks it V_ARRAY
// when it registers the name, the declaration record builds it.
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

TEST_F(Vars, ArraySizesOutOfRange) {
  VarEntry* a = undeclared(TY_INT);
  for (u32 n : {0u, 1048577u}) {
    if_c_error = 0;
    EXPECT_EQ(callw(H_mvarinit, TY_INT, {END_MARK, R(new_const(TY_UINT, n)), R(a)}), 0u);
    EXPECT_EQ(if_c_error, 39u) << n;
    EXPECT_TRUE(a->flags & V_EMPTY);
  }
  const u32 types[] = {TY_INT};
  EXPECT_EQ(createfields(a, 0, 0, types), 0u);
  EXPECT_EQ(if_c_error, 76u);
  VarEntry* full = new_var(TY_INT);
  EXPECT_EQ(createfields(full, 2, 0, types), 0u);
  EXPECT_EQ(if_c_error, 71u);
}

// An element whose init fails takes back everything built before it: no
// block stays live however often the failure repeats.
TEST_F(Vars, FailedElementInitReleasesEverything) {
  const u32 types[] = {TY_STR};
  VarEntry* a = undeclared(TY_STR);
  auto failing = [&] {
    arena_fail_after(7);  // header, storage, two strings, then the third descriptor
    EXPECT_EQ(createfields(a, 3, 0, types), 0u);
    arena_fail_after(0);
    EXPECT_EQ(if_c_error, 1u);
    EXPECT_EQ(a->flags, V_EMPTY);
  };
  const u32 before = arena_live_blocks();
  for (int k = 0; k < 300; ++k) failing();
  EXPECT_EQ(arena_live_blocks(), before);
  ASSERT_EQ(createfields(a, 3, 0, types), 1u);
}

// A loop body's group initialisation runs every round: the second run finds
// the temporaries built and leaves their values alone.
TEST_F(Vars, TemporariesGroupInitLeavesValuesAlone) {
  VarEntry* t = temps({TY_STR, TY_INT, TY_FLOAT});
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 3), 1u);
  for (u32 i = 0; i < 3; ++i) EXPECT_EQ(t[i].flags, V_TEMP);
  st_set(str_desc(&t[0]), "kept", 4);
  t[1].value = 5;
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 3), 1u);
  EXPECT_EQ(str_of(&t[0]), "kept");
  EXPECT_EQ(t[1].value, 5u);
  EXPECT_EQ(callw(H__alltmpinits, 0, {}, 0), 1u);
}

// The clean-up record deletes the group of temporaries and the variables;
// a second run of it meets empty slots, arrays included.
TEST_F(Vars, CleanupDeletesOnce) {
  VarEntry* t = temps({TY_STR, TY_UINT});
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 2), 1u);
  VarEntry* s = new_str("x");
  VarEntry* a = declared_array(TY_STR, 2);
  EXPECT_EQ(callw(H_mvardel, R(t), {R(a), R(s)}, 2), 1u);
  for (VarEntry* v : {&t[0], &t[1], s, a}) EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(a->flags & V_ARRAY, 0u);
  a->flags |= V_ARRAY;
  EXPECT_EQ(callw(H_mvardel, 0, {R(a)}), 0u);
  EXPECT_EQ(if_c_error, 72u);
}

TEST_F(Vars, ConversionsRefuseWhatNoTableHolds) {
  VarEntry* i = new_const(TY_INT, static_cast<u32>(-3));
  VarEntry* u = new_temp(TY_UINT);
  ASSERT_EQ(callw(H_convcall, R(u), {C_l_int_conv, R(i)}, 1), 1u);
  EXPECT_EQ(u->value, 0xFFFFFFFDu);
  // Conversion ids come from a loaded file too: anything past the table.
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
}

// A slot whose declaration has not run yet holds no value to follow.
TEST_F(Vars, EmptySlotsAreRefused) {
  VarEntry* i = new_const(TY_INT, 1);
  VarEntry* s = new_str("x");
  VarEntry* later = undeclared(TY_INT);
  later->flags |= V_ARRAY;
  Ref word = arena_calloc(4);
  const std::pair<const char*, std::function<u32()>> cases[] = {
      {"convert into",
       [&] { return callw(H_convcall, R(undeclared(TY_STR)), {C_c_var_str, R(i)}, 1); }},
      {"convert from",
       [&] {
         return callw(H_convcall, R(new_temp(TY_UINT)), {C_c_str_var, R(undeclared(TY_STR))}, 1);
       }},
      {"convert or assign", [&] { return convert_or_assign(undeclared(TY_STR), s); }},
      {"element", [&] { return callw(H__arrdynelem, word, {R(later), R(new_const(TY_UINT, 0))}); }},
      {"indexing",
       [&] {
         return call(H__arrindexing, new_temp(TY_STR), {undeclared(TY_STR), new_const(TY_UINT, 0)});
       }},
      {"assign", [&] { return call(H_l_assign, nullptr, {undeclared(TY_STR), s}); }},
      {"data", [&] { return call(H_l_dataini, nullptr, {undeclared(TY_INT), i}); }},
      {"sizeof", [&] { return call(H_l_sizeof, new_temp(TY_UINT), {undeclared(TY_INT)}); }},
      {"time", [&] { return call(H_l_time, undeclared(TY_STR), {}); }},
  };
  for (const auto& [what, run] : cases) {
    if_c_error = 0;
    EXPECT_EQ(run(), 0u) << what;
    EXPECT_EQ(if_c_error, 60u) << what;
  }
}

// "clear" passes over slots whose declaration has not run, so that the
// declaration still works afterwards.
TEST_F(Vars, ClearLeavesUndeclaredSlotsAlone) {
  VarEntry* s = new_str("text");
  VarEntry* es = undeclared(TY_STR);
  VarEntry* eb = undeclared(TY_BLOCK);
  EXPECT_EQ(call(H_l_del, nullptr, {s, es, eb}), 1u);
  EXPECT_EQ(str_of(s), "");
  EXPECT_EQ(es->flags, V_EMPTY);
  EXPECT_EQ(eb->flags, V_EMPTY);
  EXPECT_EQ(eb->value, 0u);
  EXPECT_EQ(callw(H_mvarinit, TY_STR, {R(es)}), 1u);
}

TEST_F(Vars, DelaySleepsUntilTheClockAdvanced) {
  static int reads;
  static std::time_t now;
  reads = 0;
  now = 1000;
  wall_clock = [](std::time_t*) -> std::time_t {
    ++reads;
    return now++;
  };
  ASSERT_EQ(call(H_l_delay, nullptr, {new_const(TY_UINT, 2)}), 1u);
  EXPECT_EQ(reads, 3);  // 1000, 1001 (too early), 1002
  // Zero and "negative" delays return at once instead of waiting for years.
  for (u32 s : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    reads = 0;
    EXPECT_EQ(call(H_l_delay, nullptr, {new_const(TY_UINT, s)}), 1u);
    EXPECT_EQ(reads, 0) << s;
  }
}

TEST_F(Vars, TimeIsZeroPaddedToEightCharacters) {
  static std::time_t fixed;
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 4;
  t.tm_mday = 1;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  t.tm_isdst = -1;
  fixed = std::mktime(&t);  // local time, as "time" reads it back
  wall_clock = [](std::time_t*) { return fixed; };
  VarEntry* r = new_temp(TY_STR);
  ASSERT_EQ(call(H_l_time, r, {}), 1u);
  EXPECT_EQ(str_of(r), "09:05:07");
  EXPECT_EQ(str_desc(r)->cursor, str_desc(r)->end);
}

}  // namespace
