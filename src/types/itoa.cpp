// Integer to text: the one routine behind the int and uint text forms and
// the exponent of the float text form.
#include "itoa.h"

namespace qv {

u32 qv_itoa(u32 value, bool is_signed, u32 radix, u32 min_digits, char* out) {
  // The caller's buffer holds a sign, 32 binary digits and the NUL.
  if (radix < 2 || radix > 36) radix = 10;
  if (min_digits > 32) min_digits = 32;

  char* p = out;
  u32 magnitude = value;
  if (is_signed && (value & 0x80000000u)) {
    *p++ = '-';
    magnitude = 0u - value;  // -2147483648 keeps its pattern, read as unsigned
  }
  char* digits = p;
  do {
    u32 d = magnitude % radix;
    *p++ = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
    magnitude /= radix;
  } while (magnitude != 0);
  while (static_cast<u32>(p - digits) < min_digits) *p++ = '0';
  *p = 0;

  // Digits came lowest first; the sign stays in front.
  for (char *lo = digits, *hi = p - 1; lo < hi; ++lo, --hi) {
    char c = *lo;
    *lo = *hi;
    *hi = c;
  }
  return static_cast<u32>(p - out);
}

}  // namespace qv
