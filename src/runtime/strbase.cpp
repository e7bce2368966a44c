// String descriptor routines. Every routine keeps the descriptor's
// invariants (start <= cursor <= end <= limit, NUL at end and at limit), so
// any text can also be handed to C stdio as a zero-terminated string, and
// none writes past limit, whatever the capacity of the descriptor.
#include "strbase.h"

#include <algorithm>
#include <cstring>

#include "arena.h"
#include "limiter.h"

namespace qv {

namespace {

// Temporaries of type str take storage when their block starts and give it
// back when it ends, at every run: the latest descriptors given back are
// kept with their buffers for the next values to take, so that a loop
// does not ask the arena twice per temporary and round. As many as a
// recursion some 50 deep with a few texts per depth gives back on its way
// up and takes again on its next way down (70 KB at most).
constexpr u32 KEPT_MAX = 256;
Ref kept[KEPT_MAX];
u32 nkept = 0;

u32 buffer_bytes(const StrDesc* d) { return d->limit - d->start + 1; }

// Zeroes a kept buffer as the arena's zeroed allocation would. Plain
// 16-byte stores: for so few bytes, the string instruction that a memset
// becomes costs several times more.
using Bytes16 = u8 __attribute__((vector_size(16), aligned(1), may_alias));
void zero_buffer(u8* p) {
  static_assert(STR_BUFSIZE == 16 * 16 + 1);
  const Bytes16 zero{};
  Bytes16* v = reinterpret_cast<Bytes16*>(p);
  v[0] = zero; v[1] = zero; v[2] = zero; v[3] = zero;
  v[4] = zero; v[5] = zero; v[6] = zero; v[7] = zero;
  v[8] = zero; v[9] = zero; v[10] = zero; v[11] = zero;
  v[12] = zero; v[13] = zero; v[14] = zero; v[15] = zero;
  p[256] = 0;
}

}  // namespace

Ref st_storage_new() {
  Ref desc, buf;
  if (nkept) {
    desc = kept[--nkept];
    buf = at<StrDesc>(desc)->start;
    zero_buffer(mem + buf);
  } else {
    desc = arena_alloc(sizeof(StrDesc));
    buf = desc ? arena_calloc(STR_BUFSIZE) : 0;
    if (!buf) {
      if (desc) arena_free(desc, sizeof(StrDesc));
      return 0;
    }
  }
  auto* d = at<StrDesc>(desc);
  d->flags = 0;
  d->start = d->end = d->cursor = buf;
  d->limit = buf + STR_CAPACITY;
  return desc;
}

bool st_storage_renew(Ref desc) {
  auto* d = at<StrDesc>(desc);
  if (buffer_bytes(d) != STR_BUFSIZE) return false;
  zero_buffer(mem + d->start);
  d->flags = 0;
  d->end = d->cursor = d->start;
  return true;
}

void st_storage_free(Ref desc) {
  const StrDesc* d = at<StrDesc>(desc);
  if (nkept < KEPT_MAX && buffer_bytes(d) == STR_BUFSIZE) {
    kept[nkept++] = desc;
    return;
  }
  arena_free(d->start, buffer_bytes(d));
  arena_free(desc, sizeof(StrDesc));
}

void st_storage_release() {
  while (nkept) {
    const Ref desc = kept[--nkept];
    arena_free(at<StrDesc>(desc)->start, STR_BUFSIZE);
    arena_free(desc, sizeof(StrDesc));
  }
}

namespace {

inline void terminate(StrDesc* d) {
  mem[d->end] = 0;
  mem[d->limit] = 0;
}

inline u32 room(const StrDesc* d) { return d->limit - d->end; }

// Opens a gap of k bytes at the cursor and copies `text` into it; the
// caller has cut k to the room left. `text` must not lie in d's buffer.
void insert_bytes(StrDesc* d, const u8* text, u32 k) {
  u8* at = mem + d->cursor;
  std::memmove(at + k, at, d->end - d->cursor);
  std::memcpy(at, text, k);
  d->cursor += k;
  d->end += k;
  terminate(d);
}

}  // namespace

void st_dup(StrDesc* dst, const StrDesc* src) {
  const u32 n = std::min(st_len(src), st_capacity(dst));
  const u32 cur = src->cursor - src->start;
  std::memmove(mem + dst->start, mem + src->start, n);  // dst may be src
  dst->end = dst->start + n;
  dst->cursor = dst->start + std::min(cur, n);
  terminate(dst);
}

void st_shift(StrDesc* d, int direction) {
  u8* at = mem + d->cursor;
  if (direction > 0) {
    if (d->end >= d->limit) return;
    std::memmove(at + 1, at, d->end - d->cursor);
    ++d->end;
  } else if (direction < 0) {
    if (d->cursor >= d->end) return;
    std::memmove(at, at + 1, d->end - d->cursor - 1);
    --d->end;
  }
  mem[d->end] = 0;
}

void st_insert(StrDesc* dst, StrDesc* src) {
  if (src->start != dst->start) {
    insert_bytes(dst, mem + src->cursor, std::min(src->end - src->cursor, room(dst)));
    return;
  }
  // Inserting a text into itself: the source bytes move with every gap, so
  // go one character at a time, which stays inside the buffer.
  for (Ref p = src->cursor; p < src->end && dst->end < dst->limit; ++p) {
    st_shift(dst, 1);
    mem[dst->cursor++] = mem[p];
  }
}

void st_upr(StrDesc* d) {
  for (u8* p = mem + d->start; p < mem + d->end; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<u8>(*p - 'a' + 'A');
}

void st_lowr(StrDesc* d) {
  for (u8* p = mem + d->start; p < mem + d->end; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<u8>(*p - 'A' + 'a');
}

// Bytes compare as signed, so 128-255 sort below the ASCII range.
i32 st_comp(const StrDesc* a, const StrDesc* b) {
  const u8* pa = mem + a->start;
  const u8* pb = mem + b->start;
  const u8* ea = mem + a->end;
  const u8* eb = mem + b->end;
  for (;; ++pa, ++pb) {
    if (pa == ea) return pb == eb ? 0 : -1;
    if (pb == eb) return 1;
    const auto ca = static_cast<signed char>(*pa);
    const auto cb = static_cast<signed char>(*pb);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
}

bool st_equal(const StrDesc* a, const StrDesc* b) {
  const u32 n = st_len(a);
  return n == st_len(b) && std::memcmp(mem + a->start, mem + b->start, n) == 0;
}

void st_setloc(StrDesc* d, u32 offset) {
  d->cursor = d->start + std::min(offset, st_len(d));
}

void st_getword(StrDesc* src, StrDesc* dst, const u8* ranges) {
  const u32 cap = st_capacity(dst);
  u32 n = 0;
  // Forward byte copy: safe even when dst shares src's buffer, because the
  // write position never passes the read position.
  for (Ref p = src->cursor; p < src->end && n < cap; ++p, ++n) {
    const u8 c = mem[p];
    if (lx_delimit(c, ranges)) break;
    mem[dst->start + n] = c;
  }
  dst->end = dst->start + n;
  dst->cursor = dst->start;
  terminate(dst);
}

void st_set(StrDesc* d, const char* text, u32 len) {
  len = std::min(len, st_capacity(d));
  std::memmove(mem + d->start, text, len);
  d->end = d->start + len;
  d->cursor = d->start;
  terminate(d);
}

}  // namespace qv
