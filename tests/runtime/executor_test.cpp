// The executor's exits: failures with their position, "stop", levels that
// end a block early, and the reports that name the place.
#include <gtest/gtest.h>

#include <string>

#include "app/driver.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Executor : public ::testing::Test {
 protected:
  // The program is the first constant: its slot is taken before any other.
  void SetUp() override {
    fresh_env();
    main_ = cb.block_slot(END_BLOCK);
  }
  void run_as_main(Ref block) { main_->value = block; }
  CodeBuilder cb;
  VarEntry* main_ = nullptr;
};

TEST_F(Executor, EmptyMainSlotRunsNothing) {
  main_->flags = V_EMPTY;
  EXPECT_EQ(execute(0), 0u);
}

TEST_F(Executor, FailingHandlerReportsCodeAndPosition) {
  Ref text = place_text("first\nbroken op here");
  Ref b = cb.begin_block();
  cb.record(H_NONE, 0, {}, 0, text + 6);  // a record never completed: 71
  cb.end_block();
  run_as_main(b);
  EXPECT_EQ(execute(0), 71u);
  EXPECT_EQ(last_lexema, text + 6);
  EXPECT_EQ(codepage.first, codepage.base) << "the error path rewinds the code page";
}

TEST_F(Executor, StopEndsTheRunAfterItsRecordWithItsPosition) {
  Ref text = place_text("x ++; stop; x ++;");
  VarEntry* x = new_var(TY_INT);
  Ref b = cb.begin_block();
  cb.record(H_l_inc, 0, {ref_of(x)}, 2, text);
  cb.record(H_l_stop, 0, {}, 0, text + 6);
  cb.record(H_l_inc, 0, {ref_of(x)}, 2, text + 12);
  cb.end_block();
  run_as_main(b);
  EXPECT_EQ(execute(0), 38u);
  EXPECT_EQ(last_lexema, text + 6);
  EXPECT_EQ(x->value, 1u) << "the record after the stop did not run";
  EXPECT_EQ(on_stop, 0u);
}

TEST_F(Executor, EarlyExitRunsTheCleanUpRecord) {
  VarEntry* v = new_var(TY_INT);
  Ref b = cb.begin_block();
  cb.record(H_l_break, 0, {});
  Ref clean = cb.record(H_mvardel, 0, {ref_of(v)}, 0, label_delete);
  cb.set_cleanup(b, clean);
  cb.end_block();
  run_as_main(b);
  EXPECT_EQ(execute(0), 0u);
  EXPECT_TRUE(v->flags & V_EMPTY) << "the clean-up deleted the block's variable";
}

TEST_F(Executor, LevelSetByTheLastRecordLeavesCleanly) {
  // With -noptmp the record after the one that set a level is examined;
  // here it is the end marker, and the clean-up record must run once only.
  optimtmpvarinit = 0;
  VarEntry* v = new_var(TY_INT);
  Ref b = cb.begin_block();
  cb.record(H_l_break, 0, {});
  Ref clean = cb.record(H_mvardel, 0, {ref_of(v)}, 0, label_delete);
  cb.set_cleanup(b, clean);
  cb.end_block();
  run_as_main(b);
  EXPECT_EQ(execute(0), 0u) << "the clean-up record would fail with 72 on a second run";
}

// Clean-up records and loaded programs have no source to point at.
TEST(Reports, RuntimeErrorWithoutLocation) {
  fresh_env();
  Ref text = place_text("int i;\ni = (1 / 0);");
  EXPECT_EQ(format_runtime_error(72, text, label_delete, false),
            "\nRUN-TIME error 72 (line no location): Unexpected end of block, deleting non "
            "initialized variables\n\n\n");
  EXPECT_EQ(format_runtime_error(35, text, text + 12, true),
            "\nRUN-TIME error 35 (line no location): Division by zero\n\n\n");
}

TEST(Reports, LongLinesAreNotCut) {
  fresh_env();
  std::string line(3000, 'a');
  Ref text = place_text(line + " x");
  std::string r = format_compile_error(16, text, text + 3001);
  EXPECT_NE(r.find(line + " x\n" + std::string(3000, ' ') + "^"), std::string::npos);
}

}  // namespace
