// Loop operations run their bodies with the plain executor inlined and a
// shortcut for bodies of one operation: these cases check that the
// shortcuts keep the record counts, levels, stop and block changes right.
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
  }
  // A block of an idle initialisation record and the given records.
  Ref body(std::initializer_list<std::function<void()>> records) {
    Ref b = cb.begin_block();
    cb.record(H__alltmpinits, rettable.next, {}, 0, label_tmpinit);
    for (auto& r : records) r();
    cb.end_block();
    return b;
  }
  CodeBuilder cb;
  VarEntry* main_ = nullptr;
};

TEST_F(LoopBody, ForCountsEveryRecordOfEveryRound) {
  VarEntry* i = new_var(TY_INT);
  VarEntry* x = new_var(TY_INT);
  VarEntry* one = new_const(TY_INT, 1);
  VarEntry* ten = new_const(TY_INT, 10);
  Ref b = body({[&] { cb.record(H_l_inc, 0, {ref_of(x)}); }});
  VarEntry* blk = cb.block_slot(b);
  Ref m = cb.begin_block();
  cb.record(H_l_for, 0, {ref_of(i), ref_of(one), ref_of(ten), ref_of(one), ref_of(blk)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(x->value, 10u);
  EXPECT_EQ(i->value, 11u);
  EXPECT_EQ(_opcount, 1u + 10 * 2) << "the idle initialisation records count too";
}

TEST_F(LoopBody, BreakInAOneOperationBodyLeavesTheLoop) {
  VarEntry* t = new_const(TY_BOOL, 1);
  Ref b = body({[&] { cb.record(H_l_brkif, 0, {ref_of(t)}); }});
  VarEntry* blk = cb.block_slot(b);
  Ref m = cb.begin_block();
  cb.record(H_l_loop, 0, {ref_of(blk)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(_opcount, 3u);
  EXPECT_EQ(brk_level, 0);
}

TEST_F(LoopBody, StopInAOneOperationBodyNamesItsRecord) {
  Ref b = body({[&] { cb.record(H_l_stop, 0, {}, 0, 77); }});
  VarEntry* blk = cb.block_slot(b);
  Ref m = cb.begin_block();
  cb.record(H_l_loop, 0, {ref_of(blk)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 38u);
  EXPECT_EQ(last_lexema, 77u);
}

TEST_F(LoopBody, FailureInAOneOperationBodyNamesItsRecord) {
  VarEntry* i = new_var(TY_INT);
  VarEntry* one = new_const(TY_INT, 1);
  VarEntry* zero = new_const(TY_INT, 0);
  VarEntry* r = new_temp(TY_INT);
  Ref b = body({[&] { cb.record(H_l_div, ref_of(r), {ref_of(one), ref_of(zero)}, 0, 55); }});
  VarEntry* blk = cb.block_slot(b);
  Ref m = cb.begin_block();
  cb.record(H_l_for, 0, {ref_of(i), ref_of(one), ref_of(one), ref_of(one), ref_of(blk)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 35u);
  EXPECT_EQ(last_lexema, 55u);
}

// The body's block variable gets new code in the first round; the later
// rounds must run the new code, not the shape learnt from the old one.
TEST_F(LoopBody, ABodyThatChangesItsCodeRunsTheNewCode) {
  VarEntry* i = new_var(TY_INT);
  VarEntry* x = new_var(TY_INT);
  VarEntry* bvar = new_var(TY_BLOCK);
  VarEntry* one = new_const(TY_INT, 1);
  VarEntry* three = new_const(TY_INT, 3);
  Ref inc = body({[&] { cb.record(H_l_inc, 0, {ref_of(x)}); },
                  [&] { cb.record(H_l_inc, 0, {ref_of(x)}); }});
  VarEntry* incblk = cb.block_slot(inc);
  Ref swap = body({[&] { cb.record(H_l_bl_code, 0, {ref_of(bvar), ref_of(incblk)}); }});
  bvar->value = swap;
  Ref m = cb.begin_block();
  cb.record(H_l_for, 0, {ref_of(i), ref_of(one), ref_of(three), ref_of(one), ref_of(bvar)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(x->value, 4u) << "two rounds of the new code, two increments each";
  EXPECT_EQ(_opcount, 1u + 2 + 3 + 3);
}

TEST_F(LoopBody, EventsAreProcessedAtEveryRound) {
  static int pumped;
  pumped = 0;
  process_events_hook = [] { ++pumped; };
  doprocesskeys = 1;
  VarEntry* i = new_var(TY_INT);
  VarEntry* x = new_var(TY_INT);
  VarEntry* one = new_const(TY_INT, 1);
  VarEntry* five = new_const(TY_INT, 5);
  Ref b = body({[&] { cb.record(H_l_inc, 0, {ref_of(x)}); }});
  VarEntry* blk = cb.block_slot(b);
  Ref m = cb.begin_block();
  cb.record(H_l_for, 0, {ref_of(i), ref_of(one), ref_of(five), ref_of(one), ref_of(blk)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(pumped, 1 + 5) << "the main block's entry and each round's";
  process_events_hook = nullptr;
  doprocesskeys = 0;
}

}  // namespace
