// Loop operations run their bodies' rounds inside the executor's loop, the
// body kept entered from one round to the next: these cases check that the
// rounds keep the record counts, levels, stop and block changes right.
#include <gtest/gtest.h>

#include <functional>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

class LoopBody : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_env();
    main_ = cb.block_slot(END_BLOCK);
    i_ = new_var(TY_INT);
    x_ = new_var(TY_INT);
    one_ = new_const(TY_INT, 1);
  }
  // A block of an idle initialisation record and the given records.
  VarEntry* body(std::initializer_list<std::function<void()>> records) {
    Ref b = cb.begin_block();
    cb.record(H__alltmpinits, rettable.next, {}, 0, label_tmpinit);
    for (auto& r : records) r();
    cb.end_block();
    return cb.block_slot(b);
  }
  // Runs a main block of the one record; the run's error code.
  u32 run(u32 handler, std::initializer_list<Ref> params) {
    main_->value = cb.begin_block();
    cb.record(handler, 0, params);
    cb.end_block();
    return execute(0);
  }
  // "for i 1 n 1 blk"
  u32 run_for(u32 n, VarEntry* blk) {
    return run(H_l_for, {ref_of(i_), ref_of(one_), ref_of(new_const(TY_INT, n)), ref_of(one_),
                         ref_of(blk)});
  }
  std::function<void()> inc_x() {
    return [this] { cb.record(H_l_inc, 0, {ref_of(x_)}); };
  }
  CodeBuilder cb;
  VarEntry *main_ = nullptr, *i_ = nullptr, *x_ = nullptr, *one_ = nullptr;
};

TEST_F(LoopBody, ForCountsEveryRecordOfEveryRound) {
  EXPECT_EQ(run_for(10, body({inc_x()})), 0u);
  EXPECT_EQ(x_->value, 10u);
  EXPECT_EQ(i_->value, 11u);
  EXPECT_EQ(_opcount, 1u + 10 * 2) << "the idle initialisation records count too";
}

TEST_F(LoopBody, BreakInAOneOperationBodyLeavesTheLoop) {
  VarEntry* t = new_const(TY_BOOL, 1);
  EXPECT_EQ(run(H_l_loop, {ref_of(body({[&] { cb.record(H_l_brkif, 0, {ref_of(t)}); }}))}), 0u);
  EXPECT_EQ(_opcount, 3u);
  EXPECT_EQ(brk_level, 0);
}

TEST_F(LoopBody, StopInAOneOperationBodyNamesItsRecord) {
  EXPECT_EQ(run(H_l_loop, {ref_of(body({[&] { cb.record(H_l_stop, 0, {}, 0, 77); }}))}), 38u);
  EXPECT_EQ(last_lexema, 77u);
}

TEST_F(LoopBody, FailureInAOneOperationBodyNamesItsRecord) {
  VarEntry* zero = new_const(TY_INT, 0);
  VarEntry* r = new_temp(TY_INT);
  VarEntry* blk =
      body({[&] { cb.record(H_l_div, ref_of(r), {ref_of(one_), ref_of(zero)}, 0, 55); }});
  EXPECT_EQ(run_for(1, blk), 35u);
  EXPECT_EQ(last_lexema, 55u);
}

// The body's block variable gets new code in the first round; the later
// rounds must run the new code, not the shape learnt from the old one.
TEST_F(LoopBody, ABodyThatChangesItsCodeRunsTheNewCode) {
  VarEntry* bvar = new_var(TY_BLOCK);
  VarEntry* incblk = body({inc_x(), inc_x()});
  bvar->value = body({[&] { cb.record(H_l_bl_code, 0, {ref_of(bvar), ref_of(incblk)}); }})->value;
  EXPECT_EQ(run_for(3, bvar), 0u);
  EXPECT_EQ(x_->value, 4u) << "two rounds of the new code, two increments each";
  EXPECT_EQ(_opcount, 1u + 2 + 3 + 3);
}

TEST_F(LoopBody, EventsAreProcessedAtEveryRound) {
  static int pumped;
  pumped = 0;
  process_events_hook = [] { ++pumped; };
  doprocesskeys = 1;
  EXPECT_EQ(run_for(5, body({inc_x()})), 0u);
  EXPECT_EQ(pumped, 1 + 5) << "the main block's entry and each round's";
  process_events_hook = nullptr;
  doprocesskeys = 0;
}

// The host's event pump raises a stop when the window closes; the stop is
// reported at the operation that the round runs first.
TEST_F(LoopBody, AStopRaisedAtARoundsEntryNamesTheBodysFirstOperation) {
  static int pumped;
  pumped = 0;
  process_events_hook = [] {
    if (++pumped == 3) on_stop = 1;
  };
  doprocesskeys = 1;
  VarEntry* blk = body({inc_x()});
  const Ref inc = blk->value + 4 + REC_PARAMS;  // after the idle initialisation
  wr32(mem + inc, place_text("x ++"));
  EXPECT_EQ(run_for(5, blk), 38u);
  EXPECT_EQ(last_lexema, rd32(mem + inc));
  EXPECT_EQ(x_->value, 2u) << "the second round ran its operation, then stopped";
  process_events_hook = nullptr;
  doprocesskeys = 0;
}

}  // namespace
