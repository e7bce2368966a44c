#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "driver/variables.h"
#include "support/qv_test.h"
#include "types/array.h"
#include "types/strbase.h"

namespace qv {
extern std::time_t (*wall_clock)(std::time_t*);
}

using namespace qvtest;

namespace {

// Calls a handler with raw parameter words (declaration markers, ids).
u32 callw(u32 handler, Ref result, std::initializer_list<u32> words, u8 extra = 0) {
  std::vector<u32> w(words);
  u32 count = static_cast<u32>(w.size()) | (u32{extra} << 8);
  return handlers[handler](result, reinterpret_cast<const u8*>(w.data()), count);
}

Ref R(const VarEntry* v) { return ref_of(v); }

// A named variable that the compiler registered but whose declaration has
// not run yet.
VarEntry* undeclared(u32 type) {
  VarEntry* v = S(vartable.next);
  vartable.next += 12;
  v->type = type;
  v->flags = V_EMPTY;
  v->value = 0;
  return v;
}

// Consecutive temporaries, as a block's group lies in rettable.
VarEntry* temps(std::initializer_list<u32> types) {
  VarEntry* first = S(rettable.next);
  for (u32 t : types) {
    VarEntry* v = S(rettable.next);
    rettable.next += 12;
    v->type = t;
    v->flags = V_EMPTY | V_TEMP;
  }
  return first;
}

VarEntry* elem(const VarEntry* arr, u32 i) {
  return S(at<ArrHead>(arr->value)->data + 12 * i);
}

// An array variable of n elements of `type`: the compiler marks it V_ARRAY
// when it registers the name, the declaration record builds it.
VarEntry* declared_array(u32 type, u32 n) {
  VarEntry* a = undeclared(type);
  a->flags |= V_ARRAY;
  EXPECT_EQ(callw(H_mvarinit, type, {END_MARK, R(new_const(TY_UINT, n)), R(a)}), 1u);
  return a;
}

std::string out_of(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

class Vars : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  void TearDown() override { wall_clock = std::time; }
};

// ---- declarations and arrays --------------------------------------------------------

TEST_F(Vars, DeclarationWithAnInitialValueForTheMiddleVariable) {
  VarEntry* a = undeclared(TY_INT);
  VarEntry* b = undeclared(TY_INT);
  VarEntry* c = undeclared(TY_INT);
  a->value = b->value = c->value = 99;
  ASSERT_EQ(callw(H_mvarinit, TY_INT, {R(a), R(b), R(new_const(TY_INT, 7)), R(c)}), 1u);
  EXPECT_EQ(a->value, 0u);
  EXPECT_EQ(b->value, 7u);
  EXPECT_EQ(c->value, 0u);
  for (VarEntry* v : {a, b, c}) EXPECT_EQ(v->flags, 0u);

  VarEntry* s = undeclared(TY_STR);
  VarEntry* init = new_temp(TY_STR);
  st_set(str_desc(init), "init", 4);
  ASSERT_EQ(callw(H_mvarinit, TY_STR, {R(s), R(init)}), 1u);
  EXPECT_EQ(str_of(s), "init");
  // A second declaration of a slot that holds a value is refused by init.
  EXPECT_EQ(callw(H_mvarinit, TY_STR, {R(s)}), 0u);
  EXPECT_EQ(if_c_error, 71u);
}

TEST_F(Vars, DeclaredArrayElementsAreInitialisedAndMarked) {
  VarEntry* a = declared_array(TY_INT, 4);
  EXPECT_EQ(a->flags, V_ARRAY);
  EXPECT_EQ(a->type, static_cast<u32>(TY_INT));
  VarEntry* n = new_temp(TY_UINT);
  ASSERT_EQ(call(H_l_sizeof, n, {a}), 1u);
  EXPECT_EQ(n->value, 4u);
  for (u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(elem(a, i)->value, 0u);
    EXPECT_EQ(elem(a, i)->flags, V_ELEM);
  }
  VarEntry* blocks = declared_array(TY_BLOCK, 2);
  EXPECT_EQ(elem(blocks, 1)->flags, V_ELEM | V_CODE);
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

TEST_F(Vars, GroupOfFieldsTakesATypePerElement) {
  VarEntry* g = undeclared(TY_STR);
  const u32 types[] = {TY_STR, 0, TY_INT, 0, TY_BOOL};
  ASSERT_EQ(createfields(g, 3, 1, types), 1u);
  EXPECT_EQ(g->flags, V_STRUCT);
  EXPECT_EQ(elem(g, 1)->type, static_cast<u32>(TY_INT));
  EXPECT_EQ(elem(g, 2)->flags, V_FIELD);
  EXPECT_EQ(release_array(g), 1u);
}

// An element whose init fails takes back everything built before it. The
// free lists hand the same blocks out again, so once warmed up, repeating
// the failure takes no new space; a leak would drain the lists and then
// the arena.
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
  failing();
  const u64 warmed = arena_left();
  for (int k = 0; k < 300; ++k) failing();
  EXPECT_EQ(arena_left(), warmed);
  ASSERT_EQ(createfields(a, 3, 0, types), 1u);
}

TEST_F(Vars, ReleaseArrayDeletesElementsAndEmptiesTheSlot) {
  VarEntry* a = declared_array(TY_STR, 3);
  Ref data = at<ArrHead>(a->value)->data;
  ASSERT_EQ(release_array(a), 1u);
  EXPECT_EQ(a->flags, V_EMPTY);
  EXPECT_EQ(arena_alloc(48), data);
}

// ---- temporaries and clean-up ---------------------------------------------------------

TEST_F(Vars, TemporariesGroupInitLeavesValuesAlone) {
  VarEntry* t = temps({TY_STR, TY_INT, TY_FLOAT});
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 3), 1u);
  for (u32 i = 0; i < 3; ++i) EXPECT_EQ(t[i].flags, V_TEMP);
  st_set(str_desc(&t[0]), "kept", 4);
  t[1].value = 5;
  _tracing_on = 1;
  EXPECT_EQ(out_of([&] { callw(H__alltmpinits, R(t), {}, 3); }),
            "---initializing temporary variables group\n");
  EXPECT_EQ(str_of(&t[0]), "kept");
  EXPECT_EQ(t[1].value, 5u);
  EXPECT_EQ(callw(H__alltmpinits, 0, {}, 0), 1u);
}

TEST_F(Vars, CleanupDeletesTemporariesThenVariables) {
  VarEntry* t = temps({TY_STR, TY_UINT});
  ASSERT_EQ(callw(H__alltmpinits, R(t), {}, 2), 1u);
  VarEntry* s = new_str("x");
  VarEntry* a = declared_array(TY_STR, 2);
  _tracing_on = 1;
  std::string out;
  out = out_of([&] { EXPECT_EQ(callw(H_mvardel, R(t), {R(a), R(s)}, 2), 1u); });
  EXPECT_EQ(out,
            "--deleting temporary variable\n--deleting temporary variable\n"
            "--deleting named variable\n--deleting named variable\n");
  for (VarEntry* v : {&t[0], &t[1], s, a}) EXPECT_TRUE(v->flags & V_EMPTY);
  EXPECT_EQ(a->flags & V_ARRAY, 0u);
  _tracing_on = 0;
  // A second clean-up meets empty slots.
  EXPECT_EQ(callw(H_mvardel, 0, {R(s)}), 0u);
  EXPECT_EQ(if_c_error, 72u);
  a->flags |= V_ARRAY;
  if_c_error = 0;
  EXPECT_EQ(callw(H_mvardel, 0, {R(a)}), 0u);
  EXPECT_EQ(if_c_error, 72u);
}

// ---- conversions and delivery -----------------------------------------------------------

TEST_F(Vars, ConvcallTakesAConversionIdAndTheSource) {
  VarEntry* i = new_const(TY_INT, static_cast<u32>(-3));
  VarEntry* s = new_temp(TY_STR);
  ASSERT_EQ(callw(H_convcall, R(s), {C_c_var_str, R(i)}, 1), 1u);
  EXPECT_EQ(str_of(s), "-3");
  VarEntry* u = new_temp(TY_UINT);
  ASSERT_EQ(callw(H_convcall, R(u), {C_l_int_conv, R(i)}, 1), 1u);
  EXPECT_EQ(u->value, 0xFFFFFFFDu);
  for (u32 bad : {0u, static_cast<u32>(C_COUNT), 0xFFFFFFFFu}) {
    if_c_error = 0;
    EXPECT_EQ(callw(H_convcall, R(u), {bad, R(i)}, 1), 0u);
    EXPECT_EQ(if_c_error, 61u);
  }
  VarEntry* e = undeclared(TY_STR);
  EXPECT_EQ(callw(H_convcall, R(e), {C_c_var_str, R(i)}, 1), 0u);
  EXPECT_EQ(if_c_error, 60u);
  EXPECT_EQ(callw(H_convcall, R(u), {C_c_str_var, R(e)}, 1), 0u);
  EXPECT_EQ(if_c_error, 60u);
}

TEST_F(Vars, ConvertOrAssign) {
  VarEntry* s = new_str("old");
  EXPECT_EQ(convert_or_assign(new_str("new"), s), 1u);
  EXPECT_EQ(str_of(s), "new");
  EXPECT_EQ(convert_or_assign(new_const(TY_UINT, 17), s), 1u);
  EXPECT_EQ(str_of(s), "17");
  VarEntry* b = new_var(TY_BOOL);
  EXPECT_EQ(convert_or_assign(s, b), 0u);
  EXPECT_EQ(if_c_error, 61u);
  EXPECT_EQ(convert_or_assign(undeclared(TY_STR), s), 0u);
  EXPECT_EQ(if_c_error, 60u);
  EXPECT_EQ(convert_or_assign(s, declared_array(TY_STR, 1)), 0u);
  EXPECT_EQ(if_c_error, 32u);
}

// ---- dynamic elements ---------------------------------------------------------------------

TEST_F(Vars, DynamicElementPatchesAParameterWord) {
  VarEntry* a = declared_array(TY_INT, 3);
  Ref word = arena_calloc(4);
  ASSERT_EQ(callw(H__arrdynelem, word, {R(a), R(new_const(TY_UINT, 2))}), 1u);
  EXPECT_EQ(rd32(mem + word), R(elem(a, 2)));
  // The last valid index is n - 1; negative indexes are huge unsigned ones.
  for (u32 i : {3u, 0xFFFFFFFFu, 0x80000000u}) {
    if_c_error = 0;
    EXPECT_EQ(callw(H__arrdynelem, word, {R(a), R(new_const(TY_INT, i))}), 0u);
    EXPECT_EQ(if_c_error, 45u);
  }
  VarEntry* later = undeclared(TY_INT);
  later->flags |= V_ARRAY;
  EXPECT_EQ(callw(H__arrdynelem, word, {R(later), R(new_const(TY_UINT, 0))}), 0u);
  EXPECT_EQ(if_c_error, 60u);
}

TEST_F(Vars, IndexingCopiesAnElement) {
  VarEntry* a = declared_array(TY_STR, 2);
  st_set(str_desc(elem(a, 1)), "second", 6);
  VarEntry* d = new_temp(TY_STR);
  ASSERT_EQ(call(H__arrindexing, d, {a, new_const(TY_UINT, 1)}), 1u);
  EXPECT_EQ(str_of(d), "second");
  EXPECT_EQ(call(H__arrindexing, d, {a, new_const(TY_INT, 0xFFFFFFFF)}), 0u);
  EXPECT_EQ(if_c_error, 45u);
  EXPECT_EQ(call(H__arrindexing, d, {undeclared(TY_STR), new_const(TY_UINT, 0)}), 0u);
  EXPECT_EQ(if_c_error, 60u);
  EXPECT_EQ(call(H__arrindexing, d, {new_str("no array"), new_const(TY_UINT, 0)}), 0u);
  EXPECT_EQ(if_c_error, 70u);
}

// ---- operations ----------------------------------------------------------------------------

TEST_F(Vars, AssignGivesTheValueToTheEnclosingOperation) {
  VarEntry* i = new_var(TY_INT);
  VarEntry* r = new_temp(TY_INT);
  ASSERT_EQ(call(H_l_assign, r, {i, new_const(TY_INT, 5)}), 1u);
  EXPECT_EQ(i->value, 5u);
  EXPECT_EQ(r->value, 5u);
  VarEntry* s = new_str("");
  ASSERT_EQ(call(H_l_assign, nullptr, {s, new_str("text")}), 1u);
  EXPECT_EQ(str_of(s), "text");
  // 'exec { s = "x" }; str s;': the assignment runs before the declaration.
  EXPECT_EQ(call(H_l_assign, nullptr, {undeclared(TY_STR), s}), 0u);
  EXPECT_EQ(if_c_error, 60u);
}

TEST_F(Vars, DataFillsElementsInOrder) {
  VarEntry* a = declared_array(TY_INT, 3);
  VarEntry* v[4];
  for (u32 k = 0; k < 4; ++k) v[k] = new_const(TY_INT, 10 + k);
  ASSERT_EQ(call(H_l_dataini, nullptr, {a, v[0], v[1]}), 1u);
  EXPECT_EQ(elem(a, 1)->value, 11u);
  EXPECT_EQ(elem(a, 2)->value, 0u);
  EXPECT_EQ(call(H_l_dataini, nullptr, {a, v[3], v[2], v[1], v[0]}), 0u);
  EXPECT_EQ(if_c_error, 45u);
  EXPECT_EQ(elem(a, 0)->value, 13u);
  EXPECT_EQ(elem(a, 2)->value, 11u);
  EXPECT_EQ(call(H_l_dataini, nullptr, {new_var(TY_INT), v[0]}), 0u);
  EXPECT_EQ(if_c_error, 52u);
  EXPECT_EQ(call(H_l_dataini, nullptr, {undeclared(TY_INT), v[0]}), 0u);
  EXPECT_EQ(if_c_error, 60u);
}

TEST_F(Vars, SizeofWantsADeclaredArray) {
  VarEntry* n = new_temp(TY_UINT);
  EXPECT_EQ(call(H_l_sizeof, n, {new_str("abc")}), 0u);
  EXPECT_EQ(if_c_error, 70u);
  EXPECT_EQ(call(H_l_sizeof, n, {undeclared(TY_INT)}), 0u);
  EXPECT_EQ(if_c_error, 60u);
}

TEST_F(Vars, ClearEmptiesStringsAndKeepsNumbers) {
  VarEntry* s = new_str("text");
  VarEntry* i = new_var(TY_INT);
  i->value = 8;
  VarEntry* a = declared_array(TY_STR, 2);
  st_set(str_desc(elem(a, 0)), "e0", 2);
  VarEntry* es = undeclared(TY_STR);
  VarEntry* eb = undeclared(TY_BLOCK);
  EXPECT_EQ(call(H_l_del, nullptr, {s, i, a, es, eb}), 1u);
  EXPECT_EQ(str_of(s), "");
  EXPECT_EQ(i->value, 8u);
  EXPECT_EQ(str_of(elem(a, 0)), "");
  // Undeclared slots stay untouched, so their declarations still work.
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
  for (u32 s : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    reads = 0;
    EXPECT_EQ(call(H_l_delay, nullptr, {new_const(TY_UINT, s)}), 1u);
    EXPECT_EQ(reads, 0) << s;
  }
}

TEST_F(Vars, TimeWritesEightCharacters) {
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
  EXPECT_EQ(call(H_l_time, undeclared(TY_STR), {}), 0u);
  EXPECT_EQ(if_c_error, 60u);
}

TEST_F(Vars, TraceSetsTheSwitches) {
  VarEntry* t = new_const(TY_BOOL, 1);
  _tracing_int = _trace_stop = 1;
  ASSERT_EQ(call(H_l_trace, nullptr, {t}), 1u);
  EXPECT_EQ(_tracing_on, 1u);
  EXPECT_EQ(_tracing_int, 0u);
  EXPECT_EQ(_trace_stop, 0u);
  ASSERT_EQ(call(H_l_trace, nullptr, {new_const(TY_BOOL, 0), t, t}), 1u);
  EXPECT_EQ(_tracing_on, 0u);
  EXPECT_EQ(_tracing_int, 1u);
  EXPECT_EQ(_trace_stop, 1u);
  _tracing_int = _trace_stop = 0;
}

// A whole block through the executor: the assignment reaches the string
// variable before its declaration and the run ends with 60, not a crash.
TEST_F(Vars, AssignmentBeforeDeclarationEndsTheRun) {
  VarEntry* s = undeclared(TY_STR);
  VarEntry* x = new_str("x");
  CodeBuilder cb;
  Ref blk = cb.begin_block();
  cb.record(H__alltmpinits, 0, {}, 0);
  cb.record(H_l_assign, 0, {R(s), R(x)});
  cb.record(H_mvarinit, TY_STR, {R(s)});
  Ref clean = cb.record(H_mvardel, 0, {R(s)});
  cb.set_cleanup(blk, clean);
  cb.end_block();
  cb.block_slot(blk);
  EXPECT_EQ(execute(0), 60u);
}

}  // namespace
