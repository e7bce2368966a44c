// The compiled-program writer: the code and data sections of the program
// that the compiler left in the tables, and the whole file around them.
// A file must never name an address, so every handler becomes an operation
// reference, every slot a table and index, every block a code offset.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "../runtime/arena.h"
#include "../runtime/env.h"
#include "../runtime/executor.h"
#include "../runtime/final_exit.h"
#include "../runtime/functable.h"
#include "../runtime/handlers.h"
#include "progfile.h"
#include "progsect.h"
#include "replace_file.h"
#include "stale_temps.h"

namespace qv {

const char proglabel[16] = "TEST QV PROGRAM";
const char codelabel[12] = "_CODE_PAGE_";
const char datalabel[12] = "_DATA_PAGE_";

namespace writer {

u32 chsume = 0;

void savonerror() { throw SaveError{}; }

namespace {

// A code page that the format cannot express is a failed save like any
// other; errno says why, since savonerror itself sets no code.
[[noreturn]] void inexpressible() {
  errno = EINVAL;
  savonerror();
}

// A write of zero bytes counts as short.
void put(FILE* f, const void* bytes, size_t n) {
  if (n == 0) inexpressible();
  if (std::fwrite(bytes, 1, n, f) != n) {
    if (errno == 0) errno = EIO;
    savonerror();
  }
}

void put32(FILE* f, u32 v) {
  const u8 b[4] = {static_cast<u8>(v), static_cast<u8>(v >> 8), static_cast<u8>(v >> 16),
                   static_cast<u8>(v >> 24)};
  put(f, b, 4);
}

inline u32 sext(u8 b) { return static_cast<u32>(static_cast<i32>(static_cast<std::int8_t>(b))); }

}  // namespace

void write_cpmarker(FILE* f) {
  put(f, proglabel, sizeof proglabel);
  put(f, codelabel, sizeof codelabel);
}

void write_cplength(FILE* f) { put32(f, codepage.first - codepage.base); }

void write_cnmarker(FILE* f) {
  put(f, proglabel, sizeof proglabel);
  put(f, datalabel, sizeof datalabel);
}

void write_cnlength(FILE* f) { put32(f, (cnstable.next - cnstable.base) / 12); }

void write_chsume(FILE* f) { put32(f, chsume); }

void save_byteval(FILE* f, u8 byte) {
  put(f, &byte, 1);
  chsume += sext(byte);
}

void save_intval(FILE* f, u32 value) {
  put32(f, value);
  chsume += value;
}

void save_cnbuffer(FILE* f, const u8* bytes, u32 length) {
  save_intval(f, length);
  put(f, bytes, length);
  for (u32 i = 0; i < length; ++i) chsume += sext(bytes[i]);
}

void save_values(FILE* f, u8 tag, u32 index) {
  save_byteval(f, tag);
  save_intval(f, index);
}

void save_tvalues(FILE* f, u8 tag, u8 slot, u32 index) {
  save_byteval(f, tag);
  save_byteval(f, slot);
  save_intval(f, index);
}

// Several rows may share a handler; the first match is written, and it
// loads back as the same handler. The assign and comp slots never hold a
// record handler, so only init, clr and del can match among the type slots.
void save_opcode(FILE* f, u32 handler) {
  if (handler == H_NONE) inexpressible();
  for (u32 i = 0; i < FUNC_COUNT; ++i)
    if (funcent[i].handler == handler) return save_values(f, OPREF_FUNCENT, i);
  for (u32 i = 0; i < SYSFUNC_COUNT; ++i)
    if (sysfuncs[i] == handler) return save_values(f, OPREF_SYSFUNC, i);
  for (u32 t = 0; t < TY_COUNT; ++t) {
    const TypeEntry& e = typent[t];
    if (e.init == handler) return save_tvalues(f, OPREF_TYPESLOT, 0, t);
    if (e.clr == handler) return save_tvalues(f, OPREF_TYPESLOT, 1, t);
    if (e.del == handler) return save_tvalues(f, OPREF_TYPESLOT, 4, t);
  }
  inexpressible();
}

namespace {

// Releases the exchange bytes when the handler asked for it, also when
// the write fails half-way.
struct ReleaseGuard {
  Exchange& x;
  ~ReleaseGuard() {
    if (x.flags & X_RELEASE) arena_free(x.bytes, x.length);
  }
};

}  // namespace

void save_constants(FILE* f) {
  write_cnmarker(f);
  write_cnlength(f);
  chsume = 0;
  for (Ref e = cnstable.base; e < cnstable.next; e += 12) {
    VarEntry* slot = S(e);
    if (slot->type >= TY_COUNT || (slot->flags & V_EMPTY)) inexpressible();
    save_intval(f, slot->type);
    Exchange x{0, 0, 0};
    x.flags &= static_cast<u8>(~X_RELEASE);
    if (!typent[slot->type].mksv(&x, slot)) {
      if (errno == 0) errno = EINVAL;
      savonerror();
    }
    ReleaseGuard release{x};
    save_cnbuffer(f, mem + x.bytes, x.length);
  }
  write_chsume(f);
}

// ---- the code section --------------------------------------------------------------

namespace {

u32 capacity(const TableHead& t) { return (t.end - t.base) / 12; }

bool in_table(const TableHead& t, Ref r, u32* index) {
  if (r < t.base || r >= t.end || (r - t.base) % 12) return false;
  *index = (r - t.base) / 12;
  return true;
}

struct SlotRef {
  u8 tag;
  u32 index;
};

// The temporaries initialisation record of a block whose temporaries
// reach the table's end names the slot one past it.
SlotRef classify(Ref r, bool marker_ok) {
  u32 i = 0;
  if (r == 0) return {SLOT_NONE, 0};
  if (r == END_MARK && marker_ok) return {SLOT_MARKER, 0};
  if (in_table(vartable, r, &i)) return {SLOT_VAR, i};
  if (in_table(cnstable, r, &i)) return {SLOT_CONST, i};
  if (in_table(rettable, r, &i)) return {SLOT_TEMP, i};
  if (r == rettable.end) return {SLOT_TEMP, capacity(rettable)};
  inexpressible();
}

u32 slot_type(Ref r) {
  u32 i = 0;
  if (in_table(vartable, r, &i) || in_table(cnstable, r, &i) || in_table(rettable, r, &i))
    return S(r)->type;
  return TY_NONE;
}

// One walk over the code page serves both passes: the first only measures
// how many variables and temporaries the records name, the second writes.
class CodeWalk {
 public:
  explicit CodeWalk(FILE* f) : f_(f) {}

  void run() {
    Ref p = codepage.base;
    const Ref end = codepage.first;
    while (p < end) p = block(p, end);
  }

  u32 nvars = 0;
  u32 ntemps = 0;

 private:
  FILE* f_;  // null in the measuring pass
  std::unordered_map<Ref, Ref> dyn_;  // parameter word -> array slot, per block

  void byte(u8 b) {
    if (f_) save_byteval(f_, b);
  }
  void word(u32 v) {
    if (f_) save_intval(f_, v);
  }

  static void need(Ref p, u32 n, Ref end) {
    if (p > end || end - p < n) inexpressible();
  }

  void count_slot(SlotRef s, u32 extent) {
    u32 top = s.index + extent;
    if (s.tag == SLOT_VAR && top > nvars) nvars = top;
    if (s.tag == SLOT_TEMP) {
      if (top > capacity(rettable)) inexpressible();
      if (top > ntemps) ntemps = top;
    }
  }

  // extent: how many slots from this one the record uses (temporary groups).
  void slot(Ref r, bool marker_ok, u32 extent = 1) {
    SlotRef s = classify(r, marker_ok);
    if (s.tag == SLOT_NONE || s.tag == SLOT_MARKER) {
      byte(s.tag);
      return;
    }
    count_slot(s, extent);
    byte(s.tag);
    word(s.index);
  }

  // A conversion is written as a convtab cell that holds its function:
  // the one its slots' types name when they are known (the source of an
  // array element has the array's type), else the first. Reused
  // temporaries keep the type of their last use, so the types may not fit.
  void conversion(u32 id, Ref result, Ref source_word) {
    if (id == C_NONE || id >= C_COUNT) inexpressible();
    u32 src = TY_NONE;
    if (source_word) {
      const Ref source = rd32(mem + source_word);
      auto it = dyn_.find(source_word);
      src = source ? slot_type(source) : it != dyn_.end() ? slot_type(it->second) : TY_NONE;
    }
    u32 dst = slot_type(result);
    if (!(src < TY_COUNT && dst < TY_COUNT && convtab[src][dst] == id)) {
      src = TY_NONE;
      for (u32 s = 0; s < TY_COUNT && src == TY_NONE; ++s)
        for (u32 d = 0; d < TY_COUNT && src == TY_NONE; ++d)
          if (convtab[s][d] == id) {
            src = s;
            dst = d;
          }
      if (src == TY_NONE) inexpressible();
    }
    byte(static_cast<u8>(src));
    byte(static_cast<u8>(dst));
  }

  Ref block(Ref p, Ref end) {
    const Ref base = codepage.base;
    dyn_.clear();
    need(p, 4, end);
    const Ref cleanup = rd32(mem + p);
    if (cleanup && (cleanup <= base || cleanup >= end)) inexpressible();
    word(cleanup ? cleanup - base : 0);
    p += 4;
    for (;;) {
      need(p, 4, end);
      if (rd32(mem + p) == END_MARK) {
        byte(POS_END);
        return p + 4;
      }
      need(p, REC_PARAMS, end);
      const u8* rec = mem + p;
      const u32 n = rec[REC_COUNT];
      need(p, REC_PARAMS + 4 * n, end);
      record(p, rec, n, end);
      p += REC_PARAMS + 4 * n;
    }
  }

  void record(Ref p, const u8* rec, u32 n, Ref end) {
    const Ref base = codepage.base;
    const Ref pos = rd32(rec + REC_POS);
    // Source positions mean nothing without the source; the labels of the
    // records the compiler adds are known to every loading program.
    byte(pos == label_tmpinit ? POS_TMPINIT : pos == label_delete ? POS_DELETE : POS_NONE);
    const u32 h = rd32(rec + REC_HANDLER);
    if (f_)
      save_opcode(f_, h);
    else if (h == H_NONE || h >= H_COUNT)
      inexpressible();
    byte(rec[REC_COUNT]);
    byte(rec[REC_EXTRA]);
    const u32 extra = rec[REC_EXTRA];
    const Ref result = rd32(rec + REC_RESULT);
    if (h == H_mvarinit) {
      if (result >= TY_COUNT) inexpressible();
      word(result);
    } else if (h == H__arrdynelem) {
      if (result <= base || result >= end) inexpressible();
      word(result - base);
      if (n >= 1) dyn_[result] = rd32(rec + REC_PARAMS);
    } else if (h == H__alltmpinits || h == H_mvardel) {
      slot(result, false, extra);
    } else {
      slot(result, false);
    }
    for (u32 i = 0; i < n; ++i) {
      const Ref w = rd32(rec + REC_PARAMS + 4 * i);
      if (h == H_convcall && i == 0) {
        conversion(w, result, n > 1 ? p + REC_PARAMS + 4 : 0);
      } else {
        slot(w, h == H_mvarinit);
      }
    }
  }
};

void save_slots(FILE* f, const TableHead& t, u32 n) {
  save_intval(f, n);
  for (u32 i = 0; i < n; ++i) {
    const VarEntry* e = S(t.base + 12 * i);
    if (e->type >= TY_COUNT) inexpressible();
    save_byteval(f, static_cast<u8>(e->type));
    save_byteval(f, static_cast<u8>(e->flags));
  }
}

}  // namespace

void save_codepage(FILE* f) {
  CodeWalk measure(nullptr);
  measure.run();
  write_cpmarker(f);
  write_cplength(f);
  chsume = 0;
  save_byteval(f, optimtmpvarinit ? 1 : 0);
  save_slots(f, vartable, measure.nvars);
  save_slots(f, rettable, measure.ntemps);
  CodeWalk write(f);
  write.run();
  write_chsume(f);
}

}  // namespace writer

// ---- the whole file ----------------------------------------------------------------

// The program goes to a temporary file beside the target, which replaces
// the target only once it is complete (replace_file.h): a failed or
// interrupted save leaves neither a truncated program nor a lost older one.
u32 save_program(const char* path) {
  FileReplacement out;
  const int fd = out.start(path, SAVE_MARKER, true);
  if (fd < 0) return 0;
  // The stream writes through a descriptor of its own, which it closes;
  // the replacement's stays for the end.
  const int own = dup(fd);
  FILE* f = own >= 0 ? fdopen(own, "wb") : nullptr;
  if (!f) {
    const int e = errno;
    if (own >= 0) close(own);
    out.finish(e, false);
    errno = e;
    return 0;
  }
  int err = 0;
  try {
    errno = 0;
    writer::save_codepage(f);
    writer::save_constants(f);
    if (std::fflush(f) != 0) writer::savonerror();
  } catch (const SaveError&) {
    err = errno ? errno : EIO;
  }
  if (std::fclose(f) != 0 && !err) err = errno ? errno : EIO;
  if ((err = out.finish(err, true)) != 0) {
    errno = err;
    return 0;
  }
  return 1;
}

namespace {

// The source path with its extension replaced by ".cp", or ".cp" appended
// when its last component has none.
std::string cp_path(const char* path) {
  std::string p = path;
  size_t slash = p.rfind('/');
  size_t name = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = p.rfind('.');
  if (dot != std::string::npos && dot > name) p.erase(dot);
  return p + ".cp";
}

}  // namespace

void save_compiled(const char* source_path) {
  const std::string cp = cp_path(source_path);
  if (!save_program(cp.c_str())) {
    std::perror(cp.c_str());
    final_exit(1);
  }
}

}  // namespace qv
