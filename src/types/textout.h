// Writing a value's text into a text record: what every ft handler of the
// scalar types does last.
#pragma once

#include "../runtime/qv.h"

namespace qv {

// Replaces the record's text with `len` bytes, cut at its capacity so that
// neither a str buffer nor the lexeme buffer can be overrun; cursor at the
// start, NUL behind the text.
inline void text_put(StrDesc* t, const char* text, u32 len) {
  u32 cap = t->limit - t->start;
  if (len > cap) len = cap;
  std::memcpy(mem + t->start, text, len);
  t->end = t->start + len;
  t->cursor = t->start;
  mem[t->end] = 0;
}

}  // namespace qv
