#include "limiter.h"

namespace qv {

const u8 no_limit[] = {'0', '9', 'A', 'Z', 'a', 'z', 0, 0};
const u8 lex_limit[] = {'!', '+', '-', 0xFF, 0, 0};
const u8 sp_limit[] = {'!', '!', '#', '\'', '*', '+', '-', '.', '0', ':', '<', '\\',
                       '^', '_', 'a', 'z', '|', '|', '~', 0xFF, 0, 0};
const u8 allchrs[] = {'!', 0xFF, 0, 0};
const u8* const delimers = no_limit;

u32 lx_delimit(u8 c, const u8* table) {
  if (!table) table = delimers;
  const int ch = static_cast<signed char>(c);
  for (const u8* r = table; r[0]; r += 2)
    if (r[0] <= ch && ch <= r[1]) return 0;
  return 1;
}

bool in_brk_limit(u8 c) {
  if (c >= 0x80) return false;
  switch (c) {
    case '"': case '(': case ')': case '/': case ';': case '{': case '}':
      return false;
    default:
      return true;
  }
}

}  // namespace qv
