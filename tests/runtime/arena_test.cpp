// The arena: live blocks are counted in every build; under the memory
// checkers every byte not handed out is poisoned, a release must match a
// live block, and a block still live at the end is reported as a leak.
#include <gtest/gtest.h>

#include "runtime/arena_guard.h"
#include "runtime/final_exit.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

TEST(Arena, LiveBlocksFollowAllocFreeAndFailedSetUp) {
  fresh_env();
  const u32 before = arena_live_blocks();
  const Ref a = arena_alloc(10), b = arena_calloc(5000);
  EXPECT_EQ(arena_live_blocks(), before + 2);
  arena_free(a, 10);
  arena_free(b, 5000);
  arena_free(0, 10);  // the null reference releases nothing
  EXPECT_EQ(arena_live_blocks(), before);
  // Tables set up part-way give back what they took.
  arena_fail_after(5);
  EXPECT_EQ(cenv_init(200, 200, 200, 200, 2048), 0u);
  arena_fail_after(0);
  EXPECT_EQ(arena_live_blocks(), before);
}

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

TEST_F(Guard, BytesOutsideLiveBlocksArePoisoned) {
  const Ref r = arena_alloc(20);
  touch(r);
  touch(r + 19);
  EXPECT_DEATH(touch(r + 20), "use-after-poison");  // the block's red zone
  EXPECT_DEATH(peek(r + 36), "use-after-poison");   // and what lies behind it
  EXPECT_DEATH(peek(0), "use-after-poison");        // the null reference
  EXPECT_EQ(peek(END_BLOCK + 4), 0xFF);             // the fixed records stay open
  // A freed block stays poisoned and is held back from reuse for a while.
  const Ref s = arena_calloc(STR_BUFSIZE);
  arena_free(s, STR_BUFSIZE);
  EXPECT_DEATH(peek(s + 100), "use-after-poison");
  for (int i = 0; i < 100; ++i) EXPECT_NE(arena_alloc(STR_BUFSIZE), s);
}

TEST_F(Guard, ReleaseMustMatchALiveBlock) {
  const Ref r = arena_alloc(24);
  EXPECT_DEATH(arena_free(r, 32), "released with 32 bytes, allocated with 24");
  arena_free(r, 24);
  EXPECT_DEATH(arena_free(r, 24), "not live");
  EXPECT_DEATH(arena_free(r + 8, 8), "not live");
}

// The child ends through the real exit path: only its own block is new;
// values still in the tables are released there and are no leak.
TEST_F(Guard, LeakedBlockIsReportedAtTheEnd) {
  EXPECT_EXIT(
      {
        arena_keep_all_live();
        arena_alloc(40);
        final_exit(1);
      },
      testing::ExitedWithCode(guard::LEAK_EXIT_STATUS),
      "arena leak: 1 block.*40 bytes, allocation #[0-9]+, from .*arena_test.cpp");
  EXPECT_EXIT(
      {
        arena_keep_all_live();
        new_str("released by the erasure at the end");
        new_temp(TY_STR);
        final_exit(1);
      },
      testing::ExitedWithCode(1), "^$");
}

}  // namespace
