// Integer to text: the one routine behind the int and uint text forms and
// the exponent of the float text form.
#include "itoa.h"

namespace qv {

u32 qv_itoa(u32 value, bool is_signed, char* out) {
  char* p = out;
  u32 magnitude = value;
  if (is_signed && (value & 0x80000000u)) {
    *p++ = '-';
    magnitude = 0u - value;  // -2147483648 keeps its pattern, read as unsigned
  }
  char* digits = p;
  do {
    *p++ = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
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
