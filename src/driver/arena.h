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

// A block that lives until the process ends by design (the tables, the
// program text): the leak check at the end passes over it.
void arena_keep(Ref off);
// Test hook: every block live now counts as kept.
void arena_keep_all_live();
// Sanitizer build: lists on standard error every live block not kept, as
// a leak, and returns how many there are. Elsewhere returns 0.
u32 arena_report_leaks();

// Blocks handed out and not yet released.
u32 arena_live_blocks();

// Bytes still available to the bump allocator (for tests).
u64 arena_left();

// Test hook: fail the allocation with this ordinal (1-based) from now on,
// 0 turns it off.
void arena_fail_after(u32 nth);

}  // namespace qv
