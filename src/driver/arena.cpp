#include "arena.h"

#include <sys/mman.h>

#include <cstring>

namespace qv {

u8* mem = nullptr;
Ref label_tmpinit = 0;
Ref label_delete = 0;

namespace {

// Offsets must stay below 2^32 and never reach the end marker.
constexpr u64 ARENA_SIZE = 0xFFFF0000ull;
constexpr u32 HEAD_SIZE = 4096;
constexpr u32 GRAIN = 16;

// Free lists: exact classes up to SMALL_MAX bytes, power-of-two classes above.
constexpr u32 SMALL_MAX = 4096;
constexpr u32 SMALL_CLASSES = SMALL_MAX / GRAIN + 1;
constexpr u32 BIG_CLASSES = 33;

u64 bump = HEAD_SIZE;
Ref small_free[SMALL_CLASSES];
Ref big_free[BIG_CLASSES];
u32 fail_nth = 0;
u32 alloc_count = 0;

// Rounded block size and the free list it belongs to.
struct Fit { u64 size; Ref* list; };

Fit fit_of(u32 size) {
  u64 s = (static_cast<u64>(size) + GRAIN - 1) / GRAIN * GRAIN;
  if (s < GRAIN) s = GRAIN;
  if (s <= SMALL_MAX) return {s, &small_free[s / GRAIN]};
  unsigned k = 13;
  while ((1ull << k) < s) ++k;
  return {1ull << k, &big_free[k]};
}

void place_text(Ref off, const char* text) {
  std::memcpy(mem + off, text, std::strlen(text) + 1);
}

}  // namespace

bool arena_init() {
  if (mem) return true;
  void* p = mmap(nullptr, ARENA_SIZE, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return false;
  mem = static_cast<u8*>(p);
  wr32(mem + END_BLOCK, 0);
  wr32(mem + END_BLOCK + 4, END_MARK);
  label_tmpinit = 32;
  place_text(label_tmpinit, "`initializing temporary variables");
  label_delete = 96;
  place_text(label_delete, "`internal: deleting variables\n");
  return true;
}

Ref arena_alloc(u32 size) {
  if (!mem && !arena_init()) return 0;
  ++alloc_count;
  if (fail_nth && alloc_count >= fail_nth) return 0;
  Fit f = fit_of(size);
  if (Ref head = *f.list) {
    *f.list = rd32(mem + head);
    return head;
  }
  if (bump + f.size > ARENA_SIZE) return 0;
  Ref r = static_cast<Ref>(bump);
  bump += f.size;
  return r;
}

Ref arena_calloc(u32 size) {
  Ref r = arena_alloc(size);
  if (r) std::memset(mem + r, 0, size);
  return r;
}

void arena_free(Ref off, u32 size) {
  if (!off) return;
  Fit f = fit_of(size);
  wr32(mem + off, *f.list);
  *f.list = off;
}

u64 arena_left() { return ARENA_SIZE - bump; }

void arena_fail_after(u32 nth) {
  fail_nth = nth ? alloc_count + nth : 0;
}

}  // namespace qv
