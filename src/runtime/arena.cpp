#include "arena.h"

#include <sys/mman.h>

#include <cstring>
#include <deque>

#include "arena_guard.h"

namespace qv {

namespace {

// Offsets must stay below 2^32 and never reach the end marker.
constexpr u64 ARENA_SIZE = 0xFFFF0000ull;

// The arena's address space, at `want` when given; null when the system
// has none to give there.
u8* reserve(u8* want) {
  const int fixed = want ? MAP_FIXED_NOREPLACE : 0;
  void* p = mmap(want, ARENA_SIZE, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | fixed, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  if (want && p != want) {  // a kernel that took the address as a hint
    munmap(p, ARENA_SIZE);
    return nullptr;
  }
  return static_cast<u8*>(p);
}

bool set_up = false;  // the head written

}  // namespace

#ifdef QV_ARENA_BASE
const bool reserved = reserve(mem) != nullptr;
#else
u8* const mem = reserve(nullptr);
const bool reserved = mem != nullptr;
#endif
Ref label_tmpinit = 0;
Ref label_delete = 0;

namespace {
constexpr u32 HEAD_SIZE = 4096;
constexpr u32 GRAIN = 16;

// Free lists: exact classes up to SMALL_MAX bytes, power-of-two classes above.
constexpr u32 SMALL_MAX = 4096;
constexpr u32 SMALL_CLASSES = SMALL_MAX / GRAIN + 1;
constexpr u32 BIG_CLASSES = 34;  // up to 2^33: a 2^32 request plus its red zone

u64 bump = HEAD_SIZE;
Ref small_free[SMALL_CLASSES];
Ref big_free[BIG_CLASSES];
u32 fail_nth = 0;
u32 alloc_count = 0;
u32 live_blocks = 0;

// Freed blocks waiting to go back to their free lists (sanitizer build).
struct Held { Ref off; u32 size; };
std::deque<Held> quarantine;
u64 quarantined = 0;

// Rounded block size and the free list it belongs to.
struct Fit { u64 size; Ref* list; };

Fit fit_of(u32 size) {
  u64 s = (static_cast<u64>(size) + guard::RED_ZONE + GRAIN - 1) / GRAIN * GRAIN;
  if (s < GRAIN) s = GRAIN;
  if (s <= SMALL_MAX) return {s, &small_free[s / GRAIN]};
  unsigned k = 13;
  while ((1ull << k) < s) ++k;
  return {1ull << k, &big_free[k]};
}

void place_text(Ref off, const char* text) {
  std::memcpy(mem + off, text, std::strlen(text) + 1);
}

u32 text_span(Ref off) {
  return static_cast<u32>(std::strlen(reinterpret_cast<const char*>(mem + off)) + 1);
}

// A free block's first word links it to the next block of its list.
void push_free(Ref off, const Fit& f) {
  guard::open_link(off);
  wr32(mem + off, *f.list);
  guard::close_link(off);
  *f.list = off;
}

Ref pop_free(Ref* list) {
  const Ref head = *list;
  guard::open_link(head);
  *list = rd32(mem + head);
  guard::close_link(head);
  return head;
}

// Lets the oldest freed blocks go back to their lists once the quarantine
// holds more than its share.
void hold_back(Ref off, u32 size) {
  quarantine.push_back({off, size});
  quarantined += fit_of(size).size;
  while (quarantined > guard::QUARANTINE_BYTES) {
    const Held h = quarantine.front();
    quarantine.pop_front();
    const Fit f = fit_of(h.size);
    quarantined -= f.size;
    push_free(h.off, f);
  }
}

Ref take(const Fit& f) {
  if (*f.list) return pop_free(f.list);
  if (bump + f.size > ARENA_SIZE) return 0;
  guard::reaching(bump + f.size);
  Ref r = static_cast<Ref>(bump);
  bump += f.size;
  return r;
}

Ref alloc_for(u32 size, const void* caller) {
  if (!set_up && !arena_init()) return 0;
  ++alloc_count;
  if (fail_nth && alloc_count >= fail_nth) return 0;
  const Fit f = fit_of(size);
  const Ref r = take(f);
  if (!r) return 0;
  guard::handed_out(r, size, caller);
  ++live_blocks;
  return r;
}

}  // namespace

bool arena_init() {
  if (set_up) return true;
  if (!reserved) return false;
  set_up = true;
  wr32(mem + END_BLOCK, 0);
  wr32(mem + END_BLOCK + 4, END_MARK);
  label_tmpinit = 32;
  place_text(label_tmpinit, "`initializing temporary variables");
  label_delete = 96;
  place_text(label_delete, "`internal: deleting variables\n");
  const u32 fixed[][2] = {{END_BLOCK, 8},
                          {label_tmpinit, text_span(label_tmpinit)},
                          {label_delete, text_span(label_delete)}};
  guard::reserved(ARENA_SIZE, HEAD_SIZE, fixed, 3);
  return true;
}

Ref arena_alloc(u32 size) { return alloc_for(size, __builtin_return_address(0)); }

// Memory that the bump hands out for the first time is as the mapping
// made it: zero, and its pages not yet touched, which clearing would
// fault in one by one (a program's tables are mostly unused). The guard's
// builds mark it, so there it is cleared as any other.
Ref arena_calloc(u32 size) {
  const u64 fresh = bump;
  Ref r = alloc_for(size, __builtin_return_address(0));
  if (r && (guard::ACTIVE || r < fresh)) std::memset(mem + r, 0, size);
  return r;
}

void arena_free(Ref off, u32 size) {
  if (!off) return;
  const Fit f = fit_of(size);
  guard::taken_back(off, size, f.size);
  --live_blocks;
  if (guard::ACTIVE)
    hold_back(off, size);
  else
    push_free(off, f);
}

void arena_keep(Ref off) { guard::keep(off); }

void arena_keep_all_live() { guard::keep_all_live(); }

u32 arena_report_leaks() { return guard::report_leaks(stderr); }

u32 arena_live_blocks() { return live_blocks; }

u64 arena_left() { return ARENA_SIZE - bump; }

void arena_fail_after(u32 nth) {
  fail_nth = nth ? alloc_count + nth : 0;
}

}  // namespace qv
