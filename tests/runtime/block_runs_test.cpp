// Runs of a block that overlap: the counts of runs under way go back to
// none however the runs end, so that nothing of one run is mistaken for
// another's.
#include <gtest/gtest.h>

#include <string>

#include "compiler/compiler.h"
#include "runtime/block_runs.h"
#include "runtime/decoded.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

class BlockRuns : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  void TearDown() override { optimtmpvarinit = 1; }

  u32 compile_and_run(const std::string& src) {
    EXPECT_EQ(compile(place_text(src)), 0u);
    return execute(0);
  }
  // Every block of the program counts no run under way.
  void expect_no_runs() {
    for (Ref c = cnstable.base; c < cnstable.next; c += sizeof(VarEntry)) {
      const VarEntry* v = S(c);
      if (v->type != TY_BLOCK || (v->flags & V_EMPTY)) continue;
      if (const DecodedBlock* d = decoded_block(v->value)) {
        EXPECT_EQ(d->runs, d->owns ? 0u : DecodedBlock::UNCOUNTED) << "block at " << v->value;
      }
    }
  }
  u32 int_var(u32 k) { return S(vartable.base + k * sizeof(VarEntry))->value; }
};

const char* const FIB =
    "int r k;\n"
    "block fib { int n; n = (par# 0); if (n < 2) { return n };\n"
    "  return ((call fib (n - 1)) + (call fib (n - 2))) };\n"
    "k = 12; r = (call fib k);\n";

TEST_F(BlockRuns, RecursionEndsWithNoRunUnderWayInEitherCompilation) {
  for (const u32 grouped : {1u, 0u}) {
    fresh_env();
    optimtmpvarinit = grouped;
    ASSERT_EQ(compile_and_run(FIB), 0u) << grouped;
    EXPECT_EQ(int_var(0), 144u) << grouped;
    expect_no_runs();
  }
}

TEST_F(BlockRuns, AnErrorManyRunsDeepForgetsThemAll) {
  // Every run holds a string and an array when the parameter stack fills.
  const u32 code = compile_and_run(
      "int d;\n"
      "block f { str s; int a[4]; s = (concat \"run \" d); a[1] = d; d ++; call f d };\n"
      "call f d;\n");
  EXPECT_EQ(code, 3u);
  EXPECT_GT(int_var(0), 60u) << "the runs went deep before the stack was full";
  expect_no_runs();
  EXPECT_EQ(exec_depth, 0u);
  EXPECT_EQ(callstack.next, callstack.base);
}

TEST_F(BlockRuns, ALoopBodyThatRunsItselfHasItsOwnTemporariesPerRound) {
  ASSERT_EQ(compile_and_run("int i s;\n"
                            "block b { s += (i * 3); if (s < 40) { exec b } };\n"
                            "for i 1 2 1 b;\n"),
            0u);
  EXPECT_EQ(int_var(1), 48u) << "3 to 42 by 3 in the first round, 6 more in the second";
  expect_no_runs();
}

}  // namespace
