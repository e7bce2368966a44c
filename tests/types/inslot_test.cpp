// The in-slot types (bool, int, uint, float): their init and del handlers
// and the executor's inline steps leave a slot alike.
#include <gtest/gtest.h>

#include "runtime/errcodes.h"
#include "runtime/variables.h"
#include "support/qv_test.h"

using namespace qvtest;

TEST(InSlot, HandlersAndInlineStepsAgree) {
  fresh_env();
  VarEntry& by_handler = *S(arena_alloc(sizeof(VarEntry)));  // handlers take arena slots
  for (u32 type : {u32{TY_BOOL}, u32{TY_INT}, u32{TY_UINT}, u32{TY_FLOAT}}) {
    for (u32 extra : {0u, u32{V_ARRAY}}) {  // a slot that held an array before
      by_handler = VarEntry{0xDEAD, type, V_EMPTY | V_TEMP | extra};
      VarEntry inline_step = by_handler;
      ASSERT_EQ(call_slot_handler(typent[type].init, &by_handler), 1u) << type;
      init_in_slot(&inline_step);
      EXPECT_EQ(by_handler.value, 0u);
      EXPECT_EQ(by_handler.type, type);
      EXPECT_EQ(by_handler.flags, inline_step.flags) << type;

      by_handler.flags |= extra;
      inline_step.flags |= extra;
      ASSERT_EQ(call_slot_handler(typent[type].del, &by_handler), 1u) << type;
      ASSERT_TRUE(del_in_slot(&inline_step));
      EXPECT_EQ(by_handler.flags, inline_step.flags) << type;
      EXPECT_EQ(by_handler.flags, V_EMPTY | V_TEMP) << type;

      // A second del finds the slot empty: error 72, nothing changed.
      if_c_error = 0;
      EXPECT_EQ(call_slot_handler(typent[type].del, &by_handler), 0u);
      EXPECT_EQ(if_c_error, E_DEL_NOT_INIT);
      EXPECT_EQ(by_handler.flags, V_EMPTY | V_TEMP);
    }
  }
}
