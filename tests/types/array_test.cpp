// Array storage: zeroed when created, nothing kept when creation fails.
#include <gtest/gtest.h>

#include "support/qv_test.h"
#include "types/array.h"

using namespace qvtest;

namespace {

class Array : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
};

TEST_F(Array, CreateGivesZeroedStorageWithASpareElement) {
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
  EXPECT_EQ(h->flags, 0u);
  for (u32 i = 0; i < 48; ++i) EXPECT_EQ(mem[h->data + i], 0) << i;
  ar_free(head);
}

TEST_F(Array, StorageThatIsNotOwnedStays) {
  Ref head = ar_crea(4, 4);
  auto* h = at<ArrHead>(head);
  const u32 live = arena_live_blocks();
  h->flags = 1;
  ar_free(head);
  EXPECT_EQ(arena_live_blocks(), live - 1);  // the header only
}

TEST_F(Array, FailuresKeepNothing) {
  const u32 live = arena_live_blocks();
  arena_fail_after(2);  // the header comes, the storage does not
  if_c_error = 0;
  EXPECT_EQ(ar_crea(12, 3), 0u);
  arena_fail_after(0);
  EXPECT_EQ(if_c_error, 1u);
  EXPECT_EQ(arena_live_blocks(), live);
  if_c_error = 0;
  EXPECT_EQ(ar_crea(0, 3), 0u);
  EXPECT_EQ(if_c_error, 1u);
  if_c_error = 0;
  EXPECT_EQ(ar_crea(0x10000, 0x10000), 0u);  // more than the arena can address
  EXPECT_EQ(if_c_error, 1u);
}

}  // namespace
