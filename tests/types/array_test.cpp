// Array storage: zeroed when created, given back whole, nothing kept when
// creation fails.
#include <gtest/gtest.h>

#include "runtime/array.h"
#include "support/qv_test.h"

using namespace qvtest;

TEST(Array, CreateFreeAndFailures) {
  fresh_env();
  const u32 live = arena_live_blocks();
  // Dirty a block of the storage's size first, so zeroing is really tested.
  Ref dirty = arena_alloc(48);
  std::memset(mem + dirty, 0xAB, 48);
  arena_free(dirty, 48);
  Ref head = ar_crea(12, 3);
  ASSERT_NE(head, 0u);
  const auto* h = at<ArrHead>(head);
  EXPECT_EQ(h->limit - h->data, 36u);
  EXPECT_EQ(h->used, h->data);
  EXPECT_EQ(h->cursor, h->data);
  EXPECT_EQ(h->elemSize, 12u);
  for (u32 i = 0; i < 48; ++i) EXPECT_EQ(mem[h->data + i], 0) << i;  // a spare element too
  EXPECT_EQ(arena_live_blocks(), live + 2);
  ar_free(head);
  EXPECT_EQ(arena_live_blocks(), live);
  // The header comes, the storage does not; no size; more than the arena holds.
  for (auto [fail_after, size, n] : {std::tuple{2u, 12u, 3u}, {0u, 0u, 3u}, {0u, 0x10000u, 0x10000u}}) {
    arena_fail_after(fail_after);
    if_c_error = 0;
    EXPECT_EQ(ar_crea(size, n), 0u);
    arena_fail_after(0);
    EXPECT_EQ(if_c_error, 1u);
    EXPECT_EQ(arena_live_blocks(), live);
  }
}
