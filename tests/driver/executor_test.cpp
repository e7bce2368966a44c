#include <gtest/gtest.h>

#include <string>

#include "compiler/compiler.h"
#include "driver/driver.h"
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

TEST_F(Executor, EmptyBlockRunsNothing) {
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(_opcount, 0u);
}

TEST_F(Executor, EmptyMainSlotRunsNothing) {
  main_->flags = V_EMPTY;
  EXPECT_EQ(execute(0), 0u);
}

TEST_F(Executor, RunsEveryRecordAndCountsThem) {
  VarEntry* a = new_var(TY_INT);
  VarEntry* one = new_const(TY_INT, 1);
  Ref b = cb.begin_block();
  for (int i = 0; i < 5; ++i) cb.record(H_l_plusassgn, 0, {ref_of(a), ref_of(one)});
  cb.end_block();
  run_as_main(b);
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(a->value, 5u);
  EXPECT_EQ(_opcount, 5u);
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

TEST_F(Executor, FailureWithoutCodeArrivesAsOne) {
  VarEntry* notarray = new_var(TY_UINT);
  Ref b = cb.begin_block();
  cb.record(H_getsignal, 0, {ref_of(notarray)});  // prints a diagnostic, code 0
  cb.end_block();
  run_as_main(b);
  testing::internal::CaptureStdout();
  EXPECT_EQ(execute(0), 1u);
  testing::internal::GetCapturedStdout();
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

TEST_F(Executor, BreakOutsideLoopsEndsTheMainBlockNormally) {
  VarEntry* x = new_var(TY_INT);
  Ref b = cb.begin_block();
  cb.record(H_l_break, 0, {});
  cb.record(H_l_inc, 0, {ref_of(x)});
  cb.end_block();
  run_as_main(b);
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(x->value, 0u);
  EXPECT_EQ(brk_level, 1);
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

TEST_F(Executor, BlockThatRunsItselfEndsWithError53) {
  Ref b = cb.begin_block();
  run_as_main(b);
  cb.record(H_l_bl_exec, 0, {ref_of(main_)});
  cb.end_block();
  EXPECT_EQ(execute(0), 53u);
}

TEST_F(Executor, TracePrintsEachOperationsLine) {
  Ref text = place_text("x ++; x ++\nnext line");
  VarEntry* x = new_var(TY_INT);
  Ref b = cb.begin_block();
  cb.record(H_l_inc, 0, {ref_of(x)}, 2, text);
  cb.record(H_l_inc, 0, {ref_of(x)}, 2, text + 6);
  cb.end_block();
  run_as_main(b);
  testing::internal::CaptureStdout();
  EXPECT_EQ(execute(1), 0u);
  std::string out = testing::internal::GetCapturedStdout();
  // -t traces in detail: each line behind the record's first word and address.
  EXPECT_NE(out.find("  x ++; x ++\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  x ++\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("next line"), std::string::npos) << out;
  _tracing_int = 0;
}

TEST_F(Executor, TraceWithoutDetailPrintsOnlyTheText) {
  Ref text = place_text("trace TRUE;\nx ++\n");
  VarEntry* x = new_var(TY_INT);
  Ref b = cb.begin_block();
  cb.record(H_l_trace, 0, {ref_of(new_const(TY_BOOL, 1))}, 0, text);
  cb.record(H_l_inc, 0, {ref_of(x)}, 2, text + 12);
  cb.end_block();
  run_as_main(b);
  testing::internal::CaptureStdout();
  EXPECT_EQ(execute(1), 0u);
  std::string out = testing::internal::GetCapturedStdout();
  // The "trace" record itself is still traced in detail; the next is not.
  EXPECT_EQ(out.substr(out.find("  trace")), "  trace TRUE;\nx ++\n");
}

TEST_F(Executor, DetailedTraceOfBlockStartShowsTableCounts) {
  Ref b = cb.begin_block();
  cb.record(H__alltmpinits, rettable.base, {}, 0, label_tmpinit);
  cb.end_block();
  run_as_main(b);
  testing::internal::CaptureStdout();
  EXPECT_EQ(execute(1), 0u);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "\n---------------------------------------------------\nvartable: 0, varname: 0, "
            "rettable 0, call stack: 0\n`initializing temporary variables\n"
            "---initializing temporary variables group\n");
}

// ---- reports ----------------------------------------------------------------------

TEST(Reports, CompileErrorOnFirstCharacter) {
  fresh_env();
  Ref text = place_text("x;\nint i;");
  EXPECT_EQ(format_compile_error(10, text, text),
            "\nError 10 (line 1): Operation name expected\nx;\n^\n");
}

TEST(Reports, CompileErrorOnLaterLineEchoesAfterEmptyLine) {
  fresh_env();
  Ref text = place_text("int i;\n  i = q;\nputs i;");
  EXPECT_EQ(format_compile_error(16, text, text + 13),
            "\nError 16 (line 2): Variable not found\n\n  i = q;\n      ^\n");
}

TEST(Reports, RuntimeErrorCaretAndNoLocation) {
  fresh_env();
  Ref text = place_text("int i;\ni = (1 / 0);");
  EXPECT_EQ(format_runtime_error(35, text, text + 12, false),
            "\nRUN-TIME error 35 (line 2): Division by zero\n\ni = (1 / 0);\n    ^\n");
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

TEST(Reports, StatisticsFormat) {
  fresh_env();
  copcount = 4;
  _opcount = 10;
  codepage.first = codepage.base + 40;
  std::string r = report_time(clock_ms());
  EXPECT_EQ(r.substr(0, 60), "\n4 operations compiled\nAverage compilation speed too large, ");
  EXPECT_NE(r.find("Code used 40 bytes (about 10 byte/op), 32728 bytes in code page free\n\n"),
            std::string::npos);
  EXPECT_NE(r.find("\n\n10 calls, average call speed "), std::string::npos);
}

}  // namespace
