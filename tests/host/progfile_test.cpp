// Compiled-program files: the bytes of each field, the refusals of damaged
// and hostile files, and whole programs that go through a file and run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/driver.h"
#include "runtime/functable.h"
#include "host/progfile.h"
#include "host/progsect.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;
using Bytes = std::vector<u8>;

Bytes le(u32 v) { return {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}; }

// A section body that keeps its checksum as the format defines it.
struct Body {
  Bytes bytes;
  u32 sum = 0;
  Body& word(u32 v) {
    append(le(v));
    sum += v;
    return *this;
  }
  Body& byte(u8 b) {
    bytes.push_back(b);
    sum += u32(i32(std::int8_t(b)));
    return *this;
  }
  Body& raw(const Bytes& b) {
    for (u8 x : b) byte(x);
    return *this;
  }
  void append(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
};

// A section: program label, section label, length, body, checksum.
Bytes section(const char* label, u32 length, const Body& body) {
  // Byte by byte: GCC 12 misreads a range insert here as out of bounds.
  Bytes b;
  for (int i = 0; i < 16; ++i) b.push_back(static_cast<u8>(proglabel[i]));
  for (int i = 0; i < 12; ++i) b.push_back(static_cast<u8>(label[i]));
  Body rest;
  rest.word(length).append(body.bytes);
  rest.word(body.sum);
  b.insert(b.end(), rest.bytes.begin(), rest.bytes.end());
  return b;
}

Bytes contents(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  Bytes b;
  for (int c; (c = std::fgetc(f)) != EOF;) b.push_back(u8(c));
  return b;
}

// Runs a writer operation on a fresh stream and gives back what it wrote.
Bytes written(const std::function<void(FILE*)>& op) {
  FILE* f = std::tmpfile();
  writer::chsume = 0;
  op(f);
  Bytes b = contents(f);
  std::fclose(f);
  return b;
}

// Runs a reader operation over the bytes: 0 on success, else the code.
u32 read_with(const std::function<void(FILE*)>& op, const Bytes& b) {
  FILE* f = std::tmpfile();
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::rewind(f);
  u32 code = 0;
  if_c_error = 0;
  try {
    op(f);
  } catch (const LoadError&) {
    code = if_c_error ? if_c_error : 0xFFFF;
  }
  std::fclose(f);
  return code;
}

u32 constants() { return (cnstable.next - cnstable.base) / 12; }

VarEntry* str_const(const std::string& text) {
  VarEntry* v = S(cnstable.next);
  cnstable.next += 12;
  *v = VarEntry{0, TY_STR, V_EMPTY | V_CONST | V_TEMP};
  type_init(v);
  auto* d = at<StrDesc>(v->value);
  std::memcpy(mem + d->start, text.data(), text.size());
  d->end = d->start + u32(text.size());
  mem[d->end] = 0;
  return v;
}

class ProgFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_env();
    reader::reset();
    char tmpl[] = "/tmp/qvprogXXXXXX";
    dir_ = mkdtemp(tmpl);
    path_ = dir_ + "/prog.cp";
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string dir_, path_;
  CodeBuilder cb;
};

// Each constant is its type index, its length and its bytes; the checksum
// adds the words as words and the bytes as signed bytes.
TEST_F(ProgFile, ConstantRecordsAndChecksums) {
  struct Case {
    std::function<VarEntry*()> make;
    Body want;
    u32 sum;
  };
  const i32 pi_bytes = 0xDB - 256 + 0x0F + 0x49 + 0x40;  // signed bytes
  const Case cases[] = {
      {[] { return new_const(TY_INT, 5); }, Body().word(TY_INT).word(4).raw(le(5)), 12},
      {[] { return new_const(TY_INT, 0xFFFFFFFF); }, Body().word(TY_INT).word(4).raw(le(~0u)), 3},
      {[] { return new_const(TY_UINT, 7); }, Body().word(TY_UINT).word(4).raw(le(7)), 15},
      {[] { return new_const(TY_BOOL, 1); }, Body().word(TY_BOOL).word(4).raw(le(1)), 7},
      {[] { return new_const(TY_FLOAT, 0x40490FDB); },
       Body().word(TY_FLOAT).word(4).raw(le(0x40490FDB)), u32(5 + 4 + pi_bytes)},
      {[] { return str_const("ab"); }, Body().word(TY_STR).word(3).raw({'a', 'b', 0}), 198},
      {[this] { return cb.block_slot(END_BLOCK); },  // the empty block: offset 0, end mark
       Body().word(TY_BLOCK).word(8).raw({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), 5},
  };
  for (const Case& c : cases) {
    fresh_env();
    const VarEntry saved = *c.make();
    const std::string text = saved.type == TY_STR ? str_of(&saved) : "";
    Bytes b = written(writer::save_constants);
    EXPECT_EQ(b, section(datalabel, 1, c.want)) << saved.type;
    EXPECT_EQ(c.want.sum, c.sum) << saved.type;
    fresh_env();
    ASSERT_EQ(read_with(reader::load_constants, b), 0u);
    ASSERT_EQ(constants(), 1u);
    const VarEntry* v = S(cnstable.base);
    EXPECT_EQ(v->type, saved.type);
    EXPECT_EQ(v->flags & (V_CONST | V_EMPTY | V_CODE), saved.flags & (V_CONST | V_CODE));
    if (v->type == TY_STR)
      EXPECT_EQ(str_of(v), text);
    else
      EXPECT_EQ(v->value, saved.value);
  }
  // Only the NUL: the empty string. The last byte becomes NUL whatever it was.
  for (auto [bytes, text] : {std::pair<Bytes, std::string>{{0x00}, ""}, {{'x', 'y', 'z'}, "xy"}}) {
    fresh_env();
    Body one;
    one.word(TY_STR).word(u32(bytes.size())).raw(bytes);
    ASSERT_EQ(read_with(reader::load_constants, section(datalabel, 1, one)), 0u);
    EXPECT_EQ(str_of(S(cnstable.base)), text);
  }
}

TEST_F(ProgFile, RepresentationLengthsAreBounded) {
  struct Case {
    u32 type, length;
  };
  for (Case c : {Case{TY_INT, 3}, Case{TY_INT, 5}, Case{TY_FLOAT, 0}, Case{TY_STR, 0},
                 Case{TY_STR, 258}, Case{TY_BLOCK, 4}, Case{TY_BLOCK, 9}, Case{6, 4}}) {
    fresh_env();
    Body body;
    body.word(c.type).word(c.length).raw(Bytes(c.length, 0));
    EXPECT_EQ(read_with(reader::load_constants, section(datalabel, 1, body)), 65u)
        << "type " << c.type << " length " << c.length;
    EXPECT_EQ(constants(), 0u);
  }
  // A block lies inside the code page; its second word is 0 or the end mark.
  const u32 size = codepage.end - codepage.base;
  using P = std::pair<u32, u32>;
  for (auto [offset, second] : {P{size, 0}, P{size - 4, 0}, P{16, 7}}) {
    fresh_env();
    Body body;
    body.word(TY_BLOCK).word(8).word(offset).word(second);
    EXPECT_EQ(read_with(reader::load_constants, section(datalabel, 1, body)), 65u) << offset;
  }
  fresh_env();
  Body longest;
  longest.word(TY_STR).word(257).raw(Bytes(256, 'a')).byte(0);
  EXPECT_EQ(read_with(reader::load_constants, section(datalabel, 1, longest)), 0u);
  EXPECT_EQ(str_of(S(cnstable.base)).size(), 256u);
}

TEST_F(ProgFile, CapacityLoadsOneMoreIsRefusedAndLeavesNothing) {
  const u32 cap = (cnstable.end - cnstable.base) / 12;
  for (u32 n : {cap, cap + 1}) {
    fresh_env();
    Body body;
    for (u32 i = 0; i < n; ++i) body.word(TY_INT).word(4).raw(le(i));
    EXPECT_EQ(read_with(reader::load_constants, section(datalabel, n, body)), n > cap ? 69u : 0u);
    EXPECT_EQ(constants(), n > cap ? 0u : cap);
  }
}

TEST_F(ProgFile, DamagedRepresentationIsRefusedAfterAllRecordsAndErased) {
  str_const("hello");
  new_const(TY_INT, 42);
  Bytes b = written(writer::save_constants);
  const size_t h = 28 + 4 + 8;  // header, length, first record's type and length
  Bytes changed = b;
  changed[h + 1] ^= 0x20;
  fresh_env();
  EXPECT_EQ(read_with(reader::load_constants, changed), 68u);
  EXPECT_EQ(constants(), 0u);
  EXPECT_TRUE(S(cnstable.base)->flags & V_EMPTY);  // erased through its del
  // A plain sum cannot see two bytes change places.
  Bytes swapped = b;
  std::swap(swapped[h], swapped[h + 1]);
  fresh_env();
  EXPECT_EQ(read_with(reader::load_constants, swapped), 0u);
  EXPECT_EQ(str_of(S(cnstable.base)), "ehllo");
}

TEST_F(ProgFile, BadLabelIsRefusedBeforeAnythingIsRead) {
  new_const(TY_INT, 1);
  Bytes b = written(writer::save_constants);
  for (size_t at : {size_t(0), size_t(14), size_t(15), size_t(20), size_t(27)}) {
    Bytes bad = b;
    bad[at] ^= 1;
    fresh_env();
    EXPECT_EQ(read_with(reader::load_constants, bad), 64u) << at;
    EXPECT_EQ(constants(), 0u);
  }
  fresh_env();
  EXPECT_EQ(read_with(reader::load_constants, written(writer::save_codepage)), 64u);
}

TEST_F(ProgFile, OperationReferences) {
  struct Case {
    u32 handler;
    Bytes bytes;
    u32 sum;
  };
  const Case cases[] = {
      {H__flushDisplay, {0x01, 0x72, 0, 0, 0}, 115},
      {H_mvardel, {0x00, 0x01, 0, 0, 0}, 1},
      {H_l_int_del, {0x02, 0x04, 0x03, 0, 0, 0}, 9},
      {H_l_int_init, {0x02, 0x00, 0x03, 0, 0, 0}, 5},  // also int's clr
      {H_mvarinit, {0x01, 0, 0, 0, 0}, 1},
      {H__arrdynelem, {0x00, 0x04, 0, 0, 0}, 4},
      {H_l_plusassgn, {0x01, 21, 0, 0, 0}, 22},  // "+=" before "=+"
      {H_l_st_clr, {0x02, 0x01, 0x00, 0, 0, 0}, 3},
  };
  for (const Case& c : cases) {
    Bytes b = written([&](FILE* f) { writer::save_opcode(f, c.handler); });
    EXPECT_EQ(b, c.bytes) << c.handler;
    EXPECT_EQ(writer::chsume, c.sum) << c.handler;
    codepage.first = codepage.base;
    reader::chsume = 0;
    u32 h = 0;
    EXPECT_EQ(read_with([&](FILE* f) { h = reader::load_opcode(f); }, b), 0u);
    EXPECT_EQ(h, c.handler);
    EXPECT_EQ(rd32(mem + codepage.base), c.handler);
    EXPECT_EQ(reader::chsume, c.sum);
  }
}

TEST_F(ProgFile, BadOperationReferencesAreRefused) {
  // Tags 3 and 255; past funcent, sysfuncs and typent; slot 5 and -1;
  // "assign" and "comp", which have no record handler; an index far out.
  const Bytes bad[] = {
      {0x03, 0, 0, 0, 0},    {0xFF, 0, 0, 0, 0},       {0x01, 127, 0, 0, 0},
      {0x00, 5, 0, 0, 0},    {0x02, 0, 6, 0, 0, 0},    {0x02, 5, 3, 0, 0, 0},
      {0x02, 0xFF, 3, 0, 0, 0}, {0x02, 2, 3, 0, 0, 0}, {0x02, 3, 0, 0, 0, 0},
      {0x01, 0, 0, 0, 0x80},
  };
  for (const Bytes& b : bad) {
    codepage.first = codepage.base;
    EXPECT_EQ(read_with([](FILE* f) { reader::load_opcode(f); }, b), 65u) << int(b[0]);
  }
  codepage.first = codepage.base;
  EXPECT_EQ(read_with([](FILE* f) { reader::load_opcode(f); }, {0x01, 0x72, 0}), 65u);
}

TEST_F(ProgFile, HandlerOutsideEveryTableCannotBeSaved) {
  errno = 0;
  EXPECT_THROW(written([](FILE* f) { writer::save_opcode(f, H_NONE); }), SaveError);
  EXPECT_EQ(errno, EINVAL);
}

class Program : public ProgFile {
 protected:
  VarEntry* main_ = nullptr;
  VarEntry *i_ = nullptr, *a_ = nullptr, *t_ = nullptr, *five_ = nullptr, *inner_ = nullptr;
  Ref main_block_ = 0, inner_block_ = 0, decl_ = 0, plus_ = 0, assign_ = 0, exec_ = 0;
  Ref elem_ = 0, store_ = 0, index_ = 0;

  static VarEntry* take(TableHead& t, u32 type, u32 flags) {
    VarEntry* v = S(t.next);
    t.next += 12;
    *v = VarEntry{0, type, flags};
    return v;
  }

  // int i 5 a[5]; i = (+ i 5); a[1] = i; i = a[1]; exec { puts "ab" } -- as the
  // compiler leaves it: variables and temporaries typed and empty; the
  // element record puts the element's address into the word of "=".
  void build() {
    main_ = cb.block_slot(0);
    i_ = take(vartable, TY_INT, V_EMPTY);
    a_ = take(vartable, TY_INT, V_EMPTY | V_ARRAY);
    vartable.first = vartable.next;
    t_ = take(rettable, TY_INT, V_EMPTY | V_TEMP);
    five_ = new_const(TY_INT, 5);
    inner_ = cb.block_slot(0);
    VarEntry* text = str_const("ab");
    VarEntry* one = new_const(TY_INT, 1);
    main_block_ = cb.begin_block();
    main_->value = main_block_;
    cb.record(H__alltmpinits, ref_of(t_), {}, 1, label_tmpinit);
    decl_ = cb.record(H_mvarinit, TY_INT,
                      {ref_of(i_), ref_of(five_), END_MARK, ref_of(five_), ref_of(a_)});
    plus_ = cb.record(H_l_plus, ref_of(t_), {ref_of(i_), ref_of(five_)}, 2);
    assign_ = cb.record(H_l_assign, 0, {ref_of(i_), ref_of(t_)}, 2);
    elem_ = cb.record(H__arrdynelem, 0, {ref_of(a_), ref_of(one)});
    store_ = cb.record(H_l_assign, 0, {0, ref_of(i_)}, 2);
    wr32(mem + elem_ + REC_RESULT, store_ + REC_PARAMS);
    index_ = cb.record(H__arrindexing, ref_of(i_), {ref_of(a_), ref_of(one)});
    exec_ = cb.record(H_l_bl_exec, 0, {ref_of(inner_)});
    Ref del = cb.record(H_mvardel, ref_of(t_), {ref_of(a_), ref_of(i_)}, 1, label_delete);
    cb.set_cleanup(main_block_, del);
    cb.end_block();
    inner_block_ = cb.begin_block();
    inner_->value = inner_block_;
    cb.record(H_l_puts, 0, {ref_of(text)});
    cb.end_block();
  }

  // Saves, empties the tables where they are, loads: 0 on success, else
  // the code of the refusal.
  u32 save_and_load() {
    if (!save_program(path_.c_str())) return 0xDEAD;
    cenv_reset();
    std::memset(mem + codepage.base, 0xAA, codepage.end - codepage.base);
    if (!load_program(path_.c_str(), 0)) return if_c_error ? if_c_error : 0xFFFF;
    return 0;
  }

  Bytes file() const {
    FILE* f = std::fopen(path_.c_str(), "rb");
    Bytes b = contents(f);
    std::fclose(f);
    return b;
  }
  void write_file(const Bytes& b) const {
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
  u32 load_bytes(const Bytes& b) {
    write_file(b);
    cenv_reset();
    if (!load_program(path_.c_str(), 0)) return if_c_error ? if_c_error : 0xFFFF;
    return 0;
  }
};

TEST_F(Program, SmallestProgramFileByteForByte) {
  main_ = cb.block_slot(0);
  main_->value = cb.begin_block();
  cb.end_block();
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  Body code;
  code.byte(1).word(0).word(0).word(0).byte(0xFF);
  Body data;
  data.word(TY_BLOCK).word(8).raw(Bytes(8, 0));  // a block at offset 0: eight zeros
  Bytes want = section(codelabel, 8, code);
  Bytes d = section(datalabel, 1, data);
  want.insert(want.end(), d.begin(), d.end());
  EXPECT_EQ(code.sum, 0u);
  EXPECT_EQ(data.sum, 9u);
  EXPECT_EQ(file(), want);
  EXPECT_EQ(std::string(want.begin(), want.begin() + 28),
            std::string("TEST QV PROGRAM\0_CODE_PAGE_\0", 28));
  cenv_reset();
  ASSERT_EQ(load_program(path_.c_str(), 0), 1u);
  EXPECT_EQ(S(cnstable.base)->value, codepage.base);  // a block, not the empty block
  EXPECT_EQ(codepage.first, codepage.base + 8);
}

// int i 5; i = (+ i 5) compiled without the temporaries optimisation: the
// temporary is typed by its own init record (int and uint share theirs;
// the extra count names the type) and deleted right after its use.
TEST_F(Program, WithoutTheOptimisationTemporariesAreTypedByTheirInitRecords) {
  auto build_noptmp = [this](u8 init_extra, bool delete_first, bool with_group) {
    fresh_env();
    main_ = cb.block_slot(0);
    i_ = take(vartable, TY_INT, V_EMPTY);
    vartable.first = vartable.next;
    t_ = take(rettable, TY_FLOAT, V_EMPTY | V_TEMP);  // a type from an earlier use
    five_ = new_const(TY_INT, 5);
    main_->value = cb.begin_block();
    if (with_group) cb.record(H__alltmpinits, ref_of(t_), {}, 1, label_tmpinit);
    cb.record(H_mvarinit, TY_INT, {ref_of(i_), ref_of(five_)});
    cb.record(H_l_int_init, 0, {ref_of(t_)}, init_extra);
    if (delete_first) cb.record(H_mvardel, 0, {ref_of(t_)}, 0, label_delete);
    cb.record(H_l_plus, ref_of(t_), {ref_of(i_), ref_of(five_)}, 2);
    cb.record(H_l_assign, 0, {ref_of(i_), ref_of(t_)}, 2);
    cb.record(H_mvardel, 0, {ref_of(t_)}, 0, label_delete);
    Ref del = cb.record(H_mvardel, 0, {ref_of(i_)}, 0, label_delete);
    cb.set_cleanup(main_->value, del);
    cb.end_block();
    optimtmpvarinit = 0;
  };
  build_noptmp(TY_INT + 1, false, false);
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  optimtmpvarinit = 1;  // the file, not the loading process, decides
  cenv_reset();
  ASSERT_EQ(load_program(path_.c_str(), 0), 1u);
  EXPECT_EQ(optimtmpvarinit, 0u);
  EXPECT_EQ(execute(0), 0u);

  build_noptmp(TY_FLOAT + 1, false, false);  // the int init cannot make a float
  EXPECT_EQ(save_and_load(), 65u);
  build_noptmp(TY_UINT + 1, false, false);  // "+" of int into a uint temporary
  EXPECT_EQ(save_and_load(), 65u);
  build_noptmp(TY_INT + 1, true, false);  // used after its deletion
  EXPECT_EQ(save_and_load(), 65u);
  build_noptmp(TY_INT + 1, false, true);  // a group initialisation in this mode
  EXPECT_EQ(save_and_load(), 65u);
  optimtmpvarinit = 1;
}

// Each change makes a program the compiler never writes; the file says it
// well enough, but the loader must refuse it before anything runs.
TEST_F(Program, RefusesRecordsThatReferToTheWrongThings) {
  struct Case {
    const char* what;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"clean-up inside a record",
       [this] { wr32(mem + main_block_, rd32(mem + main_block_) + 2); }},
      {"clean-up in another block",
       [this] { wr32(mem + inner_block_, rd32(mem + main_block_)); }},
      {"block constant not at a block start",
       [this] { inner_->value = inner_block_ + 4; }},
      {"main block not at the base", [this] { main_->value = inner_block_; }},
      {"main is no block", [this] { std::swap(*main_, *five_); }},
      {"int where a block must be",
       [this] { wr32(mem + exec_ + REC_PARAMS, ref_of(five_)); }},
      {"result of the wrong type",
       [this] { S(ref_of(t_))->type = TY_FLOAT; }},
      {"more parameters than the operation takes",
       [this] { wr32(mem + plus_ + REC_HANDLER, H_bitinvert); }},
      {"empty parameter nothing fills", [this] { wr32(mem + plus_ + 14, 0); }},
      {"variable that is no variable", [this] { S(ref_of(i_))->flags = 0; }},
      {"temporary group past the table",
       [this] { mem[main_block_ + 4 + REC_EXTRA] = 2; }},
      {"declared type that is not the variable's",
       [this] { wr32(mem + decl_ + REC_RESULT, TY_FLOAT); }},
      {"constant where a variable is written",
       [this] { wr32(mem + assign_ + REC_PARAMS, ref_of(five_)); }},
      {"initial value without a variable",
       [this] { wr32(mem + decl_ + REC_PARAMS, ref_of(five_)); }},
      // An element goes into an empty parameter word of a later record.
      {"element into its own record",
       [this] { wr32(mem + elem_ + REC_RESULT, elem_ + REC_PARAMS); }},
      {"element into a filled word",
       [this] { wr32(mem + elem_ + REC_RESULT, store_ + REC_PARAMS + 4); }},
      {"element into a result word",
       [this] { wr32(mem + elem_ + REC_RESULT, store_ + REC_RESULT); }},
      {"indexed element into a constant",
       [this] { wr32(mem + index_ + REC_RESULT, ref_of(five_)); }},
      {"indexed element into a block", [this] { wr32(mem + index_ + REC_RESULT, ref_of(inner_)); }},
  };
  build();
  ASSERT_EQ(save_and_load(), 0u) << "unchanged, the program loads and runs";
  testing::internal::CaptureStdout();
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab\n");
  for (const Case& c : cases) {
    fresh_env();
    build();
    c.change();
    EXPECT_EQ(save_and_load(), 65u) << c.what;
    EXPECT_EQ(constants(), 0u) << c.what;
    EXPECT_EQ(codepage.first, codepage.base) << c.what;
  }
}

TEST_F(Program, SectionChecksumsAndSizes) {
  build();
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  const Bytes good = file();
  auto with_length = [&](u32 length) {
    Bytes b = good;
    wr32(b.data() + 28, length);
    return b;
  };
  // A code byte changed without its checksum: 66 (here a type byte of the
  // variables: mode 1, count 4, then type and flags).
  Bytes changed = good;
  changed[32 + 5] ^= 0x01;
  EXPECT_EQ(load_bytes(changed), 66u);
  EXPECT_EQ(load_bytes(with_length(codepage.end - codepage.base + 4)), 67u);
  EXPECT_EQ(load_bytes(with_length(rd32(good.data() + 28) - 4)), 65u) << "ends inside a block";
  // Anything after the data section.
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_EQ(load_bytes(longer), 65u);
  EXPECT_EQ(load_bytes(good), 0u);
}

TEST_F(Program, FailedSaveKeepsTheOldFileAndErrnoTellsWhy) {
  build();
  write_file({'o', 'l', 'd'});
  five_->flags |= V_EMPTY;  // a constant without a value cannot be written
  errno = 0;
  EXPECT_EQ(save_program(path_.c_str()), 0u);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(file(), (Bytes{'o', 'l', 'd'}));
  std::string cmd = "test $(ls -A '" + dir_ + "' | wc -l) -eq 1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(save_program((dir_ + "/no/such/dir.cp").c_str()), 0u);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(load_program((dir_ + "/none.cp").c_str(), 0), 0u);
  EXPECT_EQ(if_c_error, 0u);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(Program, SavedFileHasOrdinaryPermissions) {
  build();
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(Program, SaveHookNamesTheFileAfterTheSource) {
  build();
  struct Case {
    std::string source, target;
  };
  const Case cases[] = {{"prog.qv", "prog.cp"},  {"prog", "prog.cp"}, {"a.b/prog", "a.b/prog.cp"},
                        {"two.dots.txt", "two.dots.cp"}, {".hidden", ".hidden.cp"}};
  ASSERT_EQ(mkdir((dir_ + "/a.b").c_str(), 0777), 0);
  for (const Case& c : cases) {
    save_compiled((dir_ + "/" + c.source).c_str());
    EXPECT_EQ(access((dir_ + "/" + c.target).c_str(), F_OK), 0) << c.source;
  }
}

TEST_F(Program, SaveHookEndsTheProcessWhenItCannotWrite) {
  build();
  const std::string source = dir_ + "/missing/prog.qv";
  // Values of earlier tests are nobody's leak in the dying copy.
  EXPECT_EXIT((arena_keep_all_live(), save_compiled(source.c_str())),
              testing::ExitedWithCode(1),
              "missing/prog.cp: No such file or directory");
}

}  // namespace
