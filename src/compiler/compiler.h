// The operation-call compiler: source text to call records.
#pragma once

#include "../runtime/qv.h"

namespace qv {

extern u64 copcount;  // operation calls compiled
extern u32 prog_level;

// Compiles the program text (ended by 0x1A) into the code page; the first
// constant becomes the program's block. Returns 0 or the error code, with
// last_lexema at the place of the error.
u32 compile(Ref text);

}  // namespace qv
