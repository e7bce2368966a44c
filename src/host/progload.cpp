// The compiled-program reader: rebuilds the code page, the slot tables and
// the constants from a file, and checks everything the records refer to
// before anything can run. A file is data from anywhere: no index, offset
// or length in it is trusted until it has been checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "../runtime/arena.h"
#include "../runtime/env.h"
#include "../runtime/errcodes.h"
#include "../runtime/executor.h"
#include "../runtime/functable.h"
#include "../runtime/handlers.h"
#include "progfile.h"
#include "progsect.h"

namespace qv {

namespace reader {

u32 chsume = 0;
bool check_sums = true;

namespace {

// What the code section said, kept for the checks that need the constants.
struct CodeMap {
  bool loaded = false;
  u8 mode = 1;
  u32 length = 0;
  u32 nvars = 0;
  u32 ntemps = 0;
  std::vector<std::pair<u32, u32>> blocks;  // [start, end) offsets, ascending
};
CodeMap code;

Ref entry_loading = 0;  // the constant being loaded, 0 outside load_constants

[[noreturn]] void refuse(u32 code_) {
  if_c_error = code_;
  errno = 0;
  lodonerror();
}

// A file that ends inside a section is a damaged file, not a read error:
// errno would only say "Success".
[[noreturn]] void short_read(FILE* f) {
  if (!std::ferror(f) && if_c_error == 0) {
    if_c_error = E_PROG_RECORD;
    errno = 0;
  }
  lodonerror();
}

void get(FILE* f, void* bytes, size_t n) {
  if (n == 0 || std::fread(bytes, 1, n, f) != n) short_read(f);
}

u32 get32(FILE* f) {
  u8 b[4];
  get(f, b, 4);
  return b[0] | (u32{b[1]} << 8) | (u32{b[2]} << 16) | (u32{b[3]} << 24);
}

inline u32 sext(u8 b) { return static_cast<u32>(static_cast<i32>(static_cast<std::int8_t>(b))); }

u32 capacity(const TableHead& t) { return (t.end - t.base) / 12; }

}  // namespace

void lodonerror() {
  const u32 code_ = if_c_error;
  const int err = errno;
  if (entry_loading) {
    cnstable.next = entry_loading;
    entry_loading = 0;
  }
  if (cnstable.next > cnstable.base) erase_consts();
  if_c_error = code_;
  errno = err;
  throw LoadError{};
}

void read_marker(FILE* f, const char* label) {
  char head[sizeof proglabel];
  get(f, head, sizeof head);
  if (std::memcmp(head, proglabel, sizeof proglabel) != 0) refuse(E_PROG_LABEL);
  char section[sizeof codelabel];
  get(f, section, sizeof section);
  if (std::memcmp(section, label, sizeof codelabel) != 0) refuse(E_PROG_LABEL);
}

u32 read_length(FILE* f) { return get32(f); }

u32 read_chsume(FILE* f) { return get32(f); }

i32 load_byteval(FILE* f) {
  u8 b;
  get(f, &b, 1);
  chsume += sext(b);
  return static_cast<std::int8_t>(b);
}

u32 load_intval(FILE* f) {
  const u32 v = get32(f);
  chsume += v;
  return v;
}

u32 load_cnbuffer(FILE* f, u8* bytes, u32 length) {
  if (length == 0 || std::fread(bytes, 1, length, f) != length) return 0;
  for (u32 i = 0; i < length; ++i) chsume += sext(bytes[i]);
  return 1;
}

// The restore cursor is the code page's write cursor; it may not pass the
// code page's limit.
void rst_pointer(u32 word) {
  if (codepage.first > codepage.next || codepage.next - codepage.first < 4) throw EndCode{};
  wr32(mem + codepage.first, word);
  codepage.first += 4;
}

void rst_byteval(u8 byte) {
  if (codepage.first >= codepage.next) throw EndCode{};
  mem[codepage.first++] = byte;
}

void rst_endblock() { rst_pointer(END_MARK); }

// assign and comp are no record handlers (they have another signature), so
// a reference to those slots names nothing that a record could call.
u32 load_opcode(FILE* f) {
  const u8 tag = static_cast<u8>(load_byteval(f));
  u32 h = H_NONE;
  if (tag == OPREF_SYSFUNC) {
    const u32 i = load_intval(f);
    if (i >= SYSFUNC_COUNT) refuse(E_PROG_RECORD);
    h = sysfuncs[i];
  } else if (tag == OPREF_FUNCENT) {
    const u32 i = load_intval(f);
    if (i >= FUNC_COUNT) refuse(E_PROG_RECORD);
    h = funcent[i].handler;
  } else if (tag == OPREF_TYPESLOT) {
    const u8 slot = static_cast<u8>(load_byteval(f));
    if (slot > 4) refuse(E_PROG_RECORD);
    const u32 t = load_intval(f);
    if (t >= TY_COUNT) refuse(E_PROG_RECORD);
    const TypeEntry& e = typent[t];
    h = slot == 0 ? e.init : slot == 1 ? e.clr : slot == 4 ? e.del : H_NONE;
    if (h == H_NONE) refuse(E_PROG_RECORD);
  } else {
    refuse(E_PROG_RECORD);
  }
  rst_pointer(h);
  return h;
}

// ---- the data section -------------------------------------------------------------------

namespace {

bool is_block_start(u32 off) {
  auto it = std::lower_bound(code.blocks.begin(), code.blocks.end(), std::make_pair(off, 0u));
  return it != code.blocks.end() && it->first == off;
}

// A block constant is the empty block or a block that the code section
// rebuilt; anything else would run bytes that are no records.
bool block_form_ok(Ref bytes) {
  const u32 off = rd32(mem + bytes);
  const u32 second = rd32(mem + bytes + 4);
  if (off == 0 && second == END_MARK) return true;
  return second == 0 && is_block_start(off);
}

void load_entry(FILE* f, Ref e) {
  VarEntry* slot = S(e);
  const u32 t = load_intval(f);
  if (t >= TY_COUNT) refuse(E_PROG_RECORD);
  slot->type = t;
  const u32 length = load_intval(f);
  const TypeEntry& type = typent[t];
  Exchange x{0, length, 0};
  if (type.flags & T_INSLOT) {
    // The value word itself: exactly its four bytes.
    if (length != 4) refuse(E_PROG_RECORD);
    if (!load_cnbuffer(f, mem + e, 4)) short_read(f);
    x.bytes = e;
    if (!type.mkld(&x, slot)) {
      if (!if_c_error) if_c_error = E_NO_MEMORY;
      lodonerror();
    }
  } else {
    // A str holds at most 256 characters and its NUL; a block is two words.
    const u32 least = t == TY_BLOCK ? 8 : 1;
    const u32 most = t == TY_BLOCK ? 8 : STR_BUFSIZE;
    if (length < least || length > most) refuse(E_PROG_RECORD);
    // One byte more than the representation: a str's NUL at its limit.
    const Ref buf = arena_alloc(length + 1);
    if (!buf) refuse(E_NO_MEMORY);
    if (!load_cnbuffer(f, mem + buf, length)) {
      arena_free(buf, length + 1);
      short_read(f);
    }
    mem[buf + length] = 0;
    if (t == TY_BLOCK && !block_form_ok(buf)) {
      arena_free(buf, length + 1);
      refuse(E_PROG_RECORD);
    }
    x.bytes = buf;
    x.flags &= static_cast<u8>(~X_RELEASE);
    if (!type.mkld(&x, slot)) {
      arena_free(buf, length + 1);
      if (!if_c_error) if_c_error = E_NO_MEMORY;
      lodonerror();
    }
    if (x.flags & X_RELEASE) arena_free(buf, length + 1);
  }
  slot->flags = (slot->flags | V_CONST) & ~V_EMPTY;
}

}  // namespace

void load_constants(FILE* f) {
  read_marker(f, datalabel);
  const u32 n = read_length(f);
  chsume = 0;
  if (n > capacity(cnstable)) {
    cnstable.next = cnstable.base;
    refuse(E_TOO_MANY_DATA);
  }
  cnstable.first = cnstable.base;
  cnstable.next = cnstable.base + 12 * n;
  for (Ref e = cnstable.base; e < cnstable.next; e += 12) {
    entry_loading = e;
    load_entry(f, e);
  }
  entry_loading = 0;
  if (read_chsume(f) != chsume && check_sums) refuse(E_DATA_CHECKSUM);
}

// ---- the code section -------------------------------------------------------------------

namespace {

// Slots come back empty, typed and flagged as the compiler left them, so
// that the run gives them values exactly as a compiled run would.
u32 load_slots(FILE* f, TableHead& t, bool temps) {
  const u32 n = load_intval(f);
  if (n > capacity(t)) refuse(E_TOO_MANY_DATA);
  for (u32 i = 0; i < n; ++i) {
    const u8 type = static_cast<u8>(load_byteval(f));
    const u8 flags = static_cast<u8>(load_byteval(f));
    if (type >= TY_COUNT) refuse(E_PROG_RECORD);
    const bool ok = temps ? flags == (V_EMPTY | V_TEMP)
                          : (flags & V_EMPTY) && !(flags & ~(V_EMPTY | V_ARRAY));
    if (!ok) refuse(E_PROG_RECORD);
    VarEntry* v = S(t.base + 12 * i);
    v->value = 0;
    v->type = type;
    v->flags = flags;
  }
  return n;
}

void load_slotword(FILE* f, bool marker_ok) {
  const u8 tag = static_cast<u8>(load_byteval(f));
  if (tag == SLOT_NONE) return rst_pointer(0);
  if (tag == SLOT_MARKER) {
    if (!marker_ok) refuse(E_PROG_RECORD);
    return rst_pointer(END_MARK);
  }
  const TableHead* t = tag == SLOT_VAR ? &vartable
                       : tag == SLOT_CONST ? &cnstable
                       : tag == SLOT_TEMP  ? &rettable
                                           : nullptr;
  if (!t) refuse(E_PROG_RECORD);
  const u32 i = load_intval(f);
  // A block's temporaries start may stand one past the table's end when
  // the block has none of its own.
  if (i > capacity(*t) || (i == capacity(*t) && tag != SLOT_TEMP)) refuse(E_PROG_RECORD);
  rst_pointer(t->base + 12 * i);
}

void load_record(FILE* f, u8 pos) {
  rst_pointer(pos == POS_TMPINIT ? label_tmpinit : pos == POS_DELETE ? label_delete : 0);
  const u32 h = load_opcode(f);
  const u8 n = static_cast<u8>(load_byteval(f));
  const u8 extra = static_cast<u8>(load_byteval(f));
  rst_byteval(n);
  rst_byteval(extra);
  if (h == H_mvarinit) {
    const u32 type = load_intval(f);
    if (type >= TY_COUNT) refuse(E_PROG_RECORD);
    rst_pointer(type);
  } else if (h == H__arrdynelem) {
    const u32 off = load_intval(f);
    if (off >= code.length) refuse(E_PROG_RECORD);
    rst_pointer(codepage.base + off);
  } else {
    load_slotword(f, false);
  }
  for (u32 i = 0; i < n; ++i) {
    if (h == H_convcall && i == 0) {
      const u8 src = static_cast<u8>(load_byteval(f));
      const u8 dst = static_cast<u8>(load_byteval(f));
      if (src >= TY_COUNT || dst >= TY_COUNT || !convtab[src][dst]) refuse(E_PROG_RECORD);
      rst_pointer(convtab[src][dst]);
    } else {
      load_slotword(f, h == H_mvarinit);
    }
  }
}

void load_block(FILE* f, Ref end) {
  const Ref start = codepage.first;
  const u32 cleanup = load_intval(f);
  if (cleanup >= code.length) refuse(E_PROG_RECORD);
  rst_pointer(cleanup ? codepage.base + cleanup : 0);
  for (;;) {
    if (codepage.first >= end) refuse(E_PROG_RECORD);
    const u8 pos = static_cast<u8>(load_byteval(f));
    if (pos == POS_END) break;
    if (pos > POS_DELETE) refuse(E_PROG_RECORD);
    load_record(f, pos);
  }
  rst_endblock();
  code.blocks.emplace_back(start - codepage.base, codepage.first - codepage.base);
}

}  // namespace

void load_codepage(FILE* f) {
  read_marker(f, codelabel);
  const u32 length = read_length(f);
  chsume = 0;
  code = CodeMap{};
  codepage.first = codepage.base;
  if (length > codepage.next - codepage.base) refuse(E_CODE_TOO_LARGE);
  code.length = length;
  const Ref end = codepage.base + length;
  try {
    const u8 mode = static_cast<u8>(load_byteval(f));
    if (mode > 1) refuse(E_PROG_RECORD);
    code.mode = mode;
    code.nvars = load_slots(f, vartable, false);
    vartable.first = vartable.next = vartable.base + 12 * code.nvars;
    code.ntemps = load_slots(f, rettable, true);
    rettable.first = rettable.base;
    rettable.next = rettable.base + 12 * code.ntemps;
    while (codepage.first < end) load_block(f, end);
  } catch (const EndCode&) {
    refuse(E_CODE_TOO_LARGE);
  }
  if (codepage.first != end) refuse(E_PROG_RECORD);
  if (read_chsume(f) != chsume && check_sums) refuse(E_CODE_CHECKSUM);
  code.loaded = true;
}

void reset() {
  code = CodeMap{};
  entry_loading = 0;
}

// ---- checking what the records refer to ---------------------------------------------

namespace {

enum Table : u8 { T_NONE, T_VAR, T_CONST, T_TEMP };

struct Slot {
  bool ok = false;
  Table table = T_NONE;
  bool dynamic = false;  // an array element whose address a record fills in
  bool array = false;    // a whole array variable
  u32 type = TY_NONE;
  Ref ref = 0;
  u32 index = 0;
  bool is_var() const { return ok && (table == T_VAR || dynamic); }
};

bool index_in(const TableHead& t, Ref r, u32 count, u32* index) {
  if (r < t.base || r >= t.base + 12 * count || (r - t.base) % 12) return false;
  *index = (r - t.base) / 12;
  return true;
}

class Checker {
 public:
  void run() {
    nconsts_ = (cnstable.next - cnstable.base) / 12;
    reuse_ = code.mode == 0;
    const VarEntry* main = S(cnstable.base);
    if (!code.loaded || code.blocks.empty() || nconsts_ == 0 || main->type != TY_BLOCK ||
        main->value != codepage.base)
      refuse(E_PROG_RECORD);
    find_arrays();
    for (const auto& b : code.blocks) block(b.first, b.second);
  }

 private:
  u32 nconsts_ = 0;
  // Without the temporaries optimisation a temporary is reused with other
  // types: it has a type only between its init record and its deletion,
  // and only the init record says which.
  bool reuse_ = false;
  std::unordered_map<Ref, u32> live_;              // temporary -> type, per block
  std::unordered_set<Ref> arrays_;                  // array variables, by declaration
  std::unordered_map<Ref, Ref> dyn_;               // parameter word -> array slot
  std::unordered_map<Ref, size_t> param_words_;    // parameter word -> record number
  std::vector<Ref> recs_;

  // Walks the records of the rebuilt code page (its shape is the decoder's).
  template <class Fn>
  void each_record(u32 start, u32 end, Fn fn) {
    Ref p = codepage.base + start + 4;
    const Ref stop = codepage.base + end;
    while (p + 4 <= stop && rd32(mem + p) != END_MARK) {
      fn(p);
      p += rec_size(mem + p);
    }
  }

  static Ref word(Ref rec, u32 i) { return rd32(mem + rec + REC_PARAMS + 4 * i); }

  // An array variable is one that a declaration declares as an array.
  void find_arrays() {
    for (const auto& b : code.blocks)
      each_record(b.first, b.second, [&](Ref rec) {
        if (rd32(mem + rec + REC_HANDLER) != H_mvarinit) return;
        const u32 n = mem[rec + REC_COUNT];
        for (u32 i = 0; i + 2 < n; ++i)
          if (word(rec, i) == END_MARK) arrays_.insert(word(rec, i + 2));
      });
  }

  // The slot as the record uses it: a live temporary has the type of its
  // init record; other slots keep the type they were loaded with.
  Slot slot(Ref w, Ref where) {
    Slot s = table_slot(w);
    if (w == 0) {
      auto it = dyn_.find(where);
      if (it == dyn_.end()) return s;
      s.ok = s.dynamic = true;
      s.type = S(it->second)->type;
      return s;
    }
    if (s.ok && s.table == T_TEMP && reuse_) {
      auto it = live_.find(w);
      if (it == live_.end()) return Slot{};
      s.type = it->second;
    }
    return s;
  }

  Slot table_slot(Ref w) {
    Slot s;
    s.ref = w;
    u32 i = 0;
    if (w == 0) return s;
    if (index_in(vartable, w, code.nvars, &i))
      s.table = T_VAR;
    else if (index_in(cnstable, w, nconsts_, &i))
      s.table = T_CONST;
    else if (index_in(rettable, w, code.ntemps, &i))
      s.table = T_TEMP;
    else
      return s;
    s.ok = true;
    s.index = i;
    s.type = S(w)->type;
    s.array = s.table == T_VAR && arrays_.count(w);
    return s;
  }

  Slot param(Ref rec, u32 i) { return slot(word(rec, i), rec + REC_PARAMS + 4 * i); }

  static void need(bool ok) {
    if (!ok) refuse(E_PROG_RECORD);
  }

  void block(u32 start, u32 end) {
    dyn_.clear();
    live_.clear();
    param_words_.clear();
    recs_.clear();
    each_record(start, end, [&](Ref rec) {
      const u32 n = mem[rec + REC_COUNT];
      for (u32 i = 0; i < n; ++i) param_words_[rec + REC_PARAMS + 4 * i] = recs_.size();
      recs_.push_back(rec);
    });
    // The clean-up word names a record's handler field in this block.
    const Ref cleanup = rd32(mem + codepage.base + start);
    if (cleanup)
      need(std::find(recs_.begin(), recs_.end(), cleanup - REC_HANDLER) != recs_.end());
    for (size_t k = 0; k < recs_.size(); ++k) record(k, recs_[k]);
  }

  // A group of temporaries: the record's result names the first, the extra
  // count how many; none at all may name the slot one past the table.
  void temp_group(Ref rec) {
    const Ref first = rd32(mem + rec + REC_RESULT);
    const u32 extra = mem[rec + REC_EXTRA];
    if (first == 0) return need(extra == 0);
    need(first >= rettable.base && (first - rettable.base) % 12 == 0);
    const u32 i = (first - rettable.base) / 12;
    need(i <= code.ntemps && extra <= code.ntemps - i);
  }

  // An init record gives one temporary its type for the uses that follow;
  // int and uint share their init, which takes the type from the extra
  // count. Only code compiled without the optimisation has such records.
  void temp_init(Ref rec, u32 h, u32 n, Ref result) {
    need(reuse_ && n == 1 && result == 0);
    const Ref w = word(rec, 0);
    Slot s = table_slot(w);
    need(s.ok && s.table == T_TEMP && !live_.count(w));
    u32 type = TY_NONE;
    if (h == typent[TY_INT].init) {
      const u32 named = mem[rec + REC_EXTRA] - 1u;
      need(named == TY_INT || named == TY_UINT);
      type = named;
    } else {
      for (u32 t = 0; t < TY_COUNT && type == TY_NONE; ++t)
        if (typent[t].init == h) type = t;
    }
    need(type < TY_COUNT);
    live_[w] = type;
  }

  static bool slot_handler_of(u32 h, u32 type) {
    const TypeEntry& e = typent[type];
    return h == e.init || h == e.clr || h == e.del;
  }

  static bool is_slot_handler(u32 h) {
    for (u32 t = 0; t < TY_COUNT; ++t)
      if (slot_handler_of(h, t)) return true;
    return false;
  }

  static const FuncEntry* operation(u32 h) {
    for (u32 i = 1; i < FUNC_COUNT; ++i)
      if (funcent[i].handler == h) return &funcent[i];
    return nullptr;
  }

  void record(size_t k, Ref rec) {
    const u32 h = rd32(mem + rec + REC_HANDLER);
    const u32 n = mem[rec + REC_COUNT];
    const Ref result = rd32(mem + rec + REC_RESULT);
    if (h == H_mvarinit) return declaration(rec, n, result);
    if (h == H_convcall) {
      need(n == 2);
      Slot dst = slot(result, 0), src = param(rec, 1);
      need(dst.ok && !dst.dynamic && (dst.table == T_TEMP || dst.table == T_VAR) && !dst.array);
      need(src.ok && !src.array);
      return need(convtab[src.type][dst.type] == word(rec, 0));
    }
    if (h == H__arrdynelem || h == H__arrindexing) {
      need(n == 2);
      Slot arr = param(rec, 0), index = param(rec, 1);
      need(arr.ok && arr.array && !arr.dynamic);
      need(index.ok && !index.array && index.type == TY_INT);
      if (h == H__arrindexing) {
        Slot dst = slot(result, 0);
        return need(dst.ok && !dst.dynamic && dst.table != T_CONST && !dst.array &&
                    dst.type == arr.type);
      }
      // The element's address goes into a parameter word of a later record,
      // one that the file left empty for it.
      auto it = param_words_.find(result);
      need(it != param_words_.end() && it->second > k && rd32(mem + result) == 0);
      dyn_[result] = arr.ref;
      return;
    }
    if (h == H__alltmpinits) {
      need(n == 0 && !reuse_);
      return temp_group(rec);
    }
    if (h == H_mvardel) {
      temp_group(rec);
      need(!reuse_ || mem[rec + REC_EXTRA] == 0);
      for (u32 i = 0; i < n; ++i) {
        Slot s = param(rec, i);
        need(s.ok && !s.dynamic && (s.table == T_VAR || s.table == T_TEMP));
        if (reuse_ && s.table == T_TEMP) live_.erase(s.ref);
      }
      return;
    }
    if (is_slot_handler(h)) return temp_init(rec, h, n, result);
    const FuncEntry* op = operation(h);
    need(op != nullptr);
    operation_call(*op, rec, n, result);
  }

  // Items: variables of the declared type, each optionally followed by an
  // initial value of that type; or marker, int size, array variable.
  void declaration(Ref rec, u32 n, u32 type) {
    need(type < TY_COUNT && n >= 1);
    bool after_var = false;
    for (u32 i = 0; i < n;) {
      if (word(rec, i) == END_MARK) {
        need(i + 2 < n);
        Slot size = param(rec, i + 1), arr = param(rec, i + 2);
        need(size.ok && !size.array && size.type == TY_INT);
        need(arr.ok && arr.array && !arr.dynamic && arr.type == type);
        after_var = false;
        i += 3;
        continue;
      }
      Slot s = param(rec, i);
      need(s.ok && !s.dynamic && s.type == type);
      if (s.table == T_VAR) {
        need(!s.array);
        after_var = true;
      } else {
        need(after_var);
        after_var = false;
      }
      ++i;
    }
  }

  struct Expect {
    u32 type;
    u8 flags;
  };

  static ParDesc desc(const FuncEntry& op, u32 i) {
    return op.params ? op.params[i] : ParDesc{TY_NONE, 0};
  }

  // The type and flags the compiler demands of parameter i (its selector
  // of F_SAMETYPE, F_VARPARS and maxParams); TY_NONE leaves the type free.
  static Expect expect(const FuncEntry& op, u32 i, u32 first_type) {
    const bool same = op.flags & F_SAMETYPE, var = op.flags & F_VARPARS;
    const u32 min = op.minParams, last = min ? min - 1 : 0;
    const u32 first = i == 0 ? TY_NONE : first_type;
    if (same && var) {
      ParDesc d = desc(op, std::min(i, last));
      return {d.type, d.flags};
    }
    if (op.maxParams == 0) {
      if (var) return {TY_NONE, 0};
      return {same ? first : desc(op, i).type, desc(op, i).flags};
    }
    if (var) return {desc(op, i).type, desc(op, i).flags};
    if (same) return {first, desc(op, std::min(i, last)).flags};
    if (i < min) return {desc(op, i).type, desc(op, i).flags};
    for (u32 k = last; k < op.maxParams; ++k)
      if (desc(op, k).type == TY_NONE) return {TY_NONE, desc(op, k).flags};
    return {TY_NONE, 0};
  }

  // The operand whose type the result takes when the row names none.
  static u32 deciding(const FuncEntry& op, u32 n) {
    if (op.maxParams && !(op.flags & (F_VARPARS | F_SAMETYPE))) {
      for (u32 i = 0; i < n; ++i)
        if (i >= op.minParams || desc(op, i).type == TY_NONE) return i;
      return n;
    }
    return 0;
  }

  void operation_call(const FuncEntry& op, Ref rec, u32 n, Ref result) {
    const u32 most = op.maxParams ? op.maxParams : (op.flags & F_VARPARS) ? 32 : op.minParams;
    need(n >= op.minParams && n <= most);
    const u32 first_type = n ? param(rec, 0).type : TY_NONE;
    for (u32 i = 0; i < n; ++i) {
      Slot s = param(rec, i);
      const Expect e = expect(op, i, first_type);
      need(s.ok);
      need(e.type == TY_NONE || s.type == e.type);
      need(!(e.flags & P_VARONLY) || s.is_var());
      need(!s.array || (e.flags & P_ARRAY));
    }
    if (!(op.flags & F_RESULT)) return need(result == 0);
    if (result == 0) return;
    Slot r = slot(result, 0);
    need(r.ok && r.table == T_TEMP);
    if (op.resultType != TY_NONE) return need(r.type == op.resultType);
    if (op.flags & F_DYNAMIC || delivers_converted(op)) return;
    const u32 d = deciding(op, n);
    if (d < n) need(r.type == param(rec, d).type);
  }
};

}  // namespace

void check_program() {
  Checker c;
  c.run();
}

}  // namespace reader

namespace {

// After a refused load nothing of the file may stay behind: the constants
// are erased already, the code page and the slots go back to empty.
void forget_program() {
  codepage.first = codepage.base;
  for (TableHead* t : {&vartable, &rettable}) {
    for (Ref e = t->base; e < t->end; e += 12) *S(e) = VarEntry{0, 0, V_EMPTY};
    t->first = t->next = t->base;
  }
  cnstable.first = cnstable.next = cnstable.base;
  reader::reset();
}

}  // namespace

// mode is the driver's 0; no other mode exists.
u32 load_program(const char* path, int) {
  if_c_error = E_NONE;
  reader::reset();
  // Opened without waiting, and read only when it is a regular file: a
  // named pipe without a writer would otherwise block for ever.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st {};
  int refused = 0;
  if (fstat(fd, &st) != 0)
    refused = errno;
  else if (S_ISDIR(st.st_mode))
    refused = EISDIR;
  else if (!S_ISREG(st.st_mode))
    refused = EINVAL;
  if (refused) {
    close(fd);
    errno = refused;
    return 0;
  }
  FILE* f = fdopen(fd, "rb");
  if (!f) {
    const int err = errno;
    close(fd);
    errno = err;
    return 0;
  }
  u32 ok = 1;
  try {
    reader::load_codepage(f);
    reader::load_constants(f);
    reader::check_program();
    // Whatever follows the data section is no part of a program.
    if (std::fgetc(f) != EOF) {
      if_c_error = E_PROG_RECORD;
      errno = 0;
      reader::lodonerror();
    }
    if (std::ferror(f)) reader::lodonerror();
  } catch (const LoadError&) {
    ok = 0;
  }
  const int err = errno;
  std::fclose(f);
  errno = err;
  if (!ok) {
    forget_program();
    return 0;
  }
  optimtmpvarinit = reader::code.mode;
  return 1;
}

}  // namespace qv
