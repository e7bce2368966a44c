// The int and uint types: slot handlers, text forms, saved form and the
// conversion between the two. Both share every handler but comp; the
// slot's own type tells signed from unsigned where it matters.
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "itoa.h"
#include "textout.h"

namespace qv {

i32 l_int_comp(VarEntry* a, VarEntry* b, u32) {
  i32 x = as_int(a->value), y = as_int(b->value);
  return x < y ? -1 : x > y ? 1 : 0;
}

i32 l_uint_comp(VarEntry* a, VarEntry* b, u32) {
  u32 x = a->value, y = b->value;
  return x < y ? -1 : x > y ? 1 : 0;
}

u32 l_int_ft(StrDesc* t, VarEntry* s) {
  char buf[12];
  u32 n = qv_itoa(s->value, s->type != TY_UINT, buf);
  text_put(t, buf, n);
  return 1;
}

namespace {

int hex_digit(u8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits behind the radix letter at text[1]; the first character is never
// looked at, so "7x10" reads as 0x10. At most 16 bits either way.
bool parse_radix(const u8* text, u32 n, u32 bits_per_digit, u32* out) {
  u32 digits = n - 2;
  if (digits == 0 || digits * bits_per_digit > 16) return false;
  u32 v = 0;
  for (u32 i = 2; i < n; ++i) {
    int d = hex_digit(text[i]);
    if (d < 0 || static_cast<u32>(d) >> bits_per_digit) return false;
    v = (v << bits_per_digit) | static_cast<u32>(d);
  }
  *out = v;
  return true;
}

// Decimal with one optional sign; no digits at all reads as 0. Magnitudes
// beyond 32 bits wrap modulo 2^32, like the arithmetic.
bool parse_decimal(const u8* text, u32 n, u32* out) {
  u32 i = 0;
  bool negative = false;
  if (n > 0 && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  u32 v = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10u + static_cast<u32>(text[i] - '0');
  }
  *out = negative ? 0u - v : v;
  return true;
}

}  // namespace

u32 l_int_tf(StrDesc* t, VarEntry* s) {
  const u8* text = mem + t->start;
  u32 n = t->end - t->start;
  u32 v = 0;
  bool ok;
  if (n >= 2 && (text[1] == 'x' || text[1] == 'X'))
    ok = parse_radix(text, n, 4, &v);
  else if (n >= 2 && (text[1] == 'b' || text[1] == 'B'))
    ok = parse_radix(text, n, 1, &v);
  else
    ok = parse_decimal(text, n, &v);
  if (!ok) return fail(E_TYPE_MISMATCH);
  s->value = v;
  return 1;
}

// int <-> uint: the bit pattern carries over unchanged.
u32 l_int_conv(VarEntry* src, VarEntry* dst) {
  dst->value = src->value;
  return 1;
}

}  // namespace qv
