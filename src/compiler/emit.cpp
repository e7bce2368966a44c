#include "emit.h"

#include <cstring>

#include "lexer.h"
#include "../runtime/arena.h"
#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"

namespace qv {

namespace {

constexpr u32 ENTRY = 12;  // bytes of a VarEntry

void put32(u32 v) {
  check_codepage(4);
  wr32(mem + codepage.first, v);
  codepage.first += 4;
}

// The count and extra count of a record: one byte pair.
void put_pair(u32 count, u32 extra) {
  check_codepage(2);
  mem[codepage.first] = static_cast<u8>(count);
  mem[codepage.first + 1] = static_cast<u8>(extra);
  codepage.first += 2;
}

VarEntry* take(TableHead& t) {
  VarEntry* v = S(t.next);
  t.next += ENTRY;
  return v;
}

void set_flags(VarEntry* v, u32 set, u32 clear) { v->flags = (v->flags & ~clear) | set; }

bool same_name(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace

void compilerror(u32 code) {
  erase_consts();
  vartable.next = vartable.first;
  varname.next = varname.first;
  rettable.next = rettable.base;
  codepage.first = codepage.base;
  throw CompileError{code};
}

void check_codepage(u32 bytes) {
  if (static_cast<u64>(codepage.first) + bytes > codepage.next) compilerror(E_CODE_PAGE);
}

void add_debugptr(Ref position) { put32(position); }

void add_operation(const FuncEntry& f, u32 count, Ref result, const u32* words, u32 stmt,
                   const u8* marks, bool infix) {
  put32(f.handler);
  put_pair(count, infix ? 2 : 0);
  put32(stmt && !(f.flags & F_TYPED) ? 0 : result);
  for (u32 k = 0; k < count; ++k) {
    if (marks[k]) {
      check_codepage(4);
      wr32(mem + words[k], codepage.first);
      put32(0);
    } else {
      put32(words[k]);
    }
  }
}

Ref add_convcall(u32 conv, Ref dest, Ref src) {
  put32(last_lexema);
  put32(H_convcall);
  put_pair(2, 1);
  put32(dest);
  put32(conv);
  const Ref srcword = codepage.first;
  put32(src);
  return srcword;
}

Ref add_dynelem(Ref position, u32 index, Ref array) {
  put32(position);
  put32(H__arrdynelem);
  put_pair(2, 0);
  const Ref resword = codepage.first;
  put32(0);
  put32(array);
  put32(index);
  return resword;
}

Ref add_initop(const Ref* slots, u32 n) {
  const u32 type = S(slots[0])->type;
  const Ref rec = codepage.first;
  put32(last_lexema);
  put32(type < TY_COUNT ? typent[type].init : H_NONE);
  put_pair(n, type < TY_COUNT ? type + 1 : 0);
  put32(0);
  for (u32 k = 0; k < n; ++k) put32(slots[k]);
  return rec;
}

Ref add_alltmpinits() {
  put32(label_tmpinit);
  put32(H__alltmpinits);
  const Ref countbyte = codepage.first;
  put_pair(0, 0);
  put32(rettable.first);
  return countbyte;
}

Ref add_delvars(TableHead& table, Ref mark) {
  const u32 temps = optimtmpvarinit ? (rettable.next - rettable.first) / ENTRY : 0;
  const u32 n = (table.next - mark) / table.entrySize;
  if (n == 0 && temps == 0) return 0;
  // Both counts are single bytes; the tables' capacities keep them below
  // 256 under the driver, and add_retvar refuses a 256th temporary.
  if (n > 255 || temps > 255) compilerror(E_NESTING);
  put32(label_delete);
  const Ref handler = codepage.first;
  put32(H_mvardel);
  put_pair(n, temps);
  put32(optimtmpvarinit ? rettable.first : 0);
  for (u32 k = 0; k < n; ++k) {
    table.next -= table.entrySize;
    put32(table.next);
  }
  return handler;
}

Ref ret_high = 0;

VarEntry* add_retvar(u32 type, Ref* initrec) {
  if (rettable.next >= rettable.end) compilerror(E_NESTING);
  VarEntry* v = take(rettable);
  if (rettable.next > ret_high) ret_high = rettable.next;
  if (optimtmpvarinit && (rettable.next - rettable.first) / ENTRY > 255) compilerror(E_NESTING);
  v->type = type;
  set_flags(v, V_TEMP | V_EMPTY, V_CODE | V_CONST | V_ARRAY | V_ELEM | V_STRUCT);
  if (!optimtmpvarinit) {
    const Ref slot = ref_of(v);
    const Ref rec = add_initop(&slot, 1);
    if (initrec) *initrec = rec;
  }
  return v;
}

VarEntry* add_tabvar(const char* name, u32 type) {
  if (std::strlen(name) > NAME_CHARS) compilerror(E_STR_TOO_LONG);
  if (vartable.next >= vartable.end || varname.next >= varname.end) compilerror(E_TOO_MANY_VARS);
  VarEntry* v = take(vartable);
  vartable.first = vartable.next;
  v->type = type;
  set_flags(v, V_EMPTY, V_CODE | V_CONST | V_TEMP | V_ARRAY | V_ELEM | V_STRUCT);
  char* entry = reinterpret_cast<char*>(mem + varname.next);
  std::memset(entry, 0, NAME_SIZE);
  std::memcpy(entry, name, std::strlen(name));
  varname.next += NAME_SIZE;
  varname.first = varname.next;
  return v;
}

VarEntry* add_constant(u32 type) {
  if (cnstable.next >= cnstable.end) compilerror(E_TOO_MANY_CONSTS);
  VarEntry* v = take(cnstable);
  v->type = type;
  set_flags(v, V_CONST | V_TEMP, V_CODE | V_ARRAY | V_ELEM | V_STRUCT);
  if (!type_init(v)) compilerror(if_c_error);
  return v;
}

VarEntry* add_blconst(Ref position) {
  if (cnstable.next >= cnstable.end) compilerror(E_TOO_MANY_CONSTS);
  VarEntry* v = take(cnstable);
  v->type = TY_BLOCK;
  set_flags(v, V_CONST | V_CODE | V_TEMP, V_EMPTY | V_ARRAY | V_ELEM | V_STRUCT);
  v->value = position;
  return v;
}

const FuncEntry* is_operation() {
  const char* name = lex_text();
  for (const FuncEntry& f : funcent)
    if (same_name(f.name, name)) return &f;
  return nullptr;
}

u32 is_ifrtype() {
  const char* name = lex_text();
  for (u32 k = 0; k < TY_COUNT; ++k)
    if (same_name(typname[k], name)) return k;
  return TY_NONE;
}

VarEntry* is_variable() {
  const u32 k = _is_name(lex_text(), varname);
  return k == NO_NAME ? nullptr : S(vartable.base + k * ENTRY);
}

const LitEntry* is_constant() {
  const char* name = lex_text();
  for (u32 k = 0; k < LIT_COUNT; ++k)
    if (same_name(litname[k], name)) return &litent[k];
  return nullptr;
}

u32 _is_name(const char* name, const TableHead& table) {
  // A name longer than an entry can hold matches nothing.
  if (std::strlen(name) > NAME_CHARS) return NO_NAME;
  u32 k = 0;
  for (Ref e = table.base; e < table.next; e += table.entrySize, ++k)
    if (same_name(reinterpret_cast<const char*>(mem + e), name)) return k;
  return NO_NAME;
}

}  // namespace qv
