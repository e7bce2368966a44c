// float: text forms both ways, conversions out of range, and the maths
// operations' errors and rounding.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "support/qv_test.h"

using namespace qvtest;

namespace {

const float NaN = std::nanf("");
const float INF = HUGE_VALF;

class Float : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  VarEntry* f(float v) { return new_const(TY_FLOAT, float_bits(v)); }
  std::string ft(VarEntry* v) {
    StrDesc* t = text_record("");
    EXPECT_EQ(l_float_ft(t, v), 1u);
    EXPECT_EQ(mem[t->end], 0);
    return text_of(t);
  }
  float tf(const std::string& s) {
    VarEntry* v = new_var(TY_FLOAT);
    EXPECT_EQ(l_float_tf(text_record(s), v), 1u);
    return as_float(v->value);
  }
};

TEST_F(Float, ValueToText) {
  struct Case { float value; const char* text; } cases[] = {
      {-0.0f, "0.000000"},   {NaN, "0.000000"},        {as_float(0x40490FDB), "3.141593"},
      {0.5f, "5.000000E-1"}, {1e6f, "1.000000E6"},     {1.0f / 3.0f, "3.333333E-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ft(f(c.value)), c.text);
  }
}

TEST_F(Float, InfinityIsClampedInItsSlot) {
  VarEntry* p = f(INF);
  EXPECT_EQ(ft(p), "3.402824E38");
  EXPECT_EQ(p->value, 0x7F7FFFFFu);
  VarEntry* n = f(-INF);
  EXPECT_EQ(ft(n), "-3.402824E38");
  EXPECT_EQ(n->value, 0xFF7FFFFFu);
  VarEntry* q = f(NaN);
  u32 bits = q->value;
  ft(q);
  EXPECT_EQ(q->value, bits);  // NaNs are left alone
}

TEST_F(Float, TextToValue) {
  struct Case { const char* text; float value; } cases[] = {
      {"2.5", 2.5f},    {"  -1.5e1x", -15.0f}, {".5", 0.5f},     {"5.", 5.0f},
      {"1e", 1.0f},     {"1e+", 1.0f},         {"abc", 0.0f},    {"-", 0.0f},
      {".", 0.0f},      {"", 0.0f},            {"0x10", 0.0f},   {"inf", 0.0f},
      {"nan", 0.0f},    {"1e50", FLT_MAX},     {"-1e50", -FLT_MAX},
      {"1e-50", 0.0f},  {"1,5", 1.0f},         {"+7", 7.0f},     {"3.4028235e38", FLT_MAX},
      {"0.1", 0.1f},    {"1e999999999999", FLT_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(float_bits(tf(c.text)), float_bits(c.value));
  }
  // Only the bytes up to `end` count, whatever follows them.
  StrDesc* t = text_record("12345");
  t->end = t->start + 2;
  VarEntry* v = new_var(TY_FLOAT);
  l_float_tf(t, v);
  EXPECT_EQ(as_float(v->value), 12.0f);
}

// Out of range, NaN and infinity convert to fixed values, never through an
// undefined cast; integers round to the nearest float; NaN is true.
TEST_F(Float, Conversions) {
  VarEntry* d = new_var(TY_INT);
  struct Case { u32 (*fn)(VarEntry*, VarEntry*); VarEntry* src; u32 want; } cases[] = {
      {l_floatint, f(-3.0e9f), 0x80000000u},
      {l_floatint, f(NaN), 0x80000000u},
      {l_floatint, f(INF), 0x80000000u},
      {l_floatint, f(2147483520.0f), 2147483520u},
      {l_floatuint, f(1e19f), 0},
      {l_floatuint, f(NaN), 0},
      {l_floatuint, f(-INF), 0},
      {l_intfloat, new_const(TY_INT, 16777217), float_bits(16777216.0f)},
      {l_uintfloat, new_const(TY_UINT, 4294967295u), float_bits(4294967296.0f)},
      {l_floatlog, f(NaN), 1},
      {l_floatlog, f(1e-40f), 1},  // a denormal is not zero
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(c.fn(c.src, d), 1u);
    EXPECT_EQ(d->value, c.want);
  }
}

// The maths operations' refusals, with the result slot left alone, and
// the results at their edges as the program would print them.
TEST_F(Float, Maths) {
  struct Case { u32 handler; std::vector<float> args; const char* text; u32 err; } cases[] = {  // text: when no err
      {H_l_asin, {1.0000001f}, nullptr, 39},
      {H_l_acos, {-1.5f}, nullptr, 39},
      {H_l_sqrt, {-1.0f}, nullptr, 39},
      {H_l_log, {0.0f}, nullptr, 39},
      {H_l_log10, {-1.0f}, nullptr, 39},
      {H_l_repsqrt, {0.0f}, nullptr, 39},
      {H_l_repsqrt, {4.0f}, "5.000000E-1", 0},
      {H_l_atan2, {1.0f, 0.0f}, nullptr, 35},
      {H_l_pow, {-8.0f, 0.5f}, nullptr, 39},
      {H_l_pow, {-8.0f, NaN}, nullptr, 39},
      {H_l_pow, {0.0f, -1.0f}, "3.402824E38", 0},  // infinity, no error
      {H_l_cotan, {0.0f}, nullptr, 35},
      {H_l_rep, {0.0f}, nullptr, 35},
      {H_l_rep, {-4.0f}, "-2.500000E-1", 0},
      {H_l_ldexp, {3.0f, -1.5f}, "1.500000", 0},
      {H_l_sigmoid, {0.0f, 10.0f}, "5.000000", 0},
      {H_l_atan, {1.0f}, "7.853982E-1", 0},
      {H_l_sign, {-3.0f}, "-1.000000", 0},
      {H_l_sign, {NaN}, "-1.000000", 0},
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
    if (c.err) EXPECT_EQ(r->value, 0x12345678u);
    else EXPECT_EQ(ft(r), c.text);
  }
}

TEST_F(Float, MathsBitExact) {
  VarEntry* r = new_temp(TY_FLOAT);
  call(H_l_rad, r, {f(180.0f)});
  EXPECT_EQ(r->value, 0x40490FDBu);  // the PI constant itself
  call(H_l_grad, r, {f(as_float(0x40490FDB))});
  EXPECT_EQ(as_float(r->value), 180.0f);
  call(H_l_sqrt, r, {f(-0.0f)});
  EXPECT_EQ(r->value, 0x80000000u);
  // NaN operands pass the checks and give NaN.
  for (u32 h : {H_l_sqrt, H_l_log, H_l_asin, H_l_repsqrt, H_l_rep}) {
    ASSERT_EQ(call(h, r, {f(NaN)}), 1u);
    EXPECT_TRUE(std::isnan(as_float(r->value)));
  }
  call(H_l_exp, r, {f(100.0f)});
  EXPECT_EQ(as_float(r->value), INF);
  // One rounding at the end: sqrt2 of two large values does not overflow.
  call(H_l_sqrt2p2, r, {f(3e30f), f(4e30f)});
  EXPECT_EQ(as_float(r->value), 5e30f);
}

TEST_F(Float, IntegerResultsAndVariableOperands) {
  VarEntry* r = new_temp(TY_INT);
  for (auto [h, x] : {std::pair{H_l_ceil, NaN}, std::pair{H_l_floor, -2147483648.0f}}) {
    ASSERT_EQ(call(h, r, {f(x)}), 1u);
    EXPECT_EQ(r->value, 0x80000000u) << x;
  }
  VarEntry* fr = new_temp(TY_FLOAT);
  VarEntry* e = new_var(TY_INT);
  e->value = 9;
  ASSERT_EQ(call(H_l_frexp, fr, {f(0.0f), e}), 1u);
  EXPECT_EQ(as_float(fr->value), 0.0f);
  EXPECT_EQ(e->value, 0u);
  // Without the variable for the whole part only the fraction is given.
  ASSERT_EQ(call(H_l_modf, fr, {f(1.25f)}), 1u);
  EXPECT_EQ(as_float(fr->value), 0.25f);
}

}  // namespace
