#include "qv_test.h"

namespace qvtest {

void fresh_env() {
  cenv_init(200, 200, 200, 200, 2048);
  reset_run_state();
  optimtmpvarinit = 1;
}

Ref place_text(const std::string& src) {
  Ref t = arena_alloc(static_cast<u32>(src.size()) + 1);
  std::memcpy(mem + t, src.data(), src.size());
  mem[t + src.size()] = 0x1A;
  return t;
}

VarEntry* take(TableHead& t, u32 type, u32 flags, u32 value) {
  VarEntry* v = S(t.next);
  t.next += 12;
  *v = VarEntry{value, type, flags};
  return v;
}

VarEntry* new_var(u32 type) {
  VarEntry* v = take(vartable, type, V_EMPTY);
  vartable.first = vartable.next;
  type_init(v);
  return v;
}

VarEntry* new_temp(u32 type) {
  VarEntry* v = take(rettable, type, V_EMPTY | V_TEMP);
  type_init(v);
  return v;
}

VarEntry* new_const(u32 type, u32 value) {
  VarEntry* v = take(cnstable, type, V_EMPTY | V_CONST | V_TEMP);
  type_init(v);
  v->value = value;
  return v;
}

VarEntry* new_str(const std::string& text, bool constant) {
  VarEntry* v = constant ? take(cnstable, TY_STR, V_EMPTY | V_CONST | V_TEMP) : new_var(TY_STR);
  if (constant) type_init(v);
  auto* d = at<StrDesc>(v->value);
  std::memcpy(mem + d->start, text.data(), text.size());
  d->end = d->start + static_cast<u32>(text.size());
  mem[d->end] = 0;
  return v;
}

std::string str_of(const VarEntry* slot) { return text_of(at<StrDesc>(slot->value)); }

StrDesc* text_record(const std::string& text, u32 cap) {
  auto* d = at<StrDesc>(arena_calloc(sizeof(StrDesc)));
  Ref buf = arena_calloc(cap + 1);
  d->start = d->cursor = buf;
  d->limit = buf + cap;
  std::memcpy(mem + buf, text.data(), text.size());
  d->end = buf + static_cast<u32>(text.size());
  return d;
}

std::string text_of(const StrDesc* d) {
  return std::string(reinterpret_cast<const char*>(mem + d->start), d->end - d->start);
}

namespace {
void put32(u32 v) {
  wr32(mem + codepage.first, v);
  codepage.first += 4;
}
}  // namespace

Ref CodeBuilder::begin_block() {
  Ref b = codepage.first;
  put32(0);
  return b;
}

Ref CodeBuilder::record(u32 handler, Ref result, std::vector<Ref> params, u8 extra, Ref position) {
  Ref r = codepage.first;
  put32(position);
  put32(handler);
  mem[codepage.first++] = static_cast<u8>(params.size());
  mem[codepage.first++] = extra;
  put32(result);
  for (Ref p : params) put32(p);
  return r;
}

void CodeBuilder::set_cleanup(Ref block, Ref record) { wr32(mem + block, record + 4); }

void CodeBuilder::end_block() { put32(END_MARK); }

VarEntry* CodeBuilder::block_slot(Ref block) {
  return take(cnstable, TY_BLOCK, V_CONST | V_CODE, block);
}

u32 callw(u32 handler, Ref result, const std::vector<u32>& words, u8 extra) {
  u32 count = static_cast<u32>(words.size()) | (u32{extra} << 8);
  return handlers[handler](result, reinterpret_cast<const u8*>(words.data()), count);
}

u32 call(u32 handler, VarEntry* result, const std::vector<VarEntry*>& params, u8 extra) {
  std::vector<u32> words;
  for (VarEntry* p : params) words.push_back(ref_of(p));
  return callw(handler, result ? ref_of(result) : 0, words, extra);
}

}  // namespace qvtest
