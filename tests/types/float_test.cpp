// float: the maths operations' refusals leave the result slot alone; text
// is read as a number only up to its end.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

VarEntry* f(float v) { return new_const(TY_FLOAT, float_bits(v)); }

TEST(Float, MathsRefusalsAndReciprocals) {
  fresh_env();
  const float NaN = std::nanf("");
  struct Case { u32 handler; std::vector<float> args; u32 err; float want = 0; } cases[] = {
      {H_l_asin, {1.0000001f}, 39},  {H_l_acos, {-1.5f}, 39},      {H_l_sqrt, {-1.0f}, 39},
      {H_l_log, {0.0f}, 39},         {H_l_log10, {-1.0f}, 39},     {H_l_repsqrt, {0.0f}, 39},
      {H_l_atan2, {1.0f, 0.0f}, 35}, {H_l_pow, {-8.0f, 0.5f}, 39}, {H_l_pow, {-8.0f, NaN}, 39},
      {H_l_cotan, {0.0f}, 35},       {H_l_rep, {0.0f}, 35},
      {H_l_repsqrt, {4.0f}, 0, 0.5f}, {H_l_rep, {-4.0f}, 0, -0.25f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    VarEntry* r = new_temp(TY_FLOAT);
    r->value = 0x12345678;
    std::vector<VarEntry*> args;
    for (float a : c.args) args.push_back(f(a));
    if_c_error = 0;
    EXPECT_EQ(call(c.handler, r, args), c.err ? 0u : 1u);
    EXPECT_EQ(if_c_error, c.err);
    EXPECT_EQ(r->value, c.err ? 0x12345678u : float_bits(c.want));
  }
  VarEntry* r = new_temp(TY_FLOAT);
  for (u32 h : {H_l_repsqrt, H_l_rep}) {
    ASSERT_EQ(call(h, r, {f(NaN)}), 1u);
    EXPECT_TRUE(std::isnan(as_float(r->value)));
  }
}

TEST(Float, TextIsReadOnlyUpToItsEnd) {
  fresh_env();
  StrDesc* t = text_record("12345");
  t->end = t->start + 2;
  VarEntry *x = new_var(TY_FLOAT), *u = new_var(TY_UINT);
  ASSERT_EQ(l_float_tf(t, x), 1u);
  ASSERT_EQ(l_int_tf(t, u), 1u);
  EXPECT_EQ(as_float(x->value), 12.0f);
  EXPECT_EQ(u->value, 12u);
}

}  // namespace
