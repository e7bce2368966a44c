// The float type: slot handlers, the seven-digit text form (ftoa), decimal
// text to float, saved form, and the conversions with the integer types.
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "itoa.h"
#include "textout.h"

namespace qv {

// Narrowing double to float is the IEEE conversion (overflow gives an
// infinity), which the results below rely on.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

// +0.0 and -0.0 compare equal; a NaN makes the pair unordered.
i32 l_float_comp(VarEntry* a, VarEntry* b, u32) {
  float x = as_float(a->value), y = as_float(b->value);
  if (x == y) return 0;
  if (x > y) return 1;
  if (x < y) return -1;
  return 2;
}

namespace {

// Seven significant digits, one before the point, an exponent only when it
// is not zero. Each step is rounded to single precision, so the digits are
// exactly those the language has always printed (9.9999999 -> 1.000000E1).
u32 ftoa(float x, char* out) {
  char* p = out;
  if (std::isinf(x)) x = std::copysign(FLT_MAX, x);  // the callers clamp; never loop on inf
  if (x < 0) {
    *p++ = '-';
    x = -x;
  }
  i32 e = 0;
  while (0 < x && x < 1) {
    x = x * 10.0f;
    --e;
  }
  while (x >= 10) {
    x = x / 10.0f;
    ++e;
  }
  double r = 1.0;
  for (int i = 0; i < 6; ++i) r /= 10;
  x = static_cast<float>(x + r / 2);
  if (x >= 10) {
    x = 1.0f;
    ++e;
  }
  for (int i = 0; i < 7; ++i) {
    int d = std::isnan(x) ? 0 : static_cast<int>(x);  // NaN prints as zeros
    if (d > 9) d = 9;
    *p++ = static_cast<char>('0' + d);
    if (i == 0) *p++ = '.';
    x = (x - static_cast<float>(d)) * 10.0f;
  }
  if (e != 0) {
    *p++ = 'E';
    p += qv_itoa(static_cast<u32>(e), true, p);
  }
  *p = 0;
  return static_cast<u32>(p - out);
}

// Infinities stand for the largest finite value of their sign wherever a
// float meets text.
inline float clamp_inf(float f) { return std::isinf(f) ? std::copysign(FLT_MAX, f) : f; }

inline bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the leading decimal constant of text[0, n) (blanks, sign,
// digits with an optional point, optional exponent), 0 when there is none.
// Only decimal notation: hexadecimal, "inf" and "nan" end the number.
u32 decimal_prefix(const char* text, u32 n) {
  u32 i = 0;
  while (i < n && is_blank(text[i])) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  u32 digits = 0;
  while (i < n && is_digit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && is_digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    u32 j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < n && is_digit(text[j])) {
      while (j < n && is_digit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

// strtod under the "C" locale: the window toolkit adopts the user's locale,
// whose decimal separator may not be a point.
double c_strtod(const char* text) {
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c_locale ? strtod_l(text, nullptr, c_locale) : std::strtod(text, nullptr);
}

}  // namespace

// An infinity is written as the largest finite value of its sign, and
// keeps its value: printing a variable never changes it.
u32 l_float_ft(StrDesc* t, VarEntry* s) {
  char buf[32];
  text_put(t, buf, ftoa(clamp_inf(as_float(s->value)), buf));
  return 1;
}

u32 l_float_tf(StrDesc* t, VarEntry* s) {
  const char* text = reinterpret_cast<const char*>(mem + t->start);
  u32 len = decimal_prefix(text, t->end - t->start);
  double d = 0.0;
  if (len > 0) {
    // The text need not end with a NUL at `end`: parse a copy.
    char buf[320];
    if (len < sizeof buf) {
      std::memcpy(buf, text, len);
      buf[len] = 0;
      d = c_strtod(buf);
    } else {
      d = c_strtod(std::string(text, len).c_str());
    }
  }
  s->value = float_bits(clamp_inf(static_cast<float>(d)));
  return 1;
}

u32 l_intfloat(VarEntry* src, VarEntry* dst) {
  dst->value = float_bits(static_cast<float>(as_int(src->value)));
  return 1;
}

u32 l_uintfloat(VarEntry* src, VarEntry* dst) {
  dst->value = float_bits(static_cast<float>(src->value));
  return 1;
}

// Out-of-range values and NaNs are caught before the cast, which would
// otherwise be undefined.
u32 l_floatint(VarEntry* src, VarEntry* dst) {
  double d = as_float(src->value);
  dst->value = (d > -2147483649.0 && d < 2147483648.0) ? static_cast<u32>(static_cast<i32>(d))
                                                       : 0x80000000u;
  return 1;
}

// Through a 64-bit integer, so negative values wrap (-1.0 -> 4294967295)
// and large ones keep their low 32 bits.
u32 l_floatuint(VarEntry* src, VarEntry* dst) {
  double d = as_float(src->value);
  dst->value = (d >= -9223372036854775808.0 && d < 9223372036854775808.0)
                   ? static_cast<u32>(static_cast<u64>(static_cast<i64>(d)))
                   : 0u;
  return 1;
}

}  // namespace qv
