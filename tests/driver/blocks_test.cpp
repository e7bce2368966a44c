// Blocks, loops, levels and the block parameter stack, on hand-built code
// pages. Each record carries a tag in its position word; the traced executor
// reports every record it runs to a hook, which keeps the order of tags and
// can change slots just before a tagged record runs.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <tuple>
#include <vector>

#include "driver/blocks.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;

std::vector<Ref> seen;
std::function<void(Ref)> before_record;

void hook(Ref tag, const u8*, int) {
  seen.push_back(tag);
  if (before_record) before_record(tag);
}

template <class F>
u32 run_error(F f) {
  try {
    f();
  } catch (const RunError& e) {
    exec_depth = 0;  // as execute() does when a run ends in an error
    return e.code;
  }
  return 0;
}

u32 callv(u32 handler, VarEntry* result, const std::vector<VarEntry*>& params) {
  std::vector<u32> words;
  for (VarEntry* p : params) words.push_back(ref_of(p));
  return handlers[handler](result ? ref_of(result) : 0,
                           reinterpret_cast<const u8*>(words.data()),
                           static_cast<u32>(words.size()));
}

VarEntry* take(TableHead& t, u32 type, u32 value, u32 flags) {
  VarEntry* v = S(t.next);
  t.next += 12;
  *v = VarEntry{value, type, flags};
  return v;
}
// Slots made by hand, so that these tests need no other type's handlers.
VarEntry* var(u32 type, u32 value = 0) { return take(vartable, type, value, 0); }
VarEntry* temp(u32 type, u32 value = 0) { return take(rettable, type, value, V_TEMP); }
VarEntry* cnst(u32 type, u32 value = 0) { return take(cnstable, type, value, V_CONST | V_TEMP); }

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
  }
  void TearDown() override { before_record = nullptr; }

  // A record that does nothing but be seen.
  void mark(Ref tag) { cb.record(H_l_parsgiven, 0, {}, 0, tag); }
  void op(u32 handler, Ref tag, std::initializer_list<Ref> params = {}, Ref result = 0) {
    cb.record(handler, result, params, 0, tag);
  }
  // A block of tagged no-op records.
  VarEntry* marks(std::initializer_list<Ref> tags) {
    Ref b = cb.begin_block();
    for (Ref t : tags) mark(t);
    cb.end_block();
    return cb.block_slot(b);
  }
  // Runs `inside` while a "call" with these arguments and result is active.
  u32 in_call(std::vector<VarEntry*> args, VarEntry* result, std::function<void()> inside) {
    constexpr Ref BODY = 999;
    Ref b = cb.begin_block();
    mark(BODY);
    cb.end_block();
    args.insert(args.begin(), cb.block_slot(b));
    before_record = [&](Ref tag) {
      if (tag == BODY) inside();
    };
    u32 r = callv(H_l_bl_call, result, args);
    before_record = nullptr;
    return r;
  }
};

Ref R(const VarEntry* v) { return ref_of(v); }

// ---- levels ---------------------------------------------------------------------

TEST_F(Blocks, BrkContConsumesOneLevel) {
  struct Case { i32 brk, cont; u32 stop; i32 brk_after, cont_after; };
  const Case cases[] = {
      {0, 0, 0, 0, 0},  {1, 0, 1, 0, 0},   {3, 0, 1, 2, 0}, {-1, 0, 1, -1, 0},
      {0, 1, 0, 0, 0},  {0, 2, 1, 0, 1},   {1, 1, 1, 0, 1},
  };
  for (const Case& c : cases) {
    brk_level = c.brk;
    cont_level = c.cont;
    EXPECT_EQ(_brk_cont(), c.stop) << c.brk << "," << c.cont;
    EXPECT_EQ(brk_level, c.brk_after);
    EXPECT_EQ(cont_level, c.cont_after);
  }
}

TEST_F(Blocks, LevelsAreSetNotAdded) {
  VarEntry* yes = cnst(TY_BOOL, 1);
  VarEntry* no = cnst(TY_BOOL, 0);
  brk_level = 1;
  call(H_l_break, nullptr, {});
  EXPECT_EQ(brk_level, 1);
  call(H_l_brkif, nullptr, {no});
  EXPECT_EQ(brk_level, 0);
  call(H_l_brkif, nullptr, {yes});
  EXPECT_EQ(brk_level, 1);
  cont_level = 1;
  call(H_l_cont, nullptr, {});
  EXPECT_EQ(cont_level, 1);
  call(H_l_contif, nullptr, {no});
  EXPECT_EQ(cont_level, 0);
  call(H_l_contif, nullptr, {yes});
  EXPECT_EQ(cont_level, 1);
}

// ---- loop ---------------------------------------------------------------------------

TEST_F(Blocks, ContinueInsideInnerBlockSkipsRestOfIteration) {
  VarEntry* c = var(TY_BOOL);
  VarEntry* stop = var(TY_BOOL);
  Ref inner = cb.begin_block();
  op(H_l_contif, 3, {R(c)});
  mark(4);
  cb.end_block();
  VarEntry* in = cb.block_slot(inner);
  Ref b = cb.begin_block();
  mark(1);
  op(H_l_bl_exec, 2, {R(in)});
  op(H_l_brkif, 5, {R(stop)});
  cb.end_block();
  int iteration = 0;
  before_record = [&](Ref tag) {
    if (tag != 1) return;
    ++iteration;
    c->value = iteration == 1;
    stop->value = iteration >= 3;
  };
  EXPECT_EQ(call(H_l_loop, nullptr, {cb.block_slot(b)}), 1u);
  EXPECT_EQ(seen, (std::vector<Ref>{1, 2, 3, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
  EXPECT_EQ(brk_level, 0);
  EXPECT_EQ(cont_level, 0);
}

// The blocks of one "exec" run one after the other, whatever level the
// first one left: the next block still runs its first record.
TEST_F(Blocks, ExecRunsEveryBlockInOrder) {
  Ref a = cb.begin_block();
  op(H_l_break, 1);
  mark(9);
  cb.end_block();
  VarEntry* first = cb.block_slot(a);
  VarEntry* second = marks({2, 3});
  EXPECT_EQ(call(H_l_bl_exec, nullptr, {first, second}), 1u);
  EXPECT_EQ(seen, (std::vector<Ref>{1, 2}));
  EXPECT_EQ(brk_level, 1);
}

// ---- for ----------------------------------------------------------------------------

TEST_F(Blocks, ForBoundsDirectionsAndWrongSign) {
  struct Case { i32 from, to, step; int runs; i32 last; u32 error; };
  const Case cases[] = {
      {1, 5, 1, 5, 6, 0},          {5, 1, -1, 5, 0, 0},          {1, 5, -1, 1, 0, 73},
      {5, 1, 1, 1, 6, 73},         {3, 3, 1, 1, 4, 0},           {0, 10, 3, 4, 12, 0},
      {-2, 2, 2, 3, 4, 0},         {10, -10, -7, 3, -11, 0},
      {INT_MAX - 1, INT_MAX, 1, 2, INT_MIN, 73},  // the index wraps below from
  };
  for (const Case& c : cases) {
    SetUp();
    VarEntry* i = var(TY_INT);
    VarEntry* from = cnst(TY_INT, static_cast<u32>(c.from));
    VarEntry* to = cnst(TY_INT, static_cast<u32>(c.to));
    VarEntry* step = cnst(TY_INT, static_cast<u32>(c.step));
    VarEntry* body = marks({1});
    u32 ok = call(H_l_for, nullptr, {i, from, to, step, body});
    EXPECT_EQ(ok, c.error ? 0u : 1u) << c.from << ".." << c.to << " by " << c.step;
    if (c.error) {
      EXPECT_EQ(if_c_error, c.error);
    }
    EXPECT_EQ(static_cast<int>(seen.size()), c.runs) << c.from << ".." << c.to;
    EXPECT_EQ(as_int(i->value), c.last) << c.from << ".." << c.to;
  }
}

TEST_F(Blocks, ForReadsItsSlotsEveryIteration) {
  VarEntry* i = var(TY_INT);
  VarEntry* from = cnst(TY_INT, 0);
  VarEntry* to = var(TY_INT, 100);
  VarEntry* step = var(TY_INT, 1);
  VarEntry* body = marks({1});
  // The body lowers the bound and doubles the step as it goes.
  before_record = [&](Ref) {
    to->value = 20;
    step->value *= 2;
  };
  EXPECT_EQ(call(H_l_for, nullptr, {i, from, to, step, body}), 1u);
  // i: 0, 2, 6, 14, then 30 > 20.
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_EQ(i->value, 30u);
}

TEST_F(Blocks, BreakAndContinueInsideFor) {
  VarEntry* i = var(TY_INT);
  VarEntry* from = cnst(TY_INT, 1);
  VarEntry* to = cnst(TY_INT, 10);
  VarEntry* step = cnst(TY_INT, 1);
  VarEntry* c = var(TY_BOOL);
  VarEntry* b = var(TY_BOOL);
  Ref blk = cb.begin_block();
  op(H_l_contif, 1, {R(c)});
  op(H_l_brkif, 2, {R(b)});
  mark(3);
  cb.end_block();
  before_record = [&](Ref tag) {
    if (tag != 1) return;
    c->value = i->value % 2 == 1;  // odd indexes skip the rest
    b->value = i->value == 6;
  };
  EXPECT_EQ(call(H_l_for, nullptr, {i, from, to, step, cb.block_slot(blk)}), 1u);
  EXPECT_EQ(seen, (std::vector<Ref>{1, 1, 2, 3, 1, 1, 2, 3, 1, 1, 2}));
  EXPECT_EQ(i->value, 6u);
  EXPECT_EQ(brk_level, 0);
  EXPECT_EQ(cont_level, 0);
}

// ---- switch and case ----------------------------------------------------------------

TEST_F(Blocks, SwitchRunsTheSelectedBlockOrNothing) {
  struct Case { u32 selector; std::vector<Ref> ran; };
  const Case cases[] = {{0, {10}}, {2, {30}}, {3, {40}}, {4, {}}, {0xFFFFFFFFu, {}}};
  for (const Case& c : cases) {
    SetUp();
    VarEntry* sel = cnst(TY_UINT, c.selector);
    VarEntry* b1 = marks({10});
    VarEntry* b2 = marks({20});
    VarEntry* b3 = marks({30});
    VarEntry* b4 = marks({40});
    EXPECT_EQ(call(H_l_switch, nullptr, {sel, b1, b2, b3, b4}), 1u);
    EXPECT_EQ(seen, c.ran) << c.selector;
  }
}

TEST_F(Blocks, BreakOrContinueInsideSwitchEndsThere) {
  for (u32 h : {u32{H_l_break}, u32{H_l_cont}}) {
    SetUp();
    Ref b = cb.begin_block();
    op(h, 1);
    mark(2);
    cb.end_block();
    EXPECT_EQ(call(H_l_switch, nullptr, {cnst(TY_UINT, 0), cb.block_slot(b)}), 1u);
    EXPECT_EQ(seen, (std::vector<Ref>{1}));
    EXPECT_EQ(brk_level, 0);
    EXPECT_EQ(cont_level, 0);
  }
}

TEST_F(Blocks, CaseGivesPositionOrCount) {
  struct Case { i32 value; u32 pos; };
  for (const Case& c : {Case{7, 1}, Case{8, 3}, Case{3, 0}, Case{9, 2}}) {
    VarEntry* r = temp(TY_UINT, 77);
    EXPECT_EQ(call(H_l_case, r, {cnst(TY_INT, static_cast<u32>(c.value)), cnst(TY_INT, 3),
                                 cnst(TY_INT, 7), cnst(TY_INT, 9)}),
              1u);
    EXPECT_EQ(r->value, c.pos) << c.value;
  }
  // The first equal candidate wins.
  VarEntry* r = temp(TY_UINT);
  call(H_l_case, r, {cnst(TY_INT, 5), cnst(TY_INT, 5), cnst(TY_INT, 5)});
  EXPECT_EQ(r->value, 0u);
}

TEST_F(Blocks, CaseOnTypeWithoutComparisonFails) {
  VarEntry* b = marks({1});
  VarEntry* r = temp(TY_UINT);
  EXPECT_EQ(call(H_l_case, r, {b, b}), 0u);
  EXPECT_EQ(if_c_error, 32u);
}

// ---- blocks that hold no value --------------------------------------------------------

TEST_F(Blocks, EmptyBlockSlotIsNotRun) {
  VarEntry* empty = var(TY_BLOCK);
  empty->flags = V_EMPTY;  // never initialised: its value points nowhere
  VarEntry* i = var(TY_INT);
  VarEntry* one = cnst(TY_INT, 1);
  VarEntry* zero = cnst(TY_UINT, 0);
  VarEntry* dest = var(TY_BLOCK, END_BLOCK);
  dest->flags = V_CODE;
  struct Case { u32 handler; std::vector<VarEntry*> params; };
  const Case cases[] = {
      {H_l_bl_exec, {empty}},
      {H_l_loop, {empty}},
      {H_l_for, {i, one, one, one, empty}},
      {H_l_switch, {zero, empty}},
      {H_l_bl_call, {empty}},
      {H_l_bl_code, {dest, empty}},
  };
  for (const Case& c : cases) {
    if_c_error = 0;
    EXPECT_EQ(callv(c.handler, nullptr, c.params), 0u) << c.handler;
    EXPECT_EQ(if_c_error, 60u) << c.handler;
  }
  EXPECT_EQ(callstack.next, callstack.base);
  EXPECT_EQ(dest->value, END_BLOCK);
}

// ---- the block type ----------------------------------------------------------------------

TEST_F(Blocks, BlockTypeHandlers) {
  VarEntry* s = var(TY_BLOCK, 1234);
  s->flags = V_EMPTY;
  EXPECT_EQ(type_init(s), 1u);
  EXPECT_EQ(s->type, u32{TY_BLOCK});
  EXPECT_EQ(s->value, END_BLOCK);
  EXPECT_EQ(s->flags, u32{V_CODE});
  EXPECT_EQ(type_init(s), 0u);
  EXPECT_EQ(if_c_error, 71u);

  VarEntry* code = marks({1});
  EXPECT_EQ(typent[TY_BLOCK].assign(s, code, 2), 1u);
  EXPECT_EQ(s->value, code->value);
  EXPECT_EQ(call_slot_handler(typent[TY_BLOCK].clr, s), 1u);
  EXPECT_EQ(s->value, END_BLOCK);

  s->value = code->value;
  EXPECT_EQ(type_del(s), 1u);
  EXPECT_TRUE(s->flags & V_EMPTY);
  EXPECT_EQ(s->value, END_BLOCK);
  EXPECT_EQ(type_del(s), 0u);
  EXPECT_EQ(if_c_error, 72u);
  EXPECT_EQ(type_init(s), 1u);  // ready for the block's next run
}

TEST_F(Blocks, SavedFormsRoundTrip) {
  VarEntry* code = marks({1});
  VarEntry* empty = var(TY_BLOCK, END_BLOCK);
  empty->flags = V_CODE;

  Exchange x{0, 0, 0};
  ASSERT_EQ(bl_makesv(&x, empty), 1u);
  EXPECT_EQ(x.length, 8u);
  EXPECT_EQ(rd32(mem + x.bytes), 0u);
  EXPECT_EQ(rd32(mem + x.bytes + 4), END_MARK);
  EXPECT_FALSE(x.flags & X_RELEASE);

  Exchange y{0, 0, 0};
  ASSERT_EQ(bl_makesv(&y, code), 1u);
  EXPECT_EQ(y.length, 8u);
  EXPECT_EQ(rd32(mem + y.bytes), code->value - codepage.base);
  EXPECT_EQ(rd32(mem + y.bytes + 4), 0u);
  ASSERT_TRUE(y.flags & X_RELEASE);

  // Loading: a fresh buffer of the caller's, as the file reader hands it over.
  auto load = [](u32 w0, u32 w1, u32 length, VarEntry* into) {
    Ref buf = arena_alloc(8);
    wr32(mem + buf, w0);
    wr32(mem + buf + 4, w1);
    Exchange l{buf, length, 0};
    u32 ok = bl_makeld(&l, into);
    EXPECT_TRUE(!ok || (l.flags & X_RELEASE));
    arena_free(buf, 8);
    return ok;
  };
  VarEntry* a = var(TY_BLOCK);
  ASSERT_EQ(load(rd32(mem + y.bytes), 0, 8, a), 1u);
  EXPECT_EQ(a->value, code->value);
  EXPECT_TRUE(a->flags & V_CODE);
  arena_free(y.bytes, 8);

  VarEntry* b = var(TY_BLOCK, 5);
  ASSERT_EQ(load(0, END_MARK, 8, b), 1u);
  EXPECT_EQ(b->value, END_BLOCK);

  // Offset 0 is a block at the code page's base, not the empty block.
  VarEntry* c = var(TY_BLOCK);
  ASSERT_EQ(load(0, 0, 8, c), 1u);
  EXPECT_EQ(c->value, codepage.base);

  const u32 size = codepage.end - codepage.base;
  for (auto [w0, w1, len] : {std::tuple{size, 0u, 8u}, std::tuple{size - 4, 0u, 8u},
                             std::tuple{0u, 0u, 4u}, std::tuple{16u, 7u, 8u}}) {
    if_c_error = 0;
    EXPECT_EQ(load(w0, w1, len, var(TY_BLOCK)), 0u) << w0 << " " << w1 << " " << len;
    EXPECT_EQ(if_c_error, 65u);
  }
}

TEST_F(Blocks, CodeCopiesABlock) {
  VarEntry* code = marks({1});
  VarEntry* dest = var(TY_BLOCK, END_BLOCK);
  EXPECT_EQ(call(H_l_bl_code, nullptr, {dest, code}), 1u);
  EXPECT_EQ(dest->value, code->value);
  EXPECT_TRUE(dest->flags & V_CODE);
  EXPECT_EQ(call(H_l_bl_exec, nullptr, {dest}), 1u);
  EXPECT_EQ(seen, (std::vector<Ref>{1}));

  VarEntry* nocode = var(TY_BLOCK, END_BLOCK);
  EXPECT_EQ(call(H_l_bl_code, nullptr, {dest, nocode}), 0u);
  EXPECT_EQ(if_c_error, 32u);
  EXPECT_EQ(dest->value, code->value);
}

// ---- calls -------------------------------------------------------------------------------

TEST_F(Blocks, CallFrameLayout) {
  VarEntry* a = var(TY_INT, 1);
  VarEntry* b = var(TY_INT, 2);
  VarEntry* r = var(TY_INT);
  std::vector<u32> words;
  u32 nesty = 0;
  EXPECT_EQ(in_call({a, b}, r,
                    [&] {
                      nesty = block_nesty;
                      for (Ref w = callstack.base; w <= callstack.next; w += 4)
                        words.push_back(rd32(mem + w));
                    }),
            1u);
  EXPECT_EQ(words, (std::vector<u32>{0, R(a), R(b), R(r), 3}));
  EXPECT_EQ(nesty, 1u);
  EXPECT_EQ(callstack.next, callstack.base);
  EXPECT_EQ(block_nesty, 0u);

  words.clear();
  in_call({}, nullptr, [&] {
    for (Ref w = callstack.base; w <= callstack.next; w += 4) words.push_back(rd32(mem + w));
  });
  EXPECT_EQ(words, (std::vector<u32>{0, 0, 1}));
}

TEST_F(Blocks, ParameterQueriesOutsideAndInsideCalls) {
  VarEntry* n = temp(TY_UINT, 99);
  VarEntry* yes = temp(TY_BOOL, 99);
  VarEntry* isvar = temp(TY_BOOL, 99);
  auto query = [&](u32 index) {
    VarEntry* i = cnst(TY_UINT, index);
    call(H_l_parsgiven, n, {});
    call(H_l_ispargiven, yes, {i});
    call(H_l_isparvar, isvar, {i});
  };
  query(0);  // no call active
  EXPECT_EQ(n->value, 0u);
  EXPECT_EQ(yes->value, 0u);
  EXPECT_EQ(isvar->value, 0u);

  in_call({}, nullptr, [&] { query(0); });
  EXPECT_EQ(n->value, 0u);
  EXPECT_EQ(yes->value, 0u);

  VarEntry* v = var(TY_INT);
  VarEntry* k = cnst(TY_INT, 4);
  VarEntry* t = temp(TY_INT);
  struct Case { u32 index; u32 given, variable; };
  for (const Case& c : {Case{0, 1, 1}, Case{1, 1, 0}, Case{2, 1, 0}, Case{3, 0, 0},
                        Case{0xFFFFFFFFu, 0, 0}}) {
    in_call({v, k, t}, var(TY_INT), [&] { query(c.index); });
    EXPECT_EQ(n->value, 3u);
    EXPECT_EQ(yes->value, c.given) << c.index;
    EXPECT_EQ(isvar->value, c.variable) << c.index;
  }
}

TEST_F(Blocks, ParValueReadsArgumentsAndDefaults) {
  VarEntry* a = var(TY_INT, 11);
  VarEntry* b = var(TY_INT, 22);
  VarEntry* dflt = cnst(TY_INT, 5);
  VarEntry* r = temp(TY_INT);
  struct Case { u32 index; bool with_default; u32 ok, error, value; };
  const Case cases[] = {
      {0, false, 1, 0, 11}, {1, false, 1, 0, 22}, {5, true, 1, 0, 5},
      {2, false, 0, 4, 0},  {0, true, 1, 0, 11},
  };
  for (const Case& c : cases) {
    r->value = 0;
    if_c_error = 0;
    u32 ok = 0;
    in_call({a, b}, var(TY_INT, 33), [&] {
      VarEntry* i = cnst(TY_UINT, c.index);
      ok = c.with_default ? call(H_l_paramvalue, r, {i, dflt}) : call(H_l_paramvalue, r, {i});
    });
    EXPECT_EQ(ok, c.ok) << c.index;
    EXPECT_EQ(if_c_error, c.error) << c.index;
    EXPECT_EQ(r->value, c.value) << c.index;
  }
}

TEST_F(Blocks, ParValueAndParChangeNeedArguments) {
  VarEntry* r = temp(TY_INT);
  VarEntry* i = cnst(TY_UINT, 0);
  VarEntry* v = cnst(TY_INT, 1);
  auto both_fail_with_2 = [&] {
    if_c_error = 0;
    EXPECT_EQ(call(H_l_paramvalue, r, {i}), 0u);
    EXPECT_EQ(if_c_error, 2u);
    if_c_error = 0;
    EXPECT_EQ(call(H_l_paramvalue, r, {i, v}), 0u);  // a default does not help
    EXPECT_EQ(if_c_error, 2u);
    if_c_error = 0;
    EXPECT_EQ(call(H_l_paramchange, nullptr, {i, v}), 0u);
    EXPECT_EQ(if_c_error, 2u);
  };
  both_fail_with_2();
  in_call({}, r, both_fail_with_2);
}

TEST_F(Blocks, ParChangeWritesOnlyVariables) {
  VarEntry* v = var(TY_INT, 1);
  VarEntry* k = cnst(TY_INT, 2);
  VarEntry* t = temp(TY_INT, 3);
  VarEntry* arr = var(TY_INT);
  arr->flags = V_ARRAY;
  VarEntry* nine = cnst(TY_INT, 9);
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

TEST_F(Blocks, ReturnFromLoopInsideCallConverts) {
  VarEntry* value = cnst(TY_INT, 7);
  Ref inner = cb.begin_block();
  mark(3);
  op(H_l_return, 4, {R(value)});
  mark(5);
  cb.end_block();
  VarEntry* loop_body = cb.block_slot(inner);
  Ref b = cb.begin_block();
  op(H_l_loop, 1, {R(loop_body)});
  mark(2);
  cb.end_block();
  VarEntry* r = temp(TY_UINT);
  EXPECT_EQ(call(H_l_bl_call, r, {cb.block_slot(b)}), 1u);
  EXPECT_EQ(seen, (std::vector<Ref>{1, 3, 4}));
  EXPECT_EQ(r->value, 7u);
  EXPECT_EQ(r->type, u32{TY_UINT});
  EXPECT_EQ(brk_level, 0);
}

TEST_F(Blocks, ReturnAndSetretOutsideCallFail) {
  VarEntry* v = cnst(TY_INT, 1);
  for (u32 h : {u32{H_l_return}, u32{H_l_setret}}) {
    if_c_error = 0;
    EXPECT_EQ(call(h, nullptr, {v}), 0u);
    EXPECT_EQ(if_c_error, 30u);
  }
  EXPECT_EQ(call(H_l_return, nullptr, {}), 0u);
  EXPECT_EQ(if_c_error, 30u);
  EXPECT_EQ(brk_level, 0);
}

// A block that calls itself: the 100th call finds no room for its frame.
TEST_F(Blocks, RecursionOverflowsTheParameterStack) {
  VarEntry* self = cnst(TY_BLOCK);
  self->flags = V_CONST | V_CODE;
  Ref b = cb.begin_block();
  op(H_l_bl_call, 1, {R(self)});
  cb.end_block();
  self->value = b;
  EXPECT_EQ(run_error([&] { call(H_l_bl_call, nullptr, {self}); }), 3u);
  EXPECT_EQ(seen.size(), 99u);
  EXPECT_EQ(last_lexema, 1u);
  EXPECT_EQ(callstack.next, callstack.base);
  EXPECT_EQ(block_nesty, 0u);
  EXPECT_EQ(exec_depth, 0u);
}

TEST_F(Blocks, PushRefusesTheLastFreeWordPlusOne) {
  const u32 words = (callstack.end - callstack.base) / 4;
  for (u32 i = 1; i < words; ++i) ASSERT_EQ(_push_var(i), 1u) << i;
  EXPECT_EQ(_push_var(0), 0u);
  EXPECT_EQ(if_c_error, 3u);
  EXPECT_EQ(rd32(mem + callstack.base), 0u);
  EXPECT_EQ(rd32(mem + callstack.next), words - 1);
}

TEST_F(Blocks, CallNestingLimit) {
  // The outer call reaches 65534; the one inside it would reach 65535.
  block_nesty = static_cast<u16>(MAX_CALL_NESTING - 2);
  VarEntry* inner = marks({2});
  Ref b = cb.begin_block();
  op(H_l_bl_call, 1, {R(inner)});
  cb.end_block();
  VarEntry* outer = cb.block_slot(b);
  EXPECT_EQ(run_error([&] { call(H_l_bl_call, nullptr, {outer}); }), 53u);
  EXPECT_EQ(seen, (std::vector<Ref>{1}));
  EXPECT_EQ(block_nesty, MAX_CALL_NESTING - 2);
  EXPECT_EQ(callstack.next, callstack.base);
}

// "exec" recursion does not use the parameter stack; the executor's nesting
// limit ends it cleanly and names the operation that went too deep.
TEST_F(Blocks, ExecRecursionHitsTheDepthLimit) {
  _tracing_on = 0;  // 3000 records: no need to watch them
  VarEntry* self = cnst(TY_BLOCK);
  self->flags = V_CONST | V_CODE;
  Ref b = cb.begin_block();
  op(H_l_bl_exec, 7, {R(self)});
  cb.end_block();
  self->value = b;
  EXPECT_EQ(run_error([&] { call(H_l_bl_exec, nullptr, {self}); }), 53u);
  EXPECT_EQ(last_lexema, 7u);
  EXPECT_EQ(exec_depth, 0u);
}

// A block entered at the limit is refused without being counted, so the
// count stays right for whatever runs after the error.
TEST_F(Blocks, ExecutorDepthGuardKeepsItsCount) {
  VarEntry* body = marks({1});
  exec_depth = MAX_BLOCK_DEPTH;
  try {
    _execute(body);
    ADD_FAILURE() << "the block ran";
  } catch (const RunError& e) {
    EXPECT_EQ(e.code, 53u);
  }
  EXPECT_EQ(exec_depth, u32{MAX_BLOCK_DEPTH});
  EXPECT_TRUE(seen.empty());
}

// The second block of an "exec" runs its first record although the first
// block left a level behind; a "stop" there still ends the run.
TEST_F(Blocks, StopIsNotLostWhileALevelIsPending) {
  Ref a = cb.begin_block();
  op(H_l_break, 1);
  cb.end_block();
  VarEntry* first = cb.block_slot(a);
  Ref b = cb.begin_block();
  op(H_l_stop, 2);
  mark(3);
  cb.end_block();
  VarEntry* second = cb.block_slot(b);
  EXPECT_EQ(run_error([&] { call(H_l_bl_exec, nullptr, {first, second}); }), 38u);
  EXPECT_EQ(seen, (std::vector<Ref>{1, 2}));
  EXPECT_EQ(last_lexema, 2u);
}

}  // namespace
