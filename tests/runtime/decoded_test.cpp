// Decoded blocks: which blocks are decoded and how, that a block the
// decoder refuses still runs record by record, and that a new code page
// is decoded afresh.
#include <gtest/gtest.h>

#include "runtime/blocks.h"
#include "runtime/decoded.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Decoded : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  // A fresh environment with the program's slot and x, as for a new program.
  void start() {
    fresh_env();
    main_ = cb.block_slot(END_BLOCK);
    x_ = new_var(TY_INT);
  }
  // A block of `n` "x ++" records.
  Ref incs(u32 n) {
    Ref b = cb.begin_block();
    for (u32 k = 0; k < n; ++k) cb.record(H_l_inc, 0, {ref_of(x_)});
    cb.end_block();
    return b;
  }
  CodeBuilder cb;
  VarEntry* main_ = nullptr;
  VarEntry* x_ = nullptr;
};

TEST_F(Decoded, BlocksOfAnyLengthAreDecoded) {
  for (const u32 n : {1u, 16u, 17u, 400u}) {
    start();
    main_->value = incs(n);
    clear_decoded_blocks();
    const DecodedBlock* d = decoded_block(main_->value);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->nsteps, n);
    EXPECT_EQ(d->steps[n].kind, Step::END);
    EXPECT_FALSE(d->owns) << "no temporaries, variables or element records";
    EXPECT_EQ(execute(0), 0u);
    EXPECT_EQ(x_->value, n);
    EXPECT_EQ(_opcount, n);
  }
}

TEST_F(Decoded, OperationsDoneInlineAreMarked) {
  VarEntry* t = new_temp(TY_INT);
  VarEntry* one = new_const(TY_INT, 1);
  Ref b = cb.begin_block();
  cb.record(H__alltmpinits, 0, {});
  cb.record(H_l_plus, ref_of(t), {ref_of(x_), ref_of(one)});
  cb.record(H_l_paramvalue, ref_of(t), {ref_of(one)});
  cb.record(H_l_return, 0, {ref_of(t)});
  Ref del = cb.record(H_mvardel, ref_of(t), {}, 1);
  cb.set_cleanup(b, del);
  cb.end_block();
  clear_decoded_blocks();
  const DecodedBlock* d = decoded_block(b);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->idle_init) << "the initialisation of no temporaries is marked";
  ASSERT_EQ(d->nsteps, 5u);
  EXPECT_EQ(d->steps[0].kind, Step::IDLE_INIT);
  EXPECT_EQ(d->steps[1].kind, Step::PLUS);
  EXPECT_EQ(d->steps[2].kind, Step::PARAM);
  EXPECT_EQ(d->steps[3].kind, Step::RETURN);
  EXPECT_EQ(d->steps[4].kind, Step::DEL_TEMPS);
  EXPECT_EQ(d->cleanup_step.kind, Step::DEL_TEMPS);
  EXPECT_EQ(d->steps[4].temps, 1u);
}

TEST_F(Decoded, TemporariesWithWorkOfTheirOwnKeepTheirHandlers) {
  VarEntry* n = new_temp(TY_INT);
  VarEntry* s = new_temp(TY_STR);
  ASSERT_EQ(s, n + 1);
  Ref b = cb.begin_block();
  cb.record(H__alltmpinits, ref_of(n), {}, 2);
  cb.record(H_mvardel, ref_of(n), {}, 2);
  cb.end_block();
  clear_decoded_blocks();
  const DecodedBlock* d = decoded_block(b);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(d->idle_init);
  EXPECT_EQ(d->steps[0].kind, Step::CALL) << "a str temporary needs its type's init";
  EXPECT_EQ(d->steps[1].kind, Step::CALL);
}

TEST_F(Decoded, RecordsThatLeaveTheCodePageOrNameNoHandlerEndTheRun) {
  // A block whose last words lie at the end of the code page without an
  // end marker, and one with a handler word past the registry.
  Ref last = codepage.end - 8;
  wr32(mem + last, 0);
  wr32(mem + last + 4, 1);
  Ref b = cb.begin_block();
  cb.record(H_COUNT + 5, 0, {});
  cb.end_block();
  clear_decoded_blocks();
  EXPECT_EQ(decoded_block(last)->steps[0].kind, Step::BAD) << "runs past the code page";
  EXPECT_EQ(decoded_block(b)->steps[0].kind, Step::BAD) << "names no handler";
  EXPECT_EQ(decoded_block(END_BLOCK)->nsteps, 0u) << "the empty block, outside the code page";
  main_->value = b;
  EXPECT_EQ(execute(0), 71u) << "a record that cannot run ends the run";
  EXPECT_EQ(last_lexema, 0u);
}

TEST_F(Decoded, ANewCodePageIsDecodedAfresh) {
  main_->value = incs(2);
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(x_->value, 2u);
  // The same place now holds other code, as after compiling another program.
  start();
  main_->value = incs(3);
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(x_->value, 3u);
}

TEST_F(Decoded, AnErrorManyCallsDeepLeavesNoFrameBehind) {
  // r: x ++; call r x  -- the parameter stack fills up, many levels down.
  Ref r = cb.begin_block();
  VarEntry* r_slot = cb.block_slot(r);
  cb.record(H_l_inc, 0, {ref_of(x_)});
  cb.record(H_l_bl_call, 0, {ref_of(r_slot), ref_of(x_)});
  cb.end_block();
  Ref m = cb.begin_block();
  cb.record(H_l_bl_call, 0, {ref_of(r_slot)});
  cb.end_block();
  main_->value = m;
  EXPECT_EQ(execute(0), 3u);
  EXPECT_GT(x_->value, 10u) << "the calls went deep before the stack was full";
  EXPECT_EQ(callstack.next, callstack.base);
  EXPECT_EQ(block_nesty, 0u);
  EXPECT_EQ(exec_depth, 0u);
}

}  // namespace
