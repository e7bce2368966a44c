// The string operations. They work in place on the slots' own buffers and
// never allocate; texts that would grow past a buffer's capacity are cut.
// Each handler folds the flags of every str slot it touches into one test,
// so a slot that holds no string (V_EMPTY) stops it with 60 before any
// buffer is followed.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "../runtime/limiter.h"
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "../runtime/strbase.h"

namespace qv {

namespace {

inline u32 nparams(u32 count) { return count & 0xFF; }

// Flags of parameters [from, n) or-ed together.
inline u32 flags_of(const u8* params, u32 from, u32 n) {
  u32 f = 0;
  for (u32 i = from; i < n; ++i) f |= P(params, i)->flags;
  return f;
}

// "upr" and "lowr": a copy of the operand, changed in the result.
template <void (*Change)(StrDesc*)>
u32 changed_copy(Ref result, const u8* params) {
  if (!result) return 1;
  VarEntry* r = S(result);
  VarEntry* s = P(params, 0);
  if ((r->flags | s->flags) & V_EMPTY) return fail(E_NOT_INIT);
  StrDesc* rd = str_desc(r);
  StrDesc* sd = str_desc(s);
  sd->cursor = sd->start;
  rd->cursor = rd->start;
  st_dup(rd, sd);
  Change(rd);
  return 1;
}

// Writes each operand's text up to its first zero byte.
u32 write_texts(const u8* params, u32 n) {
  if (flags_of(params, 0, n) & V_EMPTY) return fail(E_NOT_INIT);
  for (u32 i = 0; i < n; ++i) {
    const StrDesc* d = str_desc(P(params, i));
    const char* text = reinterpret_cast<const char*>(st_text(d));
    std::fwrite(text, 1, strnlen(text, st_len(d)), stdout);
  }
  return 1;
}

}  // namespace

u32 l_stupr(Ref result, const u8* params, u32) { return changed_copy<st_upr>(result, params); }
u32 l_stlowr(Ref result, const u8* params, u32) { return changed_copy<st_lowr>(result, params); }

u32 l_stcat(Ref result, const u8* params, u32 count) {
  if (!result) return 1;
  const u32 n = nparams(count);
  VarEntry* r = S(result);
  if ((r->flags | flags_of(params, 0, n)) & V_EMPTY) return fail(E_NOT_INIT);
  StrDesc* rd = str_desc(r);
  st_dup(rd, str_desc(P(params, 0)));
  for (u32 i = 1; i < n && rd->end < rd->limit; ++i) {
    StrDesc* od = str_desc(P(params, i));
    rd->cursor = rd->end;
    od->cursor = od->start;
    st_insert(rd, od);
  }
  return 1;
}

u32 l_strlen(Ref result, const u8* params, u32) {
  VarEntry* s = P(params, 0);
  if (s->flags & V_EMPTY) return fail(E_NOT_INIT);
  if (result) S(result)->value = st_len(str_desc(s));
  return 1;
}

u32 l_substr(Ref result, const u8* params, u32 count) {
  if (!result) return 1;
  VarEntry* r = S(result);
  VarEntry* s = P(params, 0);
  if ((r->flags | s->flags) & V_EMPTY) return fail(E_NOT_INIT);
  const StrDesc* sd = str_desc(s);
  const u32 from = P(params, 1)->value;
  const u32 want = nparams(count) >= 3 ? P(params, 2)->value : 1;
  const u32 len = st_len(sd);
  const u32 n = from < len ? std::min(want, len - from) : 0;
  st_set(str_desc(r), reinterpret_cast<const char*>(st_text(sd)) + (n ? from : 0), n);
  return 1;
}

u32 l_getword(Ref result, const u8* params, u32) {
  if (!result) return 1;
  VarEntry* r = S(result);
  VarEntry* s = P(params, 0);
  if ((r->flags | s->flags) & V_EMPTY) return fail(E_NOT_INIT);
  StrDesc* sd = str_desc(s);
  st_setloc(sd, P(params, 1)->value);
  st_getword(sd, str_desc(r), allchrs);
  return 1;
}

// Overwrites in place: the target never grows.
u32 l_insubs(Ref, const u8* params, u32) {
  VarEntry* t = P(params, 0);
  VarEntry* s = P(params, 1);
  if ((t->flags | s->flags) & V_EMPTY) return fail(E_NOT_INIT);
  const StrDesc* td = str_desc(t);
  const StrDesc* sd = str_desc(s);
  const u32 at = P(params, 2)->value;
  const u32 tlen = st_len(td);
  if (at >= tlen) return 1;
  std::memmove(st_text(td) + at, st_text(sd), std::min(st_len(sd), tlen - at));
  return 1;
}

u32 l_ascii(Ref result, const u8* params, u32 count) {
  if (!result) return 1;
  VarEntry* r = S(result);
  if (r->flags & V_EMPTY) return fail(E_NOT_INIT);
  StrDesc* rd = str_desc(r);
  const u32 n = std::min(nparams(count), st_capacity(rd));
  u8* text = st_text(rd);
  for (u32 i = 0; i < n; ++i) text[i] = static_cast<u8>(P(params, i)->value);
  rd->end = rd->start + n;
  rd->cursor = rd->start;
  mem[rd->end] = 0;
  mem[rd->limit] = 0;
  return 1;
}

u32 l_stdout(Ref, const u8* params, u32 count) { return write_texts(params, nparams(count)); }

u32 l_puts(Ref, const u8* params, u32 count) {
  if (!write_texts(params, nparams(count))) return 0;
  std::fputc('\n', stdout);
  return 1;
}

}  // namespace qv
