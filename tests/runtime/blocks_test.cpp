// Blocks, loops, levels and the block parameter stack, on hand-built code
// pages. Each record carries a tag in its position word; the traced executor
// reports every record it runs to a hook, which keeps the order of tags and
// can change slots just before a tagged record runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "runtime/blocks.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;

std::vector<Ref> seen;
std::function<void(Ref)> before_record;

void hook(Ref tag, const u8*, int) {
  seen.push_back(tag);
  if (before_record) before_record(tag);
}

// Slots made by hand, so that these tests need no other type's handlers.
VarEntry* var(u32 type, u32 value = 0) { return take(vartable, type, 0, value); }
VarEntry* cnst(u32 type, u32 value = 0) { return take(cnstable, type, V_CONST | V_TEMP, value); }

class Blocks : public ::testing::Test {
 protected:
  CodeBuilder cb;

  void SetUp() override {
    fresh_env();
    block_nesty = 0;
    seen.clear();
    before_record = nullptr;
    _execute = _exectrace;
    _tracing_on = 1;
    _trace_hook = hook;
    // Traced entries process events only when asked to.
    process_events_hook = [] { ADD_FAILURE() << "events processed"; };
  }
  void TearDown() override { before_record = nullptr, process_events_hook = nullptr; }

  // A record that does nothing but be seen.
  void mark(Ref tag) { cb.record(H_l_parsgiven, 0, {}, 0, tag); }
  // A block of tagged no-op records.
  VarEntry* marks(std::initializer_list<Ref> tags) {
    Ref b = cb.begin_block();
    for (Ref t : tags) mark(t);
    cb.end_block();
    return cb.block_slot(b);
  }
  // Runs `inside` while a "call" with these arguments and result is active.
  u32 in_call(std::vector<VarEntry*> args, VarEntry* result, std::function<void()> inside) {
    args.insert(args.begin(), marks({999}));
    before_record = [&](Ref tag) {
      if (tag == 999) inside();
    };
    u32 r = call(H_l_bl_call, result, args);
    before_record = nullptr;
    return r;
  }
};

// "break" and "brkif" set the level to 1 or 0; they never add to it.
TEST_F(Blocks, LevelsAreSetNotAdded) {
  VarEntry *yes = cnst(TY_BOOL, 1), *no = cnst(TY_BOOL, 0);
  struct Case { u32 handler; VarEntry* cond; i16 after; bool brk; };
  const Case cases[] = {{H_l_break, nullptr, 1, true}, {H_l_brkif, no, 0, true},
                        {H_l_brkif, yes, 1, true}, {H_l_cont, nullptr, 1, false},
                        {H_l_contif, no, 0, false}, {H_l_contif, yes, 1, false}};
  for (const Case& c : cases) {
    i16& level = c.brk ? brk_level : cont_level;
    level = 1;
    c.cond ? call(c.handler, nullptr, {c.cond}) : call(c.handler, nullptr, {});
    EXPECT_EQ(level, c.after) << c.handler;
  }
}

TEST_F(Blocks, EmptyBlockSlotIsNotRun) {
  VarEntry* empty = take(vartable, TY_BLOCK, V_EMPTY);  // never initialised
  VarEntry *i = var(TY_INT), *one = cnst(TY_INT, 1), *zero = cnst(TY_UINT, 0);
  VarEntry* dest = take(vartable, TY_BLOCK, V_CODE, END_BLOCK);
  VarEntry* deleted = take(vartable, TY_BLOCK, V_CODE | V_EMPTY, END_BLOCK);  // its run ended
  struct Case { u32 handler; std::vector<VarEntry*> params; u32 error; };
  const Case cases[] = {
      {H_l_bl_exec, {empty}, 60},
      {H_l_loop, {empty}, 60},
      {H_l_for, {i, one, one, one, empty}, 60},
      {H_l_switch, {zero, empty}, 60},
      {H_l_bl_call, {empty}, 60},
      {H_l_bl_code, {dest, empty}, 32},  // declaration not run: no V_CODE yet
      {H_l_bl_code, {dest, deleted}, 60},
      {H_l_bl_code, {dest, var(TY_BLOCK, END_BLOCK)}, 32},  // a block without code
      {H_l_case, {dest, dest}, 32},                         // blocks do not compare
  };
  for (const Case& c : cases) {
    if_c_error = 0;
    EXPECT_EQ(call(c.handler, take(rettable, TY_UINT, V_TEMP), c.params), 0u) << c.handler;
    EXPECT_EQ(if_c_error, c.error) << c.handler;
  }
  EXPECT_EQ(callstack.next, callstack.base);
  EXPECT_EQ(dest->value, END_BLOCK);
}

// Only a named variable argument may be changed: a constant, a temporary
// or a whole array is refused.
TEST_F(Blocks, ParChangeWritesOnlyVariables) {
  VarEntry *v = var(TY_INT, 1), *k = cnst(TY_INT, 2), *nine = cnst(TY_INT, 9);
  VarEntry* t = take(rettable, TY_INT, V_TEMP, 3);
  VarEntry* arr = take(vartable, TY_INT, V_ARRAY);
  struct Case { u32 index; u32 ok, error; };
  for (const Case& c : {Case{0, 1, 0}, Case{1, 0, 14}, Case{2, 0, 14}, Case{3, 0, 14},
                        Case{4, 0, 4}}) {
    if_c_error = 0;
    u32 ok = 0;
    in_call({v, k, t, arr}, var(TY_INT),
            [&] { ok = call(H_l_paramchange, nullptr, {cnst(TY_UINT, c.index), nine}); });
    EXPECT_EQ(ok, c.ok) << c.index;
    EXPECT_EQ(if_c_error, c.error) << c.index;
  }
  EXPECT_EQ(v->value, 9u);
  EXPECT_EQ(k->value, 2u);
  EXPECT_EQ(t->value, 3u);
}

// A block that runs itself nests until the limit: the entry past it is
// refused with error 53, which leaves the depth at the limit exactly.
TEST_F(Blocks, NestingStopsAtTheDepthLimit) {
  VarEntry* self = var(TY_BLOCK);
  Ref b = cb.begin_block();
  mark(1);
  cb.record(H_l_bl_exec, 0, {ref_of(self)}, 0, 2);
  cb.end_block();
  self->value = b;
  u32 depth = 0;
  const u32 code = run_error([&] {
    try {
      _execute(self);
    } catch (const RunError&) {
      depth = exec_depth();
      throw;
    }
  });
  EXPECT_EQ(code, 53u);
  EXPECT_EQ(depth, MAX_BLOCK_DEPTH);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), Ref{1}), std::ptrdiff_t{MAX_BLOCK_DEPTH});
  EXPECT_EQ(exec_depth(), 0u);
}

// The second block of an "exec" runs its first record although the first
// block left a level behind; a "stop" there still ends the run.
TEST_F(Blocks, StopIsNotLostWhileALevelIsPending) {
  Ref a = cb.begin_block();
  cb.record(H_l_break, 0, {}, 0, 1);
  cb.end_block();
  VarEntry* first = cb.block_slot(a);
  Ref b = cb.begin_block();
  cb.record(H_l_stop, 0, {}, 0, 2);
  mark(3);
  cb.end_block();
  VarEntry* second = cb.block_slot(b);
  EXPECT_EQ(run_error([&] { call(H_l_bl_exec, nullptr, {first, second}); }), 38u);
  EXPECT_EQ(seen, (std::vector<Ref>{1, 2}));
  EXPECT_EQ(last_lexema, 2u);
}

// A block value read from a program file names a place in the code page
// with room for a block's two words, or the empty block; nothing else.
TEST_F(Blocks, ALoadedBlockLiesWithinTheCodePage) {
  const u32 size = codepage.end - codepage.base;
  VarEntry* buf = var(TY_INT);  // twelve bytes to hand the eight over in
  struct Case { u32 length, off, second; bool ok; Ref value; };
  const Case cases[] = {
      {8, 0, END_MARK, true, END_BLOCK},       {8, size - 8, 0, true, codepage.base + size - 8},
      {8, 0, 0, true, codepage.base},          {8, size - 7, 0, false, 0},
      {8, 4, 1, false, 0},                     {7, 0, END_MARK, false, 0}};
  for (const Case& c : cases) {
    wr32(mem + ref_of(buf), c.off);
    wr32(mem + ref_of(buf) + 4, c.second);
    Exchange x{ref_of(buf), c.length, 0};
    VarEntry slot{0, TY_BLOCK, 0};
    if_c_error = 0;
    EXPECT_EQ(bl_makeld(&x, &slot), c.ok ? 1u : 0u) << c.off;
    EXPECT_EQ(if_c_error, c.ok ? 0u : 65u) << c.off;
    if (c.ok) {
      EXPECT_EQ(slot.value, c.value) << c.off;
    }
  }
}

}  // namespace
