// Maths operations on float operands: the operands are widened to double,
// checked, computed in double and rounded once to single when stored. The
// checks use ordered comparisons, so a NaN passes them and yields a NaN.
#include <cmath>

#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"

namespace qv {

namespace {

// The single-precision pi of the named constant "PI", widened.
constexpr double PI_SINGLE = 3.1415927410125732;

inline double arg(const u8* params, unsigned i) { return as_float(P(params, i)->value); }

inline u32 put(Ref result, double y) {
  if (result) S(result)->value = float_bits(static_cast<float>(y));
  return 1;
}

// Whole numbers outside the int range, and NaNs, become -2147483648; the
// range test comes first because the cast itself would be undefined.
inline u32 put_int(Ref result, double whole) {
  if (result)
    S(result)->value = (whole >= -2147483648.0 && whole <= 2147483647.0)
                           ? static_cast<u32>(static_cast<i32>(whole))
                           : 0x80000000u;
  return 1;
}

template <double (*fn)(double)>
inline u32 unary(Ref result, const u8* params) {
  return put(result, fn(arg(params, 0)));
}

double sin_(double x) { return std::sin(x); }
double cos_(double x) { return std::cos(x); }
double tan_(double x) { return std::tan(x); }
double atan_(double x) { return std::atan(x); }
double exp_(double x) { return std::exp(x); }

}  // namespace

u32 l_sin(Ref result, const u8* params, u32) { return unary<sin_>(result, params); }
u32 l_cos(Ref result, const u8* params, u32) { return unary<cos_>(result, params); }
u32 l_tan(Ref result, const u8* params, u32) { return unary<tan_>(result, params); }
u32 l_atan(Ref result, const u8* params, u32) { return unary<atan_>(result, params); }
u32 l_exp(Ref result, const u8* params, u32) { return unary<exp_>(result, params); }

u32 l_asin(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x < -1 || x > 1) return fail(E_BAD_VALUE);
  return put(result, std::asin(x));
}

u32 l_acos(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x < -1 || x > 1) return fail(E_BAD_VALUE);
  return put(result, std::acos(x));
}

// The tangent is rounded to single before the test, so angles whose
// tangent is merely tiny in double still divide by zero.
u32 l_cotan(Ref result, const u8* params, u32) {
  float t = static_cast<float>(std::tan(arg(params, 0)));
  if (t == 0.0f) return fail(E_DIV_ZERO);
  return put(result, 1.0 / t);
}

u32 l_atan2(Ref result, const u8* params, u32) {
  double y = arg(params, 0), x = arg(params, 1);
  if (x == 0) return fail(E_DIV_ZERO);
  return put(result, std::atan2(y, x));
}

u32 l_pow(Ref result, const u8* params, u32) {
  double a = arg(params, 0), b = arg(params, 1);
  if (a < 0 && b != std::floor(b)) return fail(E_BAD_VALUE);  // also a NaN exponent
  return put(result, std::pow(a, b));
}

u32 l_sqrt(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x < 0) return fail(E_BAD_VALUE);  // -0.0 passes and gives -0.0
  return put(result, std::sqrt(x));
}

u32 l_sqrt2p2(Ref result, const u8* params, u32) {
  double a = arg(params, 0), b = arg(params, 1);
  return put(result, std::sqrt(a * a + b * b));
}

u32 l_repsqrt(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x <= 0) return fail(E_BAD_VALUE);
  return put(result, 1.0 / std::sqrt(x));
}

u32 l_log(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x <= 0) return fail(E_BAD_VALUE);
  return put(result, std::log(x));
}

u32 l_log10(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x <= 0) return fail(E_BAD_VALUE);
  return put(result, std::log10(x));
}

u32 l_floor(Ref result, const u8* params, u32) {
  return put_int(result, std::floor(arg(params, 0)));
}

u32 l_ceil(Ref result, const u8* params, u32) {
  return put_int(result, std::ceil(arg(params, 0)));
}

u32 l_frexp(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  int e = 0;
  double m = std::frexp(x, &e);
  if (!std::isfinite(x)) e = 0;  // the library leaves it unspecified
  P(params, 1)->value = static_cast<u32>(e);
  return put(result, m);
}

// The count is truncated toward zero; counts far beyond the exponent range
// give the same result as the range's end, so they are clamped before the
// cast.
u32 l_ldexp(Ref result, const u8* params, u32) {
  double x = arg(params, 0), n = arg(params, 1);
  if (std::isnan(n)) return put(result, std::nan(""));
  if (n > 100000) n = 100000;
  if (n < -100000) n = -100000;
  return put(result, std::ldexp(x, static_cast<int>(n)));
}

u32 l_modf(Ref result, const u8* params, u32 count) {
  double whole;
  double fraction = std::modf(arg(params, 0), &whole);
  put(result, fraction);
  if ((count & 0xFF) >= 2) P(params, 1)->value = float_bits(static_cast<float>(whole));
  return 1;
}

u32 l_sign(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  return put(result, x == 0 ? 0.0 : x > 0 ? 1.0 : -1.0);
}

u32 l_min(Ref result, const u8* params, u32) {
  double a = arg(params, 0), b = arg(params, 1);
  return put(result, a > b ? b : a);
}

u32 l_max(Ref result, const u8* params, u32) {
  double a = arg(params, 0), b = arg(params, 1);
  return put(result, a > b ? a : b);
}

u32 l_sigmoid(Ref result, const u8* params, u32) {
  double x = arg(params, 0), k = arg(params, 1);
  return put(result, k / (1 + std::exp(-x)));
}

u32 l_sqr(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  return put(result, x * x);
}

u32 l_rep(Ref result, const u8* params, u32) {
  double x = arg(params, 0);
  if (x == 0) return fail(E_DIV_ZERO);
  return put(result, 1.0 / x);
}

u32 l_rad(Ref result, const u8* params, u32) {
  return put(result, arg(params, 0) * PI_SINGLE / 180);
}

u32 l_grad(Ref result, const u8* params, u32) {
  return put(result, arg(params, 0) * 180 / PI_SINGLE);
}

u32 l_sinusoid(Ref result, const u8* params, u32) {
  double a = arg(params, 0), w = arg(params, 1), t = arg(params, 2), p = arg(params, 3);
  return put(result, a * std::sin(w * t + p));
}

u32 l_cosinusoid(Ref result, const u8* params, u32) {
  double a = arg(params, 0), w = arg(params, 1), t = arg(params, 2), p = arg(params, 3);
  return put(result, a * std::cos(w * t + p));
}

}  // namespace qv
