// Set-up of the environment tables: a failure part-way gives back what it took.
#include <gtest/gtest.h>

#include "support/qv_test.h"

using namespace qvtest;

TEST(Env, FailedAllocationReleasesEverything) {
  fresh_env();
  arena_fail_after(5);
  EXPECT_EQ(cenv_init(200, 200, 200, 200, 2048), 0u);
  arena_fail_after(0);
  // The four blocks taken before the failure went back to the free lists:
  // a second set-up takes them again, and new space only for the rest
  // (code page, lexeme buffer, stack, descriptor).
  u64 before = arena_left();
  ASSERT_EQ(cenv_init(200, 200, 200, 200, 2048), 1u);
  EXPECT_LE(before - arena_left(), 32768u + 272u + 800u + 32u);
}
