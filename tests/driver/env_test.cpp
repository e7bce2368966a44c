// Set-up of the environment tables: a failure part-way gives back what it took.
#include <gtest/gtest.h>

#include "support/qv_test.h"

using namespace qvtest;

TEST(Env, FailedAllocationReleasesEverything) {
  fresh_env();
  const u32 before = arena_live_blocks();
  arena_fail_after(5);
  EXPECT_EQ(cenv_init(200, 200, 200, 200, 2048), 0u);
  arena_fail_after(0);
  // The four blocks taken before the failure went back.
  EXPECT_EQ(arena_live_blocks(), before);
  ASSERT_EQ(cenv_init(200, 200, 200, 200, 2048), 1u);
  EXPECT_EQ(arena_live_blocks(), before + 8);
}
