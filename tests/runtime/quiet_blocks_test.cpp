// Which trees of blocks an "if" may enter after ending its own block: the
// room a tree takes on the stack of places, and the records and operands
// that rule a tree out.
#include <gtest/gtest.h>

#include "runtime/quiet_blocks.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;

class Quiet : public ::testing::Test {
 protected:
  CodeBuilder cb;
  VarEntry* cond = nullptr;
  VarEntry* count = nullptr;

  void SetUp() override {
    fresh_env();
    forget_quiet_rooms();
    cond = take(vartable, TY_BOOL, 0, 1);
    count = take(vartable, TY_INT, 0, 0);
  }
  // A block of one "++", and of one record of handler h before it.
  Ref leaf(u32 h = 0) {
    const Ref b = cb.begin_block();
    if (h) cb.record(h, 0, {});
    cb.record(H_l_inc, 0, {ref_of(count)});
    cb.end_block();
    return b;
  }
  // A block of one "if" that runs the blocks `yes` and `no`.
  Ref ifs(Ref yes, Ref no) {
    const Ref b = cb.begin_block();
    cb.record(H_log_if, 0, {ref_of(cond), ref_of(cb.block_slot(yes)), ref_of(cb.block_slot(no))});
    cb.end_block();
    return b;
  }
};

TEST_F(Quiet, RoomIsTheDeepestBranchOfConstantBlocks) {
  const Ref a = leaf(), b = leaf();
  const Ref mid = ifs(a, b);
  const Ref top = ifs(mid, a);
  EXPECT_EQ(quiet_room(a), 1u);
  EXPECT_EQ(quiet_room(mid), 2u);
  EXPECT_EQ(quiet_room(top), 3u);
  EXPECT_EQ(quiet_room(ifs(END_BLOCK, top)), 4u);
  EXPECT_EQ(quiet_room(END_BLOCK), 1u);
  // A loop counts as "if" does.
  const Ref loop = cb.begin_block();
  cb.record(H_l_loop, 0, {ref_of(cb.block_slot(mid))});
  cb.end_block();
  EXPECT_EQ(quiet_room(loop), 3u);
}

TEST_F(Quiet, LevelsStopsTracesEventsCallsAndElementsAnywhereRuleTheTreeOut) {
  for (const u32 h : {H_l_break, H_l_brkif, H_l_cont, H_l_contif, H_l_return, H_l_stop,
                      H_l_trace, H_l_processevents, H_l_bl_call, H__arrdynelem}) {
    const Ref loud = leaf(h);
    EXPECT_EQ(quiet_room(loud), 0u) << h;
    EXPECT_EQ(quiet_room(ifs(leaf(), ifs(leaf(), loud))), 0u) << h;
  }
  EXPECT_EQ(quiet_room(leaf(H_l_puts)), 1u);
}

TEST_F(Quiet, BlocksChosenAtRunTimeOrRunningThemselvesAreNotQuiet) {
  // An "if" whose block is a variable's.
  VarEntry* var = take(vartable, TY_BLOCK, V_CODE, leaf());
  const Ref by_var = cb.begin_block();
  cb.record(H_log_if, 0, {ref_of(cond), ref_of(var)});
  cb.end_block();
  EXPECT_EQ(quiet_room(by_var), 0u);
  // A block whose "if" runs the block itself (only a damaged file has one),
  // and one that runs that one.
  const Ref self = cb.begin_block();
  cb.record(H_log_if, 0, {ref_of(cond), ref_of(cb.block_slot(self))});
  cb.end_block();
  EXPECT_EQ(quiet_room(self), 0u);
  EXPECT_EQ(quiet_room(ifs(leaf(), self)), 0u);
  // Outside the code page.
  EXPECT_EQ(quiet_room(codepage.end + 64), 0u);
}

}  // namespace
