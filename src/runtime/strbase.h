// String descriptor routines: the text handling that the str type, the
// lexer's buffer and every conversion to and from text rest on.
#pragma once

#include "qv.h"

namespace qv {

inline u8* st_text(const StrDesc* d) { return mem + d->start; }
inline u32 st_len(const StrDesc* d) { return d->end - d->start; }
inline u32 st_capacity(const StrDesc* d) { return d->limit - d->start; }
inline StrDesc* str_desc(const VarEntry* slot) { return at<StrDesc>(slot->value); }

// The storage of a str value: a descriptor over a zeroed buffer of
// STR_BUFSIZE bytes, or 0 when the arena is exhausted. A descriptor is
// given back with its buffer, whatever the buffer's size.
Ref st_storage_new();
void st_storage_free(Ref desc);
// Makes the value of `desc` what st_storage_new would hand out (an empty
// text in a zeroed buffer) in its own storage: false, and nothing changed,
// when the buffer is not the standard size.
bool st_storage_renew(Ref desc);
// Returns to the arena the storage kept for the next values (at the end
// of a run).
void st_storage_release();

void st_dup(StrDesc* dst, const StrDesc* src);
// direction > 0 opens a gap at the cursor, < 0 removes the character there.
void st_shift(StrDesc* d, int direction);
void st_insert(StrDesc* dst, StrDesc* src);
void st_upr(StrDesc* d);
void st_lowr(StrDesc* d);
i32 st_comp(const StrDesc* a, const StrDesc* b);
// Whether st_comp would find the texts equal: the same length and bytes,
// which is all that "==", "!=" and "case" ask, without the byte loop.
bool st_equal(const StrDesc* a, const StrDesc* b);
// Two slots whose texts compare as above: str values, neither empty nor an
// array (anything else goes to the type's comp, with its errors).
inline bool plain_texts(const VarEntry* a, const VarEntry* b) {
  return a->type == TY_STR && b->type == TY_STR && !((a->flags | b->flags) & (V_EMPTY | V_ARRAY));
}
void st_setloc(StrDesc* d, u32 offset);
void st_getword(StrDesc* src, StrDesc* dst, const u8* ranges);

// Replaces the whole text of d with `len` bytes (cut at its capacity);
// cursor at the start.
void st_set(StrDesc* d, const char* text, u32 len);

}  // namespace qv
