// The arena under the memory checkers: in the sanitizer build every byte
// not handed out is poisoned, a release must match a live block, and a
// block still live at the end is reported as a leak. The counts of live
// blocks hold in every build.
#include <gtest/gtest.h>

#include "driver/arena_guard.h"
#include "driver/final_exit.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Guard : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!guard::ASAN) GTEST_SKIP() << "only the sanitizer build reports into these tests";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fresh_env();
  }
};

void touch(Ref off) { *reinterpret_cast<volatile u8*>(mem + off) = 1; }
u8 peek(Ref off) { return *reinterpret_cast<volatile u8*>(mem + off); }

TEST_F(Guard, BytesOutsideAnyBlockArePoisoned) {
  const Ref r = arena_alloc(20);
  touch(r);
  touch(r + 19);
  EXPECT_DEATH(touch(r + 20), "use-after-poison");  // the block's red zone
  EXPECT_DEATH(peek(r + 36), "use-after-poison");   // and what lies behind it
  EXPECT_DEATH(peek(0), "use-after-poison");        // the null reference
  EXPECT_EQ(peek(END_BLOCK + 4), 0xFF);             // the fixed records stay open
}

TEST_F(Guard, FreedBlockStaysPoisonedUntilReused) {
  const Ref r = arena_calloc(STR_BUFSIZE);
  arena_free(r, STR_BUFSIZE);
  EXPECT_DEATH(peek(r + 100), "use-after-poison");
  // Held back: the next blocks of that size come from elsewhere.
  for (int i = 0; i < 100; ++i) EXPECT_NE(arena_alloc(STR_BUFSIZE), r);
}

TEST_F(Guard, ReleaseMustMatchALiveBlock) {
  const Ref r = arena_alloc(24);
  EXPECT_DEATH(arena_free(r, 32), "released with 32 bytes, allocated with 24");
  arena_free(r, 24);
  EXPECT_DEATH(arena_free(r, 24), "not live");
  EXPECT_DEATH(arena_free(r + 8, 8), "not live");
}

// The child ends through the real exit path: only its own block is new.
TEST_F(Guard, LeakedBlockIsReportedAtTheEnd) {
  EXPECT_EXIT(
      {
        arena_keep_all_live();
        arena_alloc(40);
        final_exit(1);
      },
      testing::ExitedWithCode(guard::LEAK_EXIT_STATUS),
      "arena leak: 1 block.*40 bytes, allocation #[0-9]+, from .*arena_guard_test.cpp");
}

TEST_F(Guard, ValuesInTheTablesAreNoLeak) {
  EXPECT_EXIT(
      {
        arena_keep_all_live();
        new_str("released by the erasure at the end");
        new_temp(TY_STR);
        final_exit(1);
      },
      testing::ExitedWithCode(1), "^$");
}

// Every build: the count of live blocks follows allocation and release.
TEST(ArenaCount, LiveBlocksFollowAllocAndFree) {
  const u32 before = arena_live_blocks();
  const Ref a = arena_alloc(10);
  const Ref b = arena_calloc(5000);
  EXPECT_EQ(arena_live_blocks(), before + 2);
  arena_free(a, 10);
  arena_free(b, 5000);
  arena_free(0, 10);  // the null reference releases nothing
  EXPECT_EQ(arena_live_blocks(), before);
}

}  // namespace
