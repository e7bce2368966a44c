// The arena: one reserved address range that holds every QV-visible datum
// (tables, code page, source text, strings, arrays), so that the 32-bit
// words of call records and slots can refer to anything by offset.
#pragma once

#include "qv.h"

namespace qv {

// Fixed references inside the arena's reserved head.
constexpr Ref END_BLOCK = 16;  // the empty block: 0, 0xFFFFFFFF
extern Ref label_tmpinit;      // "`initializing temporary variables"
extern Ref label_delete;       // "`internal: deleting variables\n"

// Reserves the arena (once per process). Returns false when the host has
// no address space to give.
bool arena_init();

// Allocation inside the arena. Both return 0 when the arena is exhausted.
// arena_calloc zero-fills. Blocks are released with the size they were
// allocated with.
Ref arena_alloc(u32 size);
Ref arena_calloc(u32 size);
void arena_free(Ref off, u32 size);

// Bytes still available to the bump allocator (for tests).
u64 arena_left();

// Test hook: fail the allocation with this ordinal (1-based) from now on,
// 0 turns it off.
void arena_fail_after(u32 nth);

}  // namespace qv
