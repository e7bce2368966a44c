#include <gtest/gtest.h>

#include "support/qv_test.h"

using namespace qvtest;

TEST(Env, InitialTablesAreEmptyAndSized) {
  ASSERT_EQ(cenv_init(200, 200, 200, 200, 2048), 1u);
  EXPECT_EQ((vartable.end - vartable.base) / 12, 200u);
  EXPECT_EQ((varname.end - varname.base) / NAME_SIZE, 200u);
  EXPECT_EQ((cnstable.end - cnstable.base) / 12, 200u);
  EXPECT_EQ((rettable.end - rettable.base) / 12, 200u);
  EXPECT_EQ(callstack.end - callstack.base, 800u);
  EXPECT_EQ(codepage.end - codepage.base, 32768u);
  EXPECT_EQ(codepage.first, codepage.base);
  EXPECT_EQ(codepage.next, codepage.end);
  for (const TableHead* t : {&vartable, &rettable, &cnstable})
    for (Ref e = t->base; e < t->end; e += 12) EXPECT_EQ(S(e)->flags, V_EMPTY);
  auto* lx = at<StrDesc>(lexema);
  EXPECT_EQ(lx->limit - lx->start, 256u);
  EXPECT_EQ(lx->end, lx->start);
}

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

TEST(Env, StaticTables) {
  EXPECT_EQ(litent[18].value, 0x40490FDBu);
  EXPECT_STREQ(litname[19], "PI/2");
  EXPECT_STREQ(typname[5], "float");
  EXPECT_EQ(typent[TY_BOOL].litCount, 2u);
  EXPECT_EQ(typent[TY_INT].clr, typent[TY_INT].init);
  EXPECT_EQ(__convtab[TY_STR][TY_BOOL], 0);
  EXPECT_NE(__convtab[TY_FLOAT][TY_UINT], 0);
  EXPECT_EQ(sysfuncs[1], static_cast<u32>(H_mvardel));
}
