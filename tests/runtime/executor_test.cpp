// The executor on hand-built code pages and small compiled programs: how
// runs end (failures, "stop", levels) and name their place, loop bodies
// run round after round, and nothing of a run is left behind after it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/driver.h"
#include "compiler/compiler.h"
#include "host/window_ops.h"
#include "runtime/arena.h"
#include "runtime/blocks.h"
#include "runtime/block_copies.h"
#include "runtime/decoded.h"
#include "runtime/executor_loop.h"
#include "support/qv_test.h"

namespace qv {
extern Ref anykeyevent;  // the key handler's slot (events.cpp)
}  // namespace qv

using namespace qvtest;

namespace {

class Executor : public ::testing::Test {
 protected:
  // The program is the first constant: its slot is taken before any other.
  void SetUp() override {
    fresh_env();
    main_ = cb.block_slot(END_BLOCK);
    x_ = new_var(TY_INT);
    one_ = new_const(TY_INT, 1);
  }
  void TearDown() override {
    process_events_hook = nullptr;
    doprocesskeys = 0;
    optimtmpvarinit = 1;
  }
  Ref inc_x(Ref position = 0) { return cb.record(H_l_inc, 0, {ref_of(x_)}, 0, position); }
  // A block of an idle initialisation record and the given records.
  VarEntry* body(std::function<void()> records) {
    Ref b = cb.begin_block();
    cb.record(H__alltmpinits, rettable.next, {}, 0, label_tmpinit);
    records();
    cb.end_block();
    return cb.block_slot(b);
  }
  // Runs a main block of the one record; the run's error code.
  u32 run(u32 handler, std::vector<Ref> params) {
    main_->value = cb.begin_block();
    cb.record(handler, 0, params);
    cb.end_block();
    return execute(0);
  }
  // "for i 1 n 1 blk"
  u32 run_for(u32 n, VarEntry* blk) {
    return run(H_l_for, {ref_of(new_var(TY_INT)), ref_of(one_), ref_of(new_const(TY_INT, n)),
                         ref_of(one_), ref_of(blk)});
  }
  CodeBuilder cb;
  VarEntry *main_ = nullptr, *x_ = nullptr, *one_ = nullptr;
};

// Each program lies where the one before lay, as after compiling anew.
TEST_F(Executor, BlocksOfAnyLengthRunEveryRecordOnCodeDecodedAfresh) {
  main_->flags = V_EMPTY;
  EXPECT_EQ(execute(0), 0u) << "an empty main slot runs nothing";
  for (const u32 n : {1u, 16u, 17u, 400u}) {
    SetUp();
    main_->value = cb.begin_block();
    for (u32 k = 0; k < n; ++k) inc_x();
    cb.end_block();
    EXPECT_EQ(execute(0), 0u);
    EXPECT_EQ(x_->value, n);
    EXPECT_EQ(_opcount, n);
  }
}

// A block of more records than a step's place can number (only a region
// outside the code page has room for one) decodes that many and then a step
// that cannot run, whose place and END's are still counted right.
TEST_F(Executor, ABlockPastTheStepsThatCanBeNumberedEndsInAStepThatCannotRun) {
  const u32 n = MAX_BLOCK_STEPS + 2, rec_bytes = REC_PARAMS + 4;
  const u32 size = 4 + n * rec_bytes + 4;
  const Ref at = arena_alloc(size);
  ASSERT_NE(at, 0u);
  wr32(mem + at, 0);  // no clean-up
  u8* rec = mem + at + 4;
  for (u32 k = 0; k < n; ++k, rec += rec_bytes) {
    wr32(rec + REC_POS, 0);
    wr32(rec + REC_HANDLER, H_l_inc);
    rec[REC_COUNT] = 1;
    rec[REC_EXTRA] = 0;
    wr32(rec + REC_RESULT, 0);
    wr32(rec + REC_PARAMS, ref_of(x_));
  }
  wr32(rec, END_MARK);
  DecodedBlock& d = new_decoded(nullptr);
  decode_records(d, at, at, at + size);
  ASSERT_EQ(d.nsteps, MAX_BLOCK_STEPS + 1);
  EXPECT_EQ(d.steps[MAX_BLOCK_STEPS - 1].kind, d.steps[0].kind);
  EXPECT_NE(d.steps[0].kind, Step::BAD);
  EXPECT_EQ(d.steps[MAX_BLOCK_STEPS].kind, Step::BAD);
  EXPECT_EQ(d.steps[MAX_BLOCK_STEPS].index, MAX_BLOCK_STEPS);
  EXPECT_EQ(d.steps[d.nsteps].kind, Step::END);
  EXPECT_EQ(d.steps[d.nsteps].index, MAX_BLOCK_STEPS + 1);
  arena_free(at, size);
}

// A record never completed, one past the registry's handlers and one that
// runs off the code page all end the run with 71 at their place.
TEST_F(Executor, RecordsThatCannotRunEndTheRun) {
  constexpr u32 CUT_OFF = ~0u;
  for (const u32 handler : {u32{H_NONE}, u32{H_COUNT + 5}, CUT_OFF}) {
    SetUp();
    const Ref text = place_text("first\nbroken op here");
    main_->value = codepage.end - 8;  // a record cut off by the page's end
    wr32(mem + main_->value, 0);
    wr32(mem + main_->value + 4, 1);
    if (handler != CUT_OFF) {
      main_->value = cb.begin_block();
      cb.record(handler, 0, {}, 0, text + 6);
      cb.end_block();
    }
    EXPECT_EQ(execute(0), 71u) << handler;
    if (handler == H_NONE) {
      EXPECT_EQ(last_lexema, text + 6);
    }
    EXPECT_EQ(codepage.first, codepage.base) << "the error path rewinds the code page";
  }
}

// A level set by the block's last record leaves through the clean-up
// record, once only (a second run of it fails with 72); with -noptmp the
// record after the one that set the level is examined too.
TEST_F(Executor, EarlyExitRunsTheCleanUpRecordOnce) {
  for (const u32 grouped : {1u, 0u}) {
    SetUp();
    optimtmpvarinit = grouped;
    main_->value = cb.begin_block();
    cb.record(H_l_break, 0, {});
    cb.set_cleanup(main_->value, cb.record(H_mvardel, 0, {ref_of(x_)}, 0, label_delete));
    cb.end_block();
    EXPECT_EQ(execute(0), 0u) << grouped;
    EXPECT_TRUE(x_->flags & V_EMPTY) << "the clean-up deleted the block's variable";
  }
}

// A block's own variables, declared by its records and deleted by its
// clean-up: a number or truth variable alone in its declaration, and one
// with an initial value, a text and an array. Every round starts them
// afresh and ends with all of them empty, whether the round runs to its
// end or leaves early ("continueif"), with and without the grouped
// initialisation.
TEST_F(Executor, ABlocksOwnVariablesStartAfreshAtEveryRunAndEndEmpty) {
  for (const u32 grouped : {1u, 0u}) {
    for (const bool early : {false, true}) {
      SetUp();
      optimtmpvarinit = grouped;
      VarEntry *i = take(vartable, TY_INT, V_EMPTY), *f = take(vartable, TY_FLOAT, V_EMPTY),
               *t = take(vartable, TY_BOOL, V_EMPTY), *k = take(vartable, TY_INT, V_EMPTY),
               *s = take(vartable, TY_STR, V_EMPTY), *a = take(vartable, TY_INT, V_EMPTY);
      const Ref b = cb.begin_block();
      cb.record(H__alltmpinits, rettable.next, {}, 0, label_tmpinit);
      cb.record(H_mvarinit, TY_INT, {ref_of(i)});
      cb.record(H_mvarinit, TY_FLOAT, {ref_of(f)});
      cb.record(H_mvarinit, TY_BOOL, {ref_of(t)});
      cb.record(H_mvarinit, TY_INT, {ref_of(k), ref_of(new_const(TY_INT, 5))});
      cb.record(H_mvarinit, TY_STR, {ref_of(s)});
      cb.record(H_mvarinit, TY_INT, {END_MARK, ref_of(new_const(TY_UINT, 3)), ref_of(a)});
      cb.record(H_l_plusassgn, 0, {ref_of(i), ref_of(one_)});
      cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(i)});
      cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(k)});
      if (early) cb.record(H_l_contif, 0, {ref_of(one_)});
      cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(new_const(TY_INT, 100))});
      const std::vector<Ref> named = {ref_of(i), ref_of(f), ref_of(t),
                                      ref_of(k), ref_of(s), ref_of(a)};
      cb.set_cleanup(b, cb.record(H_mvardel, 0, named, 0, label_delete));
      cb.end_block();
      const std::string what = std::to_string(grouped) + (early ? " early" : " to the end");
      EXPECT_EQ(run_for(3, cb.block_slot(b)), 0u) << what;
      EXPECT_EQ(x_->value, early ? 3u * 6 : 3u * 106) << what;
      for (const Ref v : named) {
        EXPECT_EQ(S(v)->flags & (V_EMPTY | V_ARRAY), V_EMPTY) << what << " " << v;
      }
      EXPECT_EQ(k->type, TY_INT);
      EXPECT_EQ(f->type, TY_FLOAT);
      EXPECT_EQ(t->type, TY_BOOL);
    }
  }
}

// A declaration over a variable that holds a value fails with 71 at its
// place, a clean-up of one that is empty with 72.
TEST_F(Executor, DeclaringAVariableTwiceOrDeletingAnEmptyOneFails) {
  VarEntry* i = take(vartable, TY_INT, V_EMPTY);
  main_->value = cb.begin_block();
  cb.record(H_mvarinit, TY_INT, {ref_of(i)});
  cb.record(H_mvarinit, TY_FLOAT, {ref_of(i)}, 0, 77);
  cb.end_block();
  EXPECT_EQ(execute(0), 71u);
  EXPECT_EQ(last_lexema, 77u);
  SetUp();  // an array declaration cut short, as only a damaged file holds
  main_->value = cb.begin_block();
  cb.record(H_mvarinit, TY_INT, {END_MARK});
  cb.end_block();
  EXPECT_EQ(execute(0), 71u);
  SetUp();
  i = take(vartable, TY_INT, V_EMPTY);
  const Ref b = cb.begin_block();
  cb.set_cleanup(b, cb.record(H_mvardel, 0, {ref_of(i)}, 0, label_delete));
  cb.end_block();
  EXPECT_EQ(run(H_l_bl_exec, {ref_of(cb.block_slot(b))}), 72u);
  // The same through the general deletion: traced, and for a text, which
  // owns storage.
  for (const u32 type : {TY_INT, TY_STR}) {
    for (const int trace : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "type " << type << " trace " << trace);
      SetUp();
      i = take(vartable, type, V_EMPTY);
      const Ref c = cb.begin_block();
      cb.set_cleanup(c, cb.record(H_mvardel, 0, {ref_of(i)}, 0, label_delete));
      cb.end_block();
      main_->value = cb.begin_block();
      cb.record(H_l_bl_exec, 0, {ref_of(cb.block_slot(c))});
      cb.end_block();
      testing::internal::CaptureStdout();
      EXPECT_EQ(execute(trace), 72u);
      testing::internal::GetCapturedStdout();
    }
  }
  // A group of number temporaries deleted twice, as only a damaged file
  // holds: the first deletion empties the group, the second fails, with
  // the deletion as a step and as the clean-up of a block left early.
  for (const bool early : {false, true}) {
    SCOPED_TRACE(early ? "clean-up" : "step");
    SetUp();
    VarEntry* g = take(rettable, TY_INT, V_EMPTY);
    take(rettable, TY_INT, V_EMPTY);
    const Ref c = cb.begin_block();
    cb.record(H__alltmpinits, ref_of(g), {}, 2, label_tmpinit);
    cb.record(H_mvardel, ref_of(g), {}, 2, label_delete);
    if (early) cb.record(H_l_break, 0, {});
    const Ref del = cb.record(H_mvardel, ref_of(g), {}, 2, label_delete);
    if (early) cb.set_cleanup(c, del);
    cb.end_block();
    EXPECT_EQ(run(H_l_bl_exec, {ref_of(cb.block_slot(c))}), 72u);
    EXPECT_TRUE(g[0].flags & V_EMPTY);
    EXPECT_TRUE(g[1].flags & V_EMPTY);
  }
}

TEST_F(Executor, LoopRoundsCountEveryRecordAndProcessEvents) {
  static int pumped;
  pumped = 0;
  process_events_hook = [] { ++pumped; };
  doprocesskeys = 1;
  EXPECT_EQ(run_for(10, body([&] { inc_x(); })), 0u);
  EXPECT_EQ(x_->value, 10u);
  EXPECT_EQ(_opcount, 1u + 10 * 2) << "the idle initialisation records count too";
  EXPECT_EQ(pumped, 1 + 10) << "the main block's entry and each round's";
}

// A "stop" there: errors/run_time.tab (stop_only_record).
TEST_F(Executor, BreakAndFailureInAOneOperationBody) {
  VarEntry* t = new_const(TY_BOOL, 1);
  EXPECT_EQ(run(H_l_loop, {ref_of(body([&] { cb.record(H_l_brkif, 0, {ref_of(t)}); }))}), 0u);
  EXPECT_EQ(_opcount, 3u);
  EXPECT_EQ(brk_level, 0);
  SetUp();
  VarEntry *zero = new_const(TY_INT, 0), *r = new_temp(TY_INT);
  auto div = [&] { cb.record(H_l_div, ref_of(r), {ref_of(one_), ref_of(zero)}, 0, 55); };
  EXPECT_EQ(run_for(1, body(div)), 35u);
  EXPECT_EQ(last_lexema, 55u);
}

// A block that "exec" starts while the block before it left a "break"
// runs its first record and leaves: a block of no records at all, as a
// hand-written or damaged program may hold, just ends.
TEST_F(Executor, ABlockOfNoRecordsStartedWithALevelPendingJustEnds) {
  VarEntry* t = new_const(TY_BOOL, 1);
  VarEntry* brk = body([&] { cb.record(H_l_brkif, 0, {ref_of(t)}); });
  VarEntry* empty = cb.block_slot(cb.begin_block());
  cb.end_block();
  VarEntry* round = body([&] {
    cb.record(H_l_bl_exec, 0, {ref_of(brk), ref_of(empty)});
    inc_x();
  });
  EXPECT_EQ(run(H_l_loop, {ref_of(round)}), 0u);
  EXPECT_EQ(x_->value, 0u) << "the break left the round before x ++";
  EXPECT_EQ(brk_level, 0) << "the loop took it";
}

// The host's event pump raises a stop when the window closes; the stop is
// reported at the operation that the round runs first.
TEST_F(Executor, AStopRaisedAtARoundsEntryNamesTheBodysFirstOperation) {
  static int pumped;
  pumped = 0;
  process_events_hook = [] {
    if (++pumped == 3) on_stop = 1;
  };
  doprocesskeys = 1;
  const Ref text = place_text("x ++");
  EXPECT_EQ(run_for(5, body([&] { inc_x(text); })), 38u);
  EXPECT_EQ(last_lexema, text);
  EXPECT_EQ(x_->value, 2u) << "the second round ran its operation, then stopped";
}

// A loop body whose first record initialises a group of temporaries and
// whose clean-up deletes it. Its clean-up may leave the group as it is
// (keeps) only when no round can tell the values from 0: a round that
// reads a temporary before writing it must find 0 there every time.
TEST_F(Executor, AGroupIsKeptOnlyWhenNoRoundReadsItBeforeWritingIt) {
  struct Case {
    const char* what;
    bool keeps;
    u32 x;  // after three rounds (ANY: not looked at)
    std::function<void(VarEntry* t, VarEntry* u)> records;
  };
  constexpr u32 ANY = ~0u;
  VarEntry *flag = nullptr, *inner = nullptr, *first_only = nullptr;
  const std::vector<Case> cases = {
      {"written, then read", true, 7,
       [&](VarEntry* t, VarEntry*) {
         cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
       }},
      {"read, then written", false, 0,
       [&](VarEntry* t, VarEntry*) {
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
         cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)});
       }},
      {"read by the step that writes it", false, 3,
       [&](VarEntry* t, VarEntry*) {
         cb.record(H_l_plus, ref_of(t), {ref_of(t), ref_of(one_)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
       }},
      {"a comparison's result, then a break on it", true, 3,
       [&](VarEntry* t, VarEntry*) {
         inc_x();
         cb.record(H_l_gt, ref_of(t), {ref_of(x_), ref_of(new_const(TY_INT, 5))});
         cb.record(H_l_brkif, 0, {ref_of(t)});
       }},
      {"a maths operation and a conversion", true, 9,
       [&](VarEntry* t, VarEntry* u) {
         cb.record(H_l_floor, ref_of(t), {ref_of(new_const(TY_FLOAT, float_bits(2.5f)))});
         cb.record(H_convcall, ref_of(u), {C_l_logint, ref_of(flag)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(u)});
       }},
      {"a shift and a bit operation", true, 13,
       [&](VarEntry* t, VarEntry* u) {
         cb.record(H_l_shiftleft, ref_of(t), {ref_of(x_), ref_of(one_)});
         cb.record(H_l_bitor, ref_of(u), {ref_of(t), ref_of(one_)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(u)});
       }},
      {"an operation that is not known to write only its result", false, 0,
       [&](VarEntry* t, VarEntry*) {
         cb.record(H_l_ifassign, ref_of(t), {ref_of(one_), ref_of(x_), ref_of(one_)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
       }},
      {"an assignment's variable", false, 3,
       [&](VarEntry* t, VarEntry*) {
         cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)});
         cb.record(H_l_assign, 0, {ref_of(t), ref_of(one_)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
       }},
      {"a word across two slots", false, ANY,
       [&](VarEntry* t, VarEntry* u) {
         cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)});
         cb.record(H_l_plus, ref_of(u), {ref_of(x_), ref_of(one_)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(u) - 4});
       }},
      {"a record that runs a block", true, 3,
       [&](VarEntry* t, VarEntry*) {
         cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)});
         cb.record(H_log_if, 0, {ref_of(t), ref_of(inner)});
       }},
      {"a call's result, 0 when its block returns nothing", true, 7,
       [&](VarEntry*, VarEntry* u) {
         cb.record(H_l_bl_call, ref_of(u), {ref_of(first_only)});
         cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(u)});
       }},
  };
  for (const Case& c : cases) {
    SetUp();
    flag = new_const(TY_BOOL, 1);
    inner = body([&] { inc_x(); });
    // Returns 7 while x is 0, and nothing after.
    VarEntry *zero = new_const(TY_INT, 0), *is_zero = new_temp(TY_BOOL);
    VarEntry* seven = body([&] { cb.record(H_l_return, 0, {ref_of(new_const(TY_INT, 7))}); });
    first_only = body([&] {
      cb.record(H_l_eq, ref_of(is_zero), {ref_of(x_), ref_of(zero)});
      cb.record(H_log_if, 0, {ref_of(is_zero), ref_of(seven)});
    });
    VarEntry* t = new_temp(TY_INT);
    VarEntry* u = new_temp(TY_INT);
    const Ref blk = cb.begin_block();
    cb.record(H__alltmpinits, ref_of(t), {}, 2, label_tmpinit);
    c.records(t, u);
    cb.set_cleanup(blk, cb.record(H_mvardel, ref_of(t), {}, 2, label_delete));
    cb.end_block();
    EXPECT_EQ(run_for(3, cb.block_slot(blk)), 0u) << c.what;
    if (c.x != ANY) {
      EXPECT_EQ(x_->value, c.x) << c.what;
    }
    const DecodedBlock* d = decoded_block(blk);
    EXPECT_TRUE(d->renews) << c.what;
    EXPECT_EQ(d->keeps, c.keeps) << c.what;
  }
}

// A "breakif" that ends a loop's rounds run in place leaves the body's
// group as the body's end would: renewed, here for the next run of the
// loop, whose body reads a temporary before it writes it. Left as the
// break found it, x would grow by 1 and 2 on the later runs.
TEST_F(Executor, ABreakOutOfRoundsRunInPlaceRenewsTheBodysGroup) {
  for (const bool compared : {false, true}) {
    SetUp();
    VarEntry* t = new_temp(TY_INT);
    VarEntry* done = new_temp(TY_BOOL);
    const Ref blk = cb.begin_block();
    cb.record(H__alltmpinits, ref_of(t), {}, 2, label_tmpinit);
    cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
    cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)});
    if (compared) {  // the comparison and the "breakif" run as one step
      cb.record(H_l_eq, ref_of(done), {ref_of(x_), ref_of(x_)});
      cb.record(H_l_brkif, 0, {ref_of(done)});
    } else {
      cb.record(H_l_brkif, 0, {ref_of(one_)});
    }
    cb.set_cleanup(blk, cb.record(H_mvardel, ref_of(t), {}, 2, label_delete));
    cb.end_block();
    VarEntry* rounds = body([&] { cb.record(H_l_loop, 0, {ref_of(cb.block_slot(blk))}); });
    EXPECT_EQ(run_for(3, rounds), 0u);
    EXPECT_EQ(x_->value, 0u) << compared;
    const DecodedBlock* d = decoded_block(blk);
    EXPECT_TRUE(d->round_start && d->renews && !d->keeps) << compared;
    EXPECT_EQ(_opcount, 3u * (compared ? 7 : 6) + 1) << compared;
  }
}

// Only a group's own initialisation record is stepped over on the runs
// after the first. A block (of a damaged program file) whose first record
// is an operation naming the group as an initialisation would, with a text
// in it, runs that operation every time: the second run adds again, and
// its clean-up then finds the group already deleted by the first run's (72).
TEST_F(Executor, OnlyAGroupsOwnInitialisationIsSteppedOverOnLaterRuns) {
  VarEntry* t = new_temp(TY_INT);
  new_temp(TY_STR);
  const Ref blk = cb.begin_block();
  cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one_)}, 2);
  cb.record(H_l_plusassgn, 0, {ref_of(x_), ref_of(t)});
  cb.set_cleanup(blk, cb.record(H_mvardel, ref_of(t), {}, 2, label_delete));
  cb.end_block();
  EXPECT_EQ(run_for(3, cb.block_slot(blk)), E_DEL_NOT_INIT);
  EXPECT_EQ(x_->value, 3u);
  EXPECT_FALSE(decoded_block(blk)->strings);
}

// A recursion through a block whose own slots are just its group, which it
// keeps: each inner call's frame names the group's first slot (the call's
// result) and its last (the argument), and every run reads its argument
// again after its own call, so both words must name the outer run's
// values while the inner runs run. rec(n) = rec(n - 1) + n, rec(0) = 0.
// Inner runs run on copies of the block, each with a group of its own;
// with no room for copies, they set the outer run's values aside. Traced,
// a copy's records report as the block's own; when the run is over, the
// copies' storage is back in the arena.
TEST_F(Executor, ARecursionsFramesNameTheOuterRunsGroupOnCopiesOrSetAside) {
  // Budgets: room for every copy, for none, for two (the third inner run
  // then runs on the block itself, the outermost run's values set aside).
  constexpr u32 ALL = DEFAULT_COPY_BUDGET, TWO = 1;
  struct Case {
    const char* what;
    u32 budget;
    bool traced;
  } cases[] = {{"copies, traced", ALL, true}, {"set aside, traced", 0, true},
               {"two copies, traced", TWO, true}, {"copies", ALL, false},
               {"set aside", 0, false}, {"two copies", TWO, false}};
  u32 copy_size = 0;
  std::vector<std::vector<Ref>> traced;
  for (const Case& c : cases) {
    SetUp();
    VarEntry* zero = new_const(TY_INT, 0);
    VarEntry* base = body([&] { cb.record(H_l_return, 0, {ref_of(zero)}); });
    VarEntry* got = new_temp(TY_INT);  // the group's first slot
    VarEntry* at_end = new_temp(TY_BOOL);
    VarEntry* n = new_temp(TY_INT);
    VarEntry* again = new_temp(TY_INT);
    VarEntry* sum = new_temp(TY_INT);
    VarEntry* arg = new_temp(TY_INT);  // and its last
    const Ref blk = cb.begin_block();
    VarEntry* rec = cb.block_slot(blk);
    cb.record(H__alltmpinits, ref_of(got), {}, 6, label_tmpinit);
    cb.record(H_l_paramvalue, ref_of(n), {ref_of(zero)});
    cb.record(H_l_eq, ref_of(at_end), {ref_of(n), ref_of(zero)});
    cb.record(H_log_if, 0, {ref_of(at_end), ref_of(base)});
    cb.record(H_l_mins, ref_of(arg), {ref_of(n), ref_of(one_)});
    cb.record(H_l_bl_call, ref_of(got), {ref_of(rec), ref_of(arg)});
    cb.record(H_l_paramvalue, ref_of(again), {ref_of(zero)});
    cb.record(H_l_plus, ref_of(sum), {ref_of(got), ref_of(again)});
    cb.record(H_l_return, 0, {ref_of(sum)});
    cb.set_cleanup(blk, cb.record(H_mvardel, ref_of(got), {}, 6, label_delete));
    cb.end_block();
    main_->value = cb.begin_block();
    cb.record(H_l_bl_call, ref_of(x_), {ref_of(rec), ref_of(new_const(TY_INT, 4))});
    cb.end_block();
    copy_budget = c.budget == TWO ? 2 * copy_size : c.budget;
    const u32 live = arena_live_blocks();
    static std::vector<Ref> reported;
    reported.clear();
    _tracing_int = 0;
    if (c.traced) {
      _execute = _exectrace;
      _tracing_on = 1;
      _trace_hook = [](Ref, const u8* record, int) { reported.push_back(ref_of(record)); };
      _execute(main_);
      _tracing_on = 0;
    } else {
      EXPECT_EQ(execute(0), 0u) << c.what;
    }
    const DecodedBlock* d = decoded_block(blk);
    EXPECT_EQ(x_->value, 10u) << c.what;
    EXPECT_TRUE(d->group_only) << c.what;
    EXPECT_TRUE(d->keeps) << c.what << ": inner runs start with the outer run's values in it";
    EXPECT_EQ(d->runs, 0u) << c.what << ": every run counted off, copies' too";
    // (execute releases the copies when the run is over.)
    const u32 made = c.budget == ALL ? 4 : c.budget == TWO ? 2 : 0;  // rec(3) to rec(0)
    EXPECT_EQ(d->copies.size(), c.traced ? made : 0u) << c.what;
    if (c.budget == ALL && c.traced) copy_size = d->copies[0]->copy_bytes;
    for (Ref& r : reported) {
      EXPECT_TRUE(r >= codepage.base && r < codepage.end) << "a record reported at " << r;
      r -= codepage.base;
    }
    if (c.traced) traced.push_back(reported);
    release_copies();
    EXPECT_EQ(arena_live_blocks(), live) << c.what;
    copy_budget = DEFAULT_COPY_BUDGET;
  }
  ASSERT_EQ(traced.size(), 3u);
  EXPECT_FALSE(traced[0].empty());
  EXPECT_EQ(traced[0], traced[1]) << "the same records reported either way";
  EXPECT_EQ(traced[0], traced[2]) << "the same records reported either way";
}

// A comparison and the "if" or "breakif" that tests its result run as one
// step. The second still tests what its word names when that is no longer
// the result: here an element record rewrites the word, as a damaged
// program's may. The element holds 0, the comparison's result 1.
TEST_F(Executor, AnIfOrBreakifRightAfterItsComparisonTestsWhatItsWordNames) {
  for (const u32 tester : {H_log_if, H_l_brkif}) {
    for (const bool rewritten : {false, true}) {
      SetUp();
      VarEntry* arr = take(vartable, TY_INT, V_EMPTY);
      const u32 types[] = {TY_INT};
      ASSERT_EQ(createfields(arr, 3, 0, types), 1u);
      VarEntry *t = new_temp(TY_BOOL), *five = new_const(TY_INT, 5);
      VarEntry* y = new_var(TY_INT);
      VarEntry* inner = body([&] { inc_x(); });
      const Ref blk = cb.begin_block();
      const Ref elem = cb.record(H__arrdynelem, 0, {ref_of(arr), ref_of(one_)});
      cb.record(H_l_lt, ref_of(t), {ref_of(x_), ref_of(five)});
      Ref test;
      if (tester == H_log_if)
        test = cb.record(H_log_if, 0, {ref_of(t), ref_of(inner)});
      else
        test = cb.record(H_l_brkif, 0, {ref_of(t)});
      // Where the element goes when it is not the test's: a record after it.
      const Ref spare = cb.record(H_l_inc, 0, {ref_of(y)});
      cb.record(H_l_brkif, 0, {ref_of(one_)});  // one round
      cb.end_block();
      wr32(mem + elem + REC_RESULT, (rewritten ? test : spare) + REC_PARAMS);
      VarEntry* round = cb.block_slot(blk);
      main_->value = cb.begin_block();
      cb.record(H_l_loop, 0, {ref_of(round)});
      cb.end_block();
      EXPECT_EQ(execute(0), 0u) << tester << rewritten;
      EXPECT_EQ(decoded_block(blk)->steps[1].kind,
                tester == H_log_if ? Step::COMPARE_IF : Step::COMPARE_BREAKIF);
      EXPECT_EQ(t->value, 1u) << "x < 5 holds";
      // Testing the result, the "if" runs its block and the "breakif"
      // leaves the round before the record that the element points at;
      // testing the element, neither does, and that record counts y.
      const bool breaks = tester == H_l_brkif && !rewritten;
      EXPECT_EQ(x_->value, tester == H_log_if && !rewritten ? 1u : 0u) << tester << rewritten;
      EXPECT_EQ(y->value, rewritten ? 1u : 0u) << tester << rewritten;
      EXPECT_EQ(indexed(arr, 1)->value, rewritten || breaks ? 0u : 1u) << tester << rewritten;
    }
  }
}

// "par#" reads its index where its word points at every run: an element
// record may rewrite the word, as a damaged program's may, right before it
// or further back, and then the constant that the word named at first is
// not the index. The element holds 0: argument 0, not argument 1.
TEST_F(Executor, AParIndexThatAnElementRecordRewritesIsReadAtEveryRun) {
  for (const bool between : {false, true}) {
    for (const bool rewritten : {false, true}) {
      SetUp();
      VarEntry* arr = take(vartable, TY_INT, V_EMPTY);
      const u32 types[] = {TY_INT};
      ASSERT_EQ(createfields(arr, 3, 0, types), 1u);
      VarEntry* got = new_var(TY_INT);
      const Ref blk = cb.begin_block();
      const Ref elem = cb.record(H__arrdynelem, 0, {ref_of(arr), ref_of(one_)});
      Ref spare = between ? inc_x() : 0;
      const Ref par = cb.record(H_l_paramvalue, ref_of(got), {ref_of(one_)});
      if (!between) spare = inc_x();
      cb.end_block();
      wr32(mem + elem + REC_RESULT, (rewritten ? par : spare) + REC_PARAMS);
      VarEntry* callee = cb.block_slot(blk);
      main_->value = cb.begin_block();
      cb.record(H_l_bl_call, 0,
                {ref_of(callee), ref_of(new_const(TY_INT, 10)), ref_of(new_const(TY_INT, 20))});
      cb.end_block();
      EXPECT_EQ(execute(0), 0u) << between << rewritten;
      EXPECT_EQ(got->value, rewritten ? 10u : 20u) << between << rewritten;
    }
  }
}

// Compiled programs whose blocks run inside themselves: every block counts
// no run under way afterwards, however the runs ended.
class BlockRuns : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  void TearDown() override { optimtmpvarinit = 1; }
  // The places of the blocks written in the compiled program, the main
  // block first. (The constants that hold them are erased when the run
  // ends.)
  static std::vector<Ref> block_places() {
    std::vector<Ref> places;
    for (Ref c = cnstable.base; c < cnstable.next; c += sizeof(VarEntry)) {
      const VarEntry* v = S(c);
      if (v->type == TY_BLOCK && !(v->flags & V_EMPTY)) places.push_back(v->value);
    }
    return places;
  }
  u32 compile_and_run(const std::string& src, std::vector<Ref>* places = nullptr) {
    EXPECT_EQ(compile(place_text(src)), 0u);
    const std::vector<Ref> blocks = block_places();
    const u32 code = execute(0);
    for (const Ref p : blocks) {
      const DecodedBlock* d = decoded_block(p);
      EXPECT_EQ(d->runs, d->owns ? 0u : DecodedBlock::UNCOUNTED) << "block at " << p;
    }
    if (places) *places = blocks;
    EXPECT_EQ(exec_depth(), 0u);
    EXPECT_EQ(block_nesty, 0u);
    EXPECT_EQ(callstack.next, callstack.base);
    return code;
  }
  u32 int_var(u32 k) { return S(vartable.base + k * sizeof(VarEntry))->value; }
};

// A recursion in either compilation; an error with every run holding a
// string and an array; a loop body that runs itself, with temporaries of
// its own in each run.
TEST_F(BlockRuns, EveryRunIsForgotten) {
  const char* fib =
      "int r k;\nblock fib { int n; n = (par# 0); if (n < 2) { return n };\n"
      "  return ((call fib (n - 1)) + (call fib (n - 2))) };\nk = 12; r = (call fib k);\n";
  // Inner runs of the first run on copies of the block and the "if"'s
  // block inside it, which names its variable; of this one, with
  // temporaries only, on copies of the block alone.
  const char* fib_copies =
      "int r k;\nblock fib { if ((int par# 0) < 2) { return (int par# 0) };\n"
      "  return ((call fib ((int par# 0) - 1)) + (call fib ((int par# 0) - 2))) };\n"
      "k = 12; r = (call fib k);\n";
  for (const char* src : {fib, fib_copies}) {
    for (const u32 grouped : {1u, 0u}) {
      fresh_env();
      optimtmpvarinit = grouped;
      EXPECT_EQ(compile_and_run(src), 0u);
      EXPECT_EQ(int_var(0), 144u) << grouped;
    }
  }
  fresh_env();
  EXPECT_EQ(compile_and_run("int d;\nblock f { str s; int a[4]; s = (concat \"run \" d); "
                            "a[1] = d; d ++; call f d };\ncall f d;\n"),
            3u);
  EXPECT_GT(int_var(0), 60u) << "the runs went deep before the stack was full";
  fresh_env();
  EXPECT_EQ(compile_and_run("int i s;\nblock b { s += (i * 3); if (s < 40) { exec b } };\n"
                            "for i 1 2 1 b;\n"),
            0u);
  EXPECT_EQ(int_var(1), 48u) << "3 to 42 by 3 in the first round, 6 more in the second";
  // A "continue" in blocks that "if"s of a loop's body ran, which run
  // blocks and have temporaries of their own: each run of them ends.
  for (const u32 grouped : {1u, 0u}) {
    fresh_env();
    optimtmpvarinit = grouped;
    EXPECT_EQ(compile_and_run("int i s n;\nfor i 1 9 1 { if ((i % 3) != 0) { n += (i * 2); "
                              "if ((i % 2) == 0) { n ++; continue }; continue }; s += i };\n"),
              0u);
    EXPECT_EQ(int_var(1), 18u) << grouped;
    EXPECT_EQ(int_var(2), 57u) << grouped << ": 2 * (1 + 2 + 4 + 5 + 7 + 8), and 1 for each of 2, 4, 8";
  }
}

// A loop, or an "exec" of one block, whose block is written in place (a
// block constant) trusts its slot between rounds and runs; one that runs a
// block variable looks at the slot every time, and follows it when a round
// puts another block there.
TEST_F(BlockRuns, OnlyLoopsOverBlockConstantsTrustTheirSlot) {
  std::vector<Ref> places;
  EXPECT_EQ(compile_and_run("int i s;\nblock b; block c { s += 100 };\n"
                            "b = { s += 1; b = c };\n"
                            "for i 1 3 1 { s += 1 };\nfor i 1 3 1 b;\n"
                            "exec { s += 1000 };\nloop { s += 10000; breakif (s > 0) };\n",
                            &places),
            0u);
  EXPECT_EQ(int_var(1), 3u + 1u + 200u + 1000u + 10000u) << "the second loop followed b";
  const DecodedBlock* main = decoded_block(places.at(0));
  std::vector<std::pair<Step::Kind, u8>> seen;
  for (u32 k = 0; k < main->nsteps; ++k) {
    const Step& st = main->steps[k];
    if (st.kind == Step::FOR || st.kind == Step::EXEC || st.kind == Step::LOOP)
      seen.emplace_back(st.kind, st.fixed);
  }
  const std::vector<std::pair<Step::Kind, u8>> expected = {
      {Step::FOR, 1}, {Step::FOR, 0}, {Step::EXEC, 1}, {Step::LOOP, 1}};
  EXPECT_EQ(seen, expected);
}

// Only a block that may start while a run of it is under way counts its
// runs: the blocks that its runs may run are all written in place, none of
// them the block, and no block of the program processes events.
TEST_F(BlockRuns, OnlyABlockThatCanStartInsideItselfCountsItsRuns) {
  struct Case {
    const char* src;
    u32 block;    // the "if"'s block, which has a temporary, among the program's (main: 0)
    bool counts;  // whether it counts its runs
  } cases[] = {
      {"int i s;\nfor i 1 9 1 { if ((i % 3) == 0) { s += (i * 2); if (s > 9) { s ++ } } };\n", 2,
       false},
      {"int i s;\nfor i 1 9 1 { if ((i % 3) == 0) { s += (i * 2); exec { s ++ } {} } { s -- } };\n",
       2, false},
      // A block variable may hold any block, the "if"'s own too.
      {"int i s; block f { s ++ };\nfor i 1 9 1 { if ((i % 3) == 0) { s += (i * 2); exec f } };\n",
       3, true},
      {"int i s; block f { s ++ };\nfor i 1 9 1 { if ((i % 3) == 0) { s += (i * 2); call f } };\n",
       3, true},
      {"int i s; block f { s ++ };\n"
       "for i 1 9 1 { if ((i % 3) == 0) { s += (i * 2); if (s > 9) { exec f } } };\n",
       3, true},
      // Anywhere in the program, event processing may run the key handler.
      {"int i s;\nfor i 1 9 1 { if ((i % 3) == 0) { s += (i * 2); if (s > 9) { s ++ } } };\n"
       "processevents;\n",
       2, true},
  };
  for (const Case& c : cases) {
    fresh_env();
    std::vector<Ref> places;
    EXPECT_EQ(compile_and_run(c.src, &places), 0u) << c.src;
    ASSERT_GT(places.size(), c.block) << c.src;
    EXPECT_EQ(decoded_block(places[c.block])->owns, c.counts) << c.src;
  }
}

// Events processed as a block starts may run the key handler, which may
// start a block whose run is under way: when that inner run ends, the
// outer run's variable comes back.
TEST_F(BlockRuns, AKeyHandlerThatRunsABlockAgainLeavesTheOuterRunsValues) {
  static VarEntry* n = nullptr;
  static bool fired = false;
  fired = false;
  process_events_hook = [] {
    if (!fired && n->value == 1) {
      fired = true;
      key_typed('a');
    }
  };
  EXPECT_EQ(compile(place_text(
                "int n s; block work;\nonkbhit { exec work };\n"
                "code work { if (n < 2) { int v; v = (n + 10); n ++; exec { s += 100 }; s += v } };\n"
                "processevents TRUE; exec work;\n")),
            0u);
  n = S(vartable.base);
  const u32 code = execute(0);
  process_events_hook = nullptr;
  doprocesskeys = 0;
  anykeyevent = 0;
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(fired);
  EXPECT_EQ(int_var(1), 221u) << "100 and 11 in the handler's run, 100 and 10 in the outer one";
}

// A loop body that processes events does not run in place: the key handler
// that the events may run has loops of its own, which run in place.
TEST_F(BlockRuns, ABodyThatProcessesEventsLeavesTheKeyHandlerItsOwnLoops) {
  static bool fired = false;
  fired = false;
  static WindowOps pumping{};
  pumping.pump = [] {
    if (!fired) {
      fired = true;
      key_typed('a');
    }
  };
  const WindowOps* const before = window_ops;
  window_ops = &pumping;
  EXPECT_EQ(compile(place_text("int i n j m;\nonkbhit { for j 1 5 1 { m ++ } };\n"
                               "for i 1 3 1 { n ++; processevents };\n")),
            0u);
  const u32 code = execute(0);
  window_ops = before;
  anykeyevent = 0;
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(fired);
  EXPECT_EQ(int_var(1), 3u) << "the outer loop's rounds";
  EXPECT_EQ(int_var(3), 5u) << "the handler's";
}

// A block whose first steps declare the variables that its clean-up
// deletes renews them at the end of a run, from its second run on, when
// nothing outside its tree names them; a copy of a recursive block renews
// its own at every end. When the program's run ends, the variables left
// renewed are deleted. A block named from outside deletes its variables as
// ever, and a block run only once is never looked at.
TEST_F(BlockRuns, ABlockRunAgainRenewsItsOwnVariablesWhenNothingElseNamesThem) {
  std::vector<Ref> places;
  EXPECT_EQ(compile_and_run("int s;\nblock acc { int a; float b; a = (par# 0); b = (a * 2); s += b };\n"
                            "block fact { int k; k = (par# 0); if (k < 2) { return 1 };\n"
                            "  return (k * (call fact (k - 1))) };\n"
                            "block once { int o; o = (par# 0) };\n"
                            "call acc 1; call acc 2; call acc 3; s += (call fact 6); s += (call fact 3);\n"
                            "call once 1;\n",
                            &places),
            0u);
  EXPECT_EQ(int_var(0), 12u + 720u + 6u);
  const DecodedBlock* acc = decoded_block(places.at(1));
  ASSERT_EQ(acc->declared.size(), 2u);
  EXPECT_EQ(acc->steps[acc->nsteps - 1].kind, Step::RENEW_VARS);
  EXPECT_EQ(acc->renewal, DecodedBlock::RENEWAL_YES);
  EXPECT_EQ(acc->prime_skip, prime_of(3));
  EXPECT_FALSE(acc->primed) << "the end of the program's run took the prime back";
  for (const DecodedBlock::Declared& d : acc->declared)
    EXPECT_TRUE(S(d.var)->flags & V_EMPTY) << "and deleted the variables";
  EXPECT_EQ(acc->declared[1].type, u32{TY_FLOAT});
  // fact (its "if"'s block is written inside it, so found by its kind),
  // and the block run once.
  std::vector<int> others;
  for (size_t i = 2; i < places.size(); ++i)
    if (decoded_block(places[i])->declared.size() == 1) others.push_back(decoded_block(places[i])->renewal);
  const std::vector<int> expected = {DecodedBlock::RENEWAL_YES, DecodedBlock::RENEWAL_ONCE};
  EXPECT_EQ(others, expected);
  // The copies, seen before the end of the program's run gives them back.
  fresh_env();
  ASSERT_EQ(compile(place_text("int s;\nblock fact { int k; k = (par# 0); if (k < 2) { return 1 };\n"
                               "  return (k * (call fact (k - 1))) };\ns = (call fact 5);\n")),
            0u);
  clear_decoded_blocks();
  const Ref fact_place = block_places().at(1);
  _execute = _executor;
  _execute(S(cnstable.base));
  EXPECT_EQ(int_var(0), 120u);
  const DecodedBlock* fact = decoded_block(fact_place);
  ASSERT_EQ(fact->copies.size(), 4u);
  for (const DecodedBlock* c : fact->copies) {
    EXPECT_EQ(c->renews_at, 2u) << "a copy renews at its depth's run";
    EXPECT_TRUE(c->primed);
  }
  release_primed();
  release_copies();

  fresh_env();
  EXPECT_EQ(compile_and_run("int seen;\nblock peek { seen = pv };\n"
                            "block pd { int pv; pv = (par# 0); call peek };\ncall pd 5; call pd 6;\n",
                            &places),
            0u);
  EXPECT_EQ(int_var(0), 6u);
  EXPECT_EQ(decoded_block(places.back())->renewal, DecodedBlock::RENEWAL_NO);
  // Compiled without the grouped initialisation, no block declares so.
  fresh_env();
  optimtmpvarinit = 0;
  EXPECT_EQ(compile_and_run("int s;\nblock acc { int a; a = (par# 0); s += a };\ncall acc 1; call acc 2;\n",
                            &places),
            0u);
  EXPECT_EQ(int_var(0), 3u);
  EXPECT_TRUE(decoded_block(places.at(1))->declared.empty());
}

// A run of such a block that starts at the entry of another run, where
// events are processed (a key handler's), before that run's first step:
// with no room for copies, it sets the outer run's values aside, and the
// outer run declares its variables as ever when it goes on.
TEST_F(BlockRuns, ARunStartedAtTheEntryOfARenewingBlockLeavesItsDeclarationsToIt) {
  static Ref g_place;
  static const Step* call_g;
  static bool fired;
  g_place = 0, call_g = nullptr, fired = false;
  ASSERT_EQ(compile(place_text("int s;\nblock g { int a; int b; a = (par# 0); b = (a * 2);\n"
                               "  if (b > 0) { s += b } };\ncall g 1; call g 2; call g 3;\n")),
            0u);
  g_place = block_places().at(1);
  const Ref main_place = block_places().at(0);
  static Ref main_at;
  main_at = main_place;
  process_events_hook = [] {
    const DecodedBlock* g = decoded_block(g_place);
    if (fired || !g->primed) return;
    fired = true;
    const DecodedBlock* main = decoded_block(main_at);
    for (u32 k = 0; k < main->nsteps; ++k)
      if (main->steps[k].kind == Step::CALL_BLOCK) call_g = &main->steps[k];
    EXPECT_EQ(run_from_handler(Step::CALL_BLOCK, 0, call_g->params, call_g->count), 1u);
  };
  doprocesskeys = 1;
  copy_budget = 0;
  EXPECT_EQ(execute(0), 0u);
  copy_budget = DEFAULT_COPY_BUDGET;
  doprocesskeys = 0;
  process_events_hook = nullptr;
  EXPECT_TRUE(fired) << "the third call's entry found the block primed";
  EXPECT_EQ(int_var(0), 2u + 4u + 6u + 6u);
}

// A recursion through a block with variables of its own, and blocks inside
// it that name them (a quicksort), runs its inner runs on copies of the
// whole tree; with no room for copies, or past the room for some, it sets
// the outer run's values aside. Either way gives the same sorted array and
// the same sum, the records traced are the program's own, and the copies'
// storage goes back. A block outside the tree that names the variables
// (which it may), or a block of the tree kept in a variable, keeps the
// tree from being copied: they see the innermost run's values.
TEST_F(BlockRuns, ARecursionWithVariablesRunsOnCopiesOfItsTreeWhenNothingElseSeesIt) {
  const char* qs =
      "int a[40]; int i r in_place;\n"
      "block qs { int lo hi p l h t; lo = (par# 0); hi = (par# 1);\n"
      "  if (lo < hi) { p = a[((lo + hi) / 2)]; l = lo; h = hi;\n"
      "    loop { loop { breakif (a[l] >= p); l ++ }; loop { breakif (a[h] <= p); h -- };\n"
      "      if (l <= h) { t = a[l]; a[l] = a[h]; a[h] = t; l ++; h -- }; breakif (l > h) };\n"
      "    call qs lo h; call qs l hi; r += ((hi - lo) * lo) } };\n"
      "for i 0 39 1 { a[i] = (((i * 7) + 3) % 40) };\ncall qs 0 39;\n"
      "for i 0 39 1 { if (a[i] == i) { in_place ++ } };\n";
  // The recursive block: the nth block written after the main one.
  const auto run = [&](const char* src, u32 nth) {
    std::vector<Ref> places;
    EXPECT_EQ(compile_and_run(src, &places), 0u) << src;
    return decoded_block(places.at(nth + 1));
  };
  const auto sorted = [this] { return int_var(3) == 40; };
  u32 sum = 0;
  // Traced, with room for all the copies and then for two (the deeper runs
  // set aside): the copies' steps report the blocks' own records.
  u32 copy_size = 0;
  std::vector<std::vector<Ref>> traces;
  for (const bool two : {false, true}) {
    fresh_env();
    ASSERT_EQ(compile(place_text(qs)), 0u);
    clear_decoded_blocks();
    copy_budget = two ? 2 * copy_size : DEFAULT_COPY_BUDGET;
    const Ref qs_place = block_places().at(1);
    static std::vector<Ref> reported;
    reported.clear();
    _tracing_int = 0;
    _tracing_on = 1;
    _trace_hook = [](Ref, const u8* record, int) { reported.push_back(ref_of(record)); };
    _execute = _exectrace;
    _execute(S(cnstable.base));
    _tracing_on = 0;
    EXPECT_TRUE(sorted()) << two;
    if (!two) sum = int_var(2);
    EXPECT_EQ(int_var(2), sum) << two;
    const DecodedBlock* d = decoded_block(qs_place);
    if (two)
      EXPECT_EQ(d->copies.size(), 2u);
    else
      EXPECT_GT(d->copies.size(), 3u) << "the inner runs ran on copies";
    copy_size = d->copies[0]->copy_bytes;
    for (Ref& rec : reported) {
      EXPECT_TRUE(rec >= codepage.base && rec < codepage.end) << "a record reported at " << rec;
      rec -= codepage.base;
    }
    traces.push_back(reported);
    release_copies();
    copy_budget = DEFAULT_COPY_BUDGET;
  }
  EXPECT_EQ(traces[0], traces[1]) << "the same records reported either way";
  // Untraced, with no room for copies, room for two and room for all; and
  // compiled without the grouped initialisation, which it does not copy.
  for (const u32 budget : {0u, 2 * copy_size, DEFAULT_COPY_BUDGET}) {
    for (const u32 grouped : {1u, 0u}) {
      fresh_env();
      optimtmpvarinit = grouped;
      copy_budget = budget;
      const u32 live = arena_live_blocks();
      const DecodedBlock* d = run(qs, 0);
      EXPECT_TRUE(sorted()) << budget << " " << grouped;
      EXPECT_EQ(int_var(2), sum) << budget << " " << grouped;
      EXPECT_EQ(d->runs, 0u);
      EXPECT_EQ(d->copying, grouped ? DecodedBlock::COPYING_YES : DecodedBlock::COPYING_NO);
      EXPECT_EQ(arena_live_blocks(), live + 1) << "the array is there, the copies are given back";
      copy_budget = DEFAULT_COPY_BUDGET;
    }
  }
  // Another block sees the variable, or a block of the tree is kept: the
  // innermost run's value is seen, as the variable's slot holds it.
  const char* seen =
      "int seen;\nblock peek { seen = ((seen * 10) + pv) };\n"
      "block pd { int pv; pv = (par# 0); if (pv < 3) { call pd (pv + 1) } { call peek }; call peek };\n"
      "call pd 1;\n";
  const char* kept =
      "int seen; block kb;\n"
      "block pd { int pv; pv = (par# 0); kb = { seen = ((seen * 10) + pv) };\n"
      "  if (pv < 3) { call pd (pv + 1) }; exec kb };\ncall pd 1; exec kb;\n";
  for (const char* src : {seen, kept}) {
    fresh_env();
    const DecodedBlock* d = run(src, src == seen ? 1 : 0);
    EXPECT_EQ(int_var(0), src == seen ? 3321u : 3211u) << src;
    EXPECT_EQ(d->copying, DecodedBlock::COPYING_NO) << src;
  }
}

// A block that writes its caller's variable through "par@", looks at its
// call's arguments, or cuts, overwrites and compares texts ("word",
// "ascii", "insubs", "case"), still renews its own variables between runs
// and recurses on copies of its tree: "par@" in an inner run writes the
// calling run's own variable, which the frame names on a copy as on a run
// set aside, so the sums come out the same with no room for copies.
TEST_F(BlockRuns, WritingTheCallersVariablesKeepsRenewalAndCopies) {
  std::vector<Ref> places;
  EXPECT_EQ(compile_and_run("int s; int n;\nblock acc { int t; t = (par# 1); par@ 0 ((int par# 0) + (t * 2)) };\n"
                            "block cut { str w; w = (word \"ab cd\" (par# 0)); insubs w (ascii 65) 0;\n"
                            "  n = ((n * 10) + ((length w) + (case w \"Ab\" \"Ad\"))) };\n"
                            "call acc s 1; call acc s 2; call acc s 3; call cut 0; call cut 3; call cut 1;\n",
                            &places),
            0u);
  EXPECT_EQ(int_var(0), 12u);
  EXPECT_EQ(int_var(1), 233u);
  EXPECT_EQ(decoded_block(places.at(1))->renewal, DecodedBlock::RENEWAL_YES);
  EXPECT_EQ(decoded_block(places.at(2))->renewal, DecodedBlock::RENEWAL_YES);
  const char* rsum =
      "int total; int given;\n"
      "block rsum { int k; int acc; k = (par# 1); acc = 0;\n"
      "  if (&& (isparvar 0) ((npars) == 2) (! (ispar 2))) { given ++ };\n"
      "  if (k > 0) { call rsum acc (k - 1) }; par@ 0 (acc + k) };\n"
      "call rsum total 6; call rsum total 4;\n";
  for (const u32 budget : {DEFAULT_COPY_BUDGET, 0u}) {
    fresh_env();
    copy_budget = budget;
    EXPECT_EQ(compile_and_run(rsum, &places), 0u);
    copy_budget = DEFAULT_COPY_BUDGET;
    EXPECT_EQ(int_var(0), 10u) << budget;
    EXPECT_EQ(int_var(1), 12u) << budget;
    EXPECT_EQ(decoded_block(places.at(1))->copying, DecodedBlock::COPYING_YES) << budget;
  }
}

// A loop body whose temporaries hold texts leaves them, between rounds,
// as new empty texts in the storage they had; a recursion's inner runs get
// texts of their own. When the program's run ends, however it ends, that
// storage goes back and the temporaries are empty.
TEST_F(BlockRuns, TextsLeftForTheNextRoundAreGivenBackWhenTheRunEnds) {
  const char* ok = "str t; int i n;\nfor i 1 5 1 { t = (concat \"ab\" i); n += (length t) };\n";
  const char* failing =
      "str t; int i n;\nfor i 1 5 1 { t = (concat \"ab\" i); n = (10 / (3 - i)) };\n";
  const char* recursive =
      "str t; bool same;\nblock rev { if ((length (concat \"\" (par# 0))) < 2) { return (concat \"\" (par# 0)) };\n"
      "  return (concat (call rev (substr (concat \"\" (par# 0)) 1 9)) (substr (concat \"\" (par# 0)) 0 1)) };\n"
      "t = (call rev \"abcd\"); same = (t == \"dcba\");\n";
  for (const char* src : {ok, failing, recursive}) {
    fresh_env();
    ASSERT_EQ(compile(place_text(src)), 0u);
    std::vector<Ref> blocks;
    for (Ref c = cnstable.base; c < cnstable.next; c += sizeof(VarEntry))
      if (S(c)->type == TY_BLOCK && !(S(c)->flags & V_EMPTY)) blocks.push_back(S(c)->value);
    EXPECT_EQ(execute(0), src == failing ? 35u : 0u);
    bool renewed = false;
    for (const Ref b : blocks) renewed |= decoded_block(b)->strings;
    EXPECT_TRUE(renewed) << "the body renews a group holding a text";
    for (Ref r = rettable.base; r < rettable.next; r += sizeof(VarEntry)) {
      if (S(r)->type == TY_STR) {
        EXPECT_TRUE(S(r)->flags & V_EMPTY) << src;
      }
    }
  }
  EXPECT_EQ(int_var(1), 1u) << "each run of the recursion had texts of its own";
}

// A recursion whose block holds texts among its temporaries, or in a
// variable of its own, runs on copies of it (of the block alone, or of its
// tree), each with texts of its own that it keeps from one run to the next
// at its depth; with no room for copies, or for two, the deeper runs set
// the outer run's values aside. Every way gives the same texts, and when
// the run ends, by its end or by an error deep inside, the copies' texts
// go back with them.
TEST_F(BlockRuns, ARecursionOverTextsRunsOnCopiesThatKeepThem) {
  const std::string temps =
      "block bin { if ((int par# 0) < 2) { return (concat \"\" (par# 0)) };\n"
      "  k = (10 / ((int par# 0) - 99));\n"
      "  return (concat (call bin (/ (int par# 0) 2)) (% (int par# 0) 2)) };\n";
  const std::string named =
      "block bin { str bs; if ((int par# 0) < 2) { return (concat \"\" (par# 0)) };\n"
      "  k = (10 / ((int par# 0) - 99)); bs = (call bin (/ (int par# 0) 2));\n"
      "  return (concat bs (% (int par# 0) 2)) };\n";
  for (const std::string* bin : {&temps, &named}) {
    const bool tree = bin == &named;
    const std::string head = "int i n k; str t; bool same;\n" + *bin;
    const std::string ok = head + "for i 1 40 1 { t = (call bin i); n += (length t) };\n"
                                  "same = (t == \"101000\");\n";
    // Fails two calls down: 396 -> 198 -> 99.
    const std::string failing = head + "t = (call bin 396);\n";
    // Run without its end, the copies are still there: one per depth
    // below the first (40 has six binary digits), each with texts kept.
    // The budget counts their storage too: room for two copies' records
    // and slots alone makes fewer than two.
    const auto copies_made = [&](u32 budget) {
      fresh_env();
      EXPECT_EQ(compile(place_text(ok)), 0u);
      clear_decoded_blocks();
      const Ref bin_place = block_places().at(1);
      copy_budget = budget;
      _execute = _executor;
      _execute(S(cnstable.base));
      copy_budget = DEFAULT_COPY_BUDGET;
      EXPECT_EQ(int_var(1), 183u) << tree << " " << budget;
      return decoded_block(bin_place);
    };
    const DecodedBlock* d = copies_made(DEFAULT_COPY_BUDGET);
    EXPECT_EQ(d->copying, DecodedBlock::COPYING_YES) << tree;
    ASSERT_EQ(d->copies.size(), 5u) << tree;
    for (const DecodedBlock* c : d->copies) {
      EXPECT_TRUE(c->primed) << tree;
      const VarEntry* v = S(c->copy_at);
      u32 texts = 0;
      for (u32 k = 0; k < c->copy_slots / sizeof(VarEntry); ++k)
        texts += v[k].type == TY_STR && !(v[k].flags & V_EMPTY);
      EXPECT_GT(texts, 0u) << tree << ": a copy's texts are kept for its next run";
    }
    const u32 copy_bytes = d->copies[0]->copy_bytes;
    release_primed();
    release_copies();
    EXPECT_LT(copies_made(2 * copy_bytes + 16)->copies.size(), 2u) << tree;
    release_primed();
    release_copies();
    // Through execute, with room for no copy, for two and for all.
    u32 live_after[2][3];
    const u32 budgets[] = {0u, 2 * copy_bytes + 4096, DEFAULT_COPY_BUDGET};
    for (u32 b = 0; b < 3; ++b) {
      for (const bool fails : {false, true}) {
        fresh_env();
        copy_budget = budgets[b];
        const u32 live = arena_live_blocks();
        EXPECT_EQ(compile_and_run(fails ? failing : ok), fails ? 35u : 0u) << tree << " " << b;
        if (!fails) {
          EXPECT_EQ(int_var(1), 183u) << tree << " " << b << ": the digits of 1 to 40";
          EXPECT_EQ(int_var(4), 1u) << tree << " " << b << ": 40 is 101000";
        }
        live_after[fails][b] = arena_live_blocks() - live;
        copy_budget = DEFAULT_COPY_BUDGET;
      }
    }
    for (const bool fails : {false, true}) {
      EXPECT_EQ(live_after[fails][1], live_after[fails][0]) << tree << " " << fails;
      EXPECT_EQ(live_after[fails][2], live_after[fails][0]) << tree << " " << fails;
    }
  }
}

// Clean-up records have no source to point at (loaded programs neither:
// errors/run_time.tab runs each row loaded); a long line is shown whole
// with the caret under its place.
TEST(Reports, PlacesOfErrors) {
  fresh_env();
  Ref text = place_text("int i;\ni = (1 / 0);");
  EXPECT_EQ(format_runtime_error(72, text, label_delete, false),
            "\nRUN-TIME error 72 (line no location): Unexpected end of block, deleting non "
            "initialized variables\n\n\n");
  std::string line(3000, 'a');
  text = place_text(line + " x");
  std::string r = format_compile_error(16, text, text + 3001);
  EXPECT_NE(r.find(line + " x\n" + std::string(3000, ' ') + "^"), std::string::npos);
}

}  // namespace
