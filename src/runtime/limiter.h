// Character tables: lists of inclusive byte ranges ended by a range whose
// low byte is 0. A character is in a table when low <= c <= high, with c
// taken as a signed byte, so bytes 0x80-0xFF are in no table.
#pragma once

#include "qv.h"

namespace qv {

extern const u8 no_limit[];   // letters and digits
extern const u8 lex_limit[];  // everything that is not blank
extern const u8 sp_limit[];   // name characters
extern const u8 allchrs[];    // word characters: '!' to 127
extern const u8* const delimers;

// 0 when c lies in the table (null: the default table), 1 when it does not.
u32 lx_delimit(u8 c, const u8* table);

// Characters that continue a string constant while a block is skipped:
// all but '"', '(', ')', '/', ';', '{', '}' and the bytes 0x80-0xFF.
bool in_brk_limit(u8 c);

}  // namespace qv
