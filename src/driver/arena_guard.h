// What the memory checkers know about the arena. To AddressSanitizer and
// valgrind the arena is one big valid mapping, so by themselves they would
// see no overflow from one string into the next and no use of a freed
// array. In the sanitizer build (and a build with QV_VALGRIND) these hooks
// poison every byte that is not handed out (the unused head, the red zone
// behind each block, freed blocks, the space not yet reached), keep a
// register of the live blocks for the leak check at the end, and refuse a
// release of a block that is not live or not of that size. In every other
// build they are empty and the red zone is 0 bytes.
#pragma once

#include <cstdio>

#include "qv.h"

#if defined(__SANITIZE_ADDRESS__)
#define QV_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ARENA_ASAN 1
#endif
#endif
#ifndef QV_ARENA_ASAN
#define QV_ARENA_ASAN 0
#endif

#if QV_ARENA_ASAN || defined(QV_VALGRIND)
#define QV_ARENA_GUARD 1
#else
#define QV_ARENA_GUARD 0
#endif

namespace qv::guard {

constexpr bool ACTIVE = QV_ARENA_GUARD != 0;
// AddressSanitizer rather than valgrind keeps the books.
constexpr bool ASAN = QV_ARENA_ASAN != 0;

// Poisoned bytes behind every block: an overflow by up to this much lands
// in poison rather than in the neighbour. A multiple of the arena's grain.
constexpr u32 RED_ZONE = ACTIVE ? 16 : 0;

// Freed blocks are held back from reuse until this many bytes are waiting,
// so that a late use of one still meets poison.
constexpr u64 QUARANTINE_BYTES = ACTIVE ? (4u << 20) : 0;

// Exit status when blocks are still live at the end (LeakSanitizer's own).
constexpr int LEAK_EXIT_STATUS = 23;

#if QV_ARENA_GUARD

// The arena of `size` bytes was reserved: everything but the fixed records
// in its head is off limits. `fixed` lists [offset, length) pairs.
void reserved(u64 size, u64 head_size, const u32 (*fixed)[2], unsigned nfixed);
// Bump space up to `end` (an offset) is about to be handed out: poison the
// space ahead of it before anything can reach there.
void reaching(u64 end);
// A block of `size` bytes was handed out at `off` to `caller`.
void handed_out(Ref off, u32 size, const void* caller);
// A block comes back: reports and aborts unless it is live with this
// size. `span` counts its rounding and red zone too.
void taken_back(Ref off, u32 size, u64 span);
// The allocator's own link word inside a free block.
void open_link(Ref off);
void close_link(Ref off);

void keep(Ref off);
void keep_all_live();
u32 report_leaks(std::FILE* out);

#else

inline void reserved(u64, u64, const u32 (*)[2], unsigned) {}
inline void reaching(u64) {}
inline void handed_out(Ref, u32, const void*) {}
inline void taken_back(Ref, u32, u64) {}
inline void open_link(Ref) {}
inline void close_link(Ref) {}
inline void keep(Ref) {}
inline void keep_all_live() {}
inline u32 report_leaks(std::FILE*) { return 0; }

#endif

}  // namespace qv::guard
