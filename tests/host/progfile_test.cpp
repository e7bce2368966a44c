// Compiled-program files: the bytes of the format, the refusals of damaged,
// hostile and inconsistent files, and programs that load as they were saved.
// Refusal codes: 64 label, 65 record, 66 code sum, 67 code size, 68 data
// sum, 69 too many constants.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/driver.h"
#include "compiler/compiler.h"
#include "host/progfile.h"
#include "host/progsect.h"
#include "host/stale_temps.h"
#include "runtime/arena_guard.h"
#include "runtime/functable.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;
using Bytes = std::vector<u8>;

Bytes le(u32 v) { return {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}; }
// Byte by byte: GCC 12 misreads range inserts here as out of bounds.
void add(Bytes& to, const Bytes& b) {
  for (u8 x : b) to.push_back(x);
}

// A section body with its checksum: words add as words, bytes as signed bytes.
struct Body {
  Bytes bytes;
  u32 sum = 0;
  Body& word(u32 v) { return add(bytes, le(v)), sum += v, *this; }
  Body& raw(const Bytes& b) {
    for (u8 x : b) bytes.push_back(x), sum += u32(i32(std::int8_t(x)));
    return *this;
  }
  Body& then(const Body& b) { return add(bytes, b.bytes), sum += b.sum, *this; }
};

// A constant: type, length, bytes.
Body rec(u32 type, u32 length, u8 fill = 0) {
  return Body().word(type).word(length).raw(Bytes(length, fill));
}

// Program label, section label, length, body, checksum.
Bytes section(const char* label, u32 length, const Body& body) {
  Bytes b(proglabel, proglabel + 16);
  for (int i = 0; i < 12; ++i) b.push_back(u8(label[i]));
  for (const Bytes& part : {le(length), body.bytes, le(body.sum)}) add(b, part);
  return b;
}

// The smallest program (mode 1, no slots, one block: no clean-up, end
// mark) with n more constants after the main block's.
Bytes small_program(u32 n = 0, const Body& consts = Body()) {
  Bytes b = section(codelabel, 8, Body().raw({1}).word(0).word(0).word(0).raw({0xFF}));
  add(b, section(datalabel, 1 + n, rec(TY_BLOCK, 8).then(consts)));
  return b;
}

u32 constants() { return (cnstable.next - cnstable.base) / 12; }

// What a loaded program must give back: the code page, the slots' types
// and flags, the constants' types, kinds and values (a str by its text).
std::vector<std::string> program_state() {
  std::vector<std::string> s{std::string(reinterpret_cast<const char*>(mem + codepage.base),
                                         codepage.first - codepage.base)};
  for (const TableHead* t : {&vartable, &rettable, &cnstable})
    for (Ref e = t->base; e < t->next; e += 12) {
      const VarEntry* v = S(e);
      const bool c = t == &cnstable;
      const u32 flags = c ? v->flags & (V_CONST | V_CODE | V_EMPTY) : v->flags;
      s.push_back(std::to_string(v->type) + " " + std::to_string(flags) + " " +
                  (!c ? "" : v->type == TY_STR ? str_of(v) : std::to_string(v->value)));
    }
  return s;
}

class ProgFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // Memory-backed where there is one: the damage tests rewrite the file often.
    std::string tmpl = access("/dev/shm", W_OK) ? "/tmp/qvpXXXXXX" : "/dev/shm/qvpXXXXXX";
    dir_ = mkdtemp(tmpl.data());
    path_ = dir_ + "/prog.cp";
    fresh_env();
    reader::reset();
  }
  void TearDown() override {
    reader::check_sums = true;
    optimtmpvarinit = 1;
    EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }

  Bytes file() const {
    Bytes b;
    FILE* f = std::fopen(path_.c_str(), "rb");
    for (int c; (c = std::fgetc(f)) != EOF;) b.push_back(u8(c));
    return std::fclose(f), b;
  }
  // 0 when the first n bytes (all by default) load, else the refusal's code.
  u32 load(const Bytes& b, size_t n = SIZE_MAX) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    std::fwrite(b.data(), 1, std::min(n, b.size()), f);
    std::fclose(f);
    return reload();
  }
  u32 reload() {
    cenv_reset();
    reset_run_state();
    return load_program(path_.c_str(), 0) ? 0 : if_c_error ? if_c_error : 0xFFFF;
  }
  // Saves, empties the tables and spoils the code page where they are, loads.
  u32 save_and_load() {
    if (!save_program(path_.c_str())) return 0xDEAD;
    std::memset(mem + codepage.base, 0xAA, codepage.end - codepage.base);
    return reload();
  }
  std::string dir_, path_;
  CodeBuilder cb;
};

// The smallest program with one constant of each kind, byte for byte.
TEST_F(ProgFile, FormatByteForByteAndBack) {
  cb.block_slot(cb.begin_block());
  cb.end_block();
  for (auto [type, value] : {std::pair{TY_INT, ~0u}, {TY_UINT, 7u}, {TY_BOOL, 1u}, {TY_FLOAT, 0x40490FDBu}})
    new_const(type, value);
  new_str("ab", true);
  cb.block_slot(END_BLOCK);  // the empty block: offset 0, end mark
  const auto saved = program_state();
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  const Bytes want = small_program(
      6, Body().word(TY_INT).word(4).raw(le(~0u)).word(TY_UINT).word(4).raw(le(7))
             .word(TY_BOOL).word(4).raw(le(1)).word(TY_FLOAT).word(4).raw(le(0x40490FDB))
             .word(TY_STR).word(3).raw({'a', 'b', 0}).word(TY_BLOCK).word(8).raw(le(0)).raw(le(~0u)));
  EXPECT_EQ(file(), want);
  EXPECT_EQ(std::string(want.begin(), want.begin() + 28),
            std::string("TEST QV PROGRAM\0_CODE_PAGE_\0", 28));
  EXPECT_EQ(rd32(&want[46]), 0u) << "the code sum: mode 1, end mark 0xFF as -1";
  ASSERT_EQ(reload(), 0u);
  EXPECT_EQ(program_state(), saved);
  struct stat st {};
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ((stat(path_.c_str(), &st), st.st_mode & 0777), 0666 & ~mask) << "ordinary permissions";
}

// Each row damages the smallest program's file; nothing of it stays behind.
TEST_F(ProgFile, DamagedFilesAreRefused) {
  const Bytes good = small_program();
  const u32 page = codepage.end - codepage.base, cap = (cnstable.end - cnstable.base) / 12;
  auto changed = [](Bytes b, size_t at, u8 x) { return b[at] ^= x, b; };
  auto word_at = [&](size_t at, u32 v) { Bytes b = good; return wr32(&b[at], v), b; };
  auto one = [](const Body& r) { return small_program(1, r); };
  Bytes hello = one(rec(TY_STR, 6, 'h')), longer = good;
  longer.push_back(0);
  struct Row { std::string what; Bytes file; u32 code; };
  std::vector<Row> rows = {
      {"program label", changed(good, 0, 1), 64},
      {"its last byte", changed(good, 15, 1), 64},
      {"code section label", changed(good, 20, 1), 64},
      {"data section label", changed(good, 50 + 27, 1), 64},
      {"code byte without its sum", changed(good, 32, 1), 66},
      {"code longer than the page", word_at(28, page + 4), 67},
      {"code ends inside its block", word_at(28, 4), 65},
      {"data byte without its sum", changed(hello, hello.size() - 6, 0x20), 68},
      {"more constants than the table", word_at(50 + 28, cap + 1), 69},
      {"anything after the data", longer, 65}};
  // Representations of a wrong length or no type; blocks that the code
  // section did not rebuild.
  using P = std::pair<u32, u32>;
  for (auto [type, n] : {P{TY_INT, 3}, {TY_INT, 5}, {TY_FLOAT, 0}, {TY_STR, 0}, {TY_STR, 258},
                         {TY_BLOCK, 4}, {TY_BLOCK, 9}, {6, 4}})
    rows.push_back({"type " + std::to_string(type) + " of " + std::to_string(n), one(rec(type, n)), 65});
  for (auto [offset, second] : {P{4, 0}, {page, 0}, {0, 7}})
    rows.push_back({"block " + std::to_string(offset) + " " + std::to_string(second),
                    one(Body().word(TY_BLOCK).word(8).word(offset).word(second)), 65});
  for (const Row& r : rows) {
    EXPECT_EQ(load(r.file), r.code) << r.what;
    EXPECT_EQ(constants(), 0u) << r.what;
    EXPECT_EQ(codepage.first, codepage.base) << r.what;
    EXPECT_TRUE(S(cnstable.base + 12)->flags & V_EMPTY) << r.what << ": erased through its del";
  }
  // The table full; a str of only its NUL, of 256 characters, and one
  // whose last byte is read as its NUL whatever it was.
  Body full;
  for (u32 i = 1; i < cap; ++i) full.then(rec(TY_INT, 4, u8(i)));
  EXPECT_EQ(load(small_program(cap - 1, full)), 0u);
  EXPECT_EQ(constants(), cap);
  for (auto [n, text] : {std::pair<u32, std::string>{1, ""}, {3, "aa"}, {257, std::string(256, 'a')}}) {
    EXPECT_EQ(load(one(rec(TY_STR, n, 'a'))), 0u) << n;
    EXPECT_EQ(str_of(S(cnstable.base + 12)), text);
  }
}

// A code section that claims the whole page and whose records run past it
// is refused at the first byte that would lie outside, here a record's
// count byte right at the page's limit: nothing is written there.
TEST_F(ProgFile, CodeRunningPastThePageWritesNothingPastIt) {
  const u32 page = codepage.next - codepage.base;
  auto record = [](u8 n, u32 params) {
    Body r = Body().raw({0, 1}).word(16).raw({n, 0, 0});  // "+", no result
    for (u32 i = 0; i < params; ++i) r.raw({0});
    return r;
  };
  // The block's clean-up word, then records of 14 and 14 + 4 * 6 bytes,
  // up to 8 bytes before the limit: the next record's position and
  // operation words fill those, and its count byte falls on the limit.
  Body code = Body().raw({1}).word(0).word(0).word(0);
  u32 at = 4;
  while (at + 14 + 24 != page - 8) code.then(record(0, 0)), at += 14;
  code.then(record(6, 6)).raw({0, 1}).word(16).raw({0x5A, 0});
  Bytes file = section(codelabel, page, code);
  add(file, section(datalabel, 1, rec(TY_BLOCK, 8)));
  FILE* f = std::fopen(path_.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  // (The source text's buffer lies past the page: the reset clears its
  // first byte, so the mark goes there after it. The guarded arena keeps a
  // red zone there instead, which reports any write.)
  cenv_reset();
  reset_run_state();
  u8* const beyond = guard::ACTIVE ? nullptr : mem + codepage.next;
  const u8 was = beyond ? *beyond : 0;
  if (beyond) *beyond = 0xA5;
  EXPECT_FALSE(load_program(path_.c_str(), 0));
  EXPECT_EQ(if_c_error, 67u);
  if (beyond) {
    EXPECT_EQ(*beyond, 0xA5);
    *beyond = was;
  }
}

// An operation is a funcent row (tag 1), a sysfuncs index (0) or a type's
// init, clr or del (2, slot 0, 1 or 4); the first row of a shared handler
// is written. Bad tags, indices past the tables, "assign" and "comp" (no
// record handler), an index far out and a cut reference are refused.
TEST_F(ProgFile, OperationReferences) {
  auto through = [](const Bytes& in, const std::function<void(FILE*)>& op) {
    FILE* f = std::tmpfile();
    if (!in.empty()) std::fwrite(in.data(), 1, in.size(), f);
    std::rewind(f);
    codepage.first = codepage.base;
    reader::chsume = writer::chsume = if_c_error = 0;
    try {
      op(f);
    } catch (const LoadError&) {
    }
    std::rewind(f);
    Bytes out;
    for (int x; (x = std::fgetc(f)) != EOF;) out.push_back(u8(x));
    std::fclose(f);
    return out;
  };
  struct Case { u32 handler; Bytes bytes; u32 sum; } cases[] = {
      {H__flushDisplay, {1, 0x72, 0, 0, 0}, 115}, {H_mvardel, {0, 1, 0, 0, 0}, 1},
      {H_l_int_del, {2, 4, 3, 0, 0, 0}, 9},       {H_l_int_init, {2, 0, 3, 0, 0, 0}, 5},
      {H_l_st_clr, {2, 1, 0, 0, 0, 0}, 3},        {H_l_plusassgn, {1, 21, 0, 0, 0}, 22}};
  for (const Case& c : cases) {
    EXPECT_EQ(through({}, [&](FILE* f) { writer::save_opcode(f, c.handler); }), c.bytes);
    EXPECT_EQ(writer::chsume, c.sum) << c.handler;
    through(c.bytes, [](FILE* f) { reader::load_opcode(f); });
    EXPECT_EQ(if_c_error, 0u);
    EXPECT_EQ(rd32(mem + codepage.base), c.handler);
    EXPECT_EQ(reader::chsume, c.sum);
  }
  for (const Bytes& b : {Bytes{3, 0, 0, 0, 0}, {0xFF, 0, 0, 0, 0}, {1, 127, 0, 0, 0}, {0, 5, 0, 0, 0},
                         {2, 0, 6, 0, 0, 0}, {2, 5, 3, 0, 0, 0}, {2, 0xFF, 3, 0, 0, 0},
                         {2, 2, 3, 0, 0, 0}, {2, 3, 0, 0, 0, 0}, {1, 0, 0, 0, 0x80}, {1, 0x72, 0}}) {
    through(b, [](FILE* f) { reader::load_opcode(f); });
    EXPECT_EQ(if_c_error, 65u) << int(b[0]) << " " << int(b[1]);
  }
}

// int i 5 a[5]; i = (+ i 5); float of i; a[1] = i; i = a[1]; exec { puts "ab" } -- as the
// compiler leaves it: variables and temporaries typed and empty; the
// element record puts the element's address into the word of "=".
class Program : public ProgFile {
 protected:
  VarEntry *main_, *i_, *a_, *t_, *five_, *inner_;
  Ref main_block_, inner_block_, decl_, plus_, assign_, conv_, exec_, elem_, store_, index_;
  Ref temp_init_;  // build_noptmp's init record of the temporary

  void build() {
    fresh_env();
    main_ = cb.block_slot(0);
    i_ = take(vartable, TY_INT, V_EMPTY);
    a_ = take(vartable, TY_INT, V_EMPTY | V_ARRAY);
    vartable.first = vartable.next;
    t_ = take(rettable, TY_INT, V_EMPTY | V_TEMP);
    const Ref f = ref_of(take(rettable, TY_FLOAT, V_EMPTY | V_TEMP));
    five_ = new_const(TY_INT, 5);
    inner_ = cb.block_slot(0);
    VarEntry *text = new_str("ab", true), *one = new_const(TY_INT, 1);
    const Ref i = ref_of(i_), a = ref_of(a_), t = ref_of(t_), five = ref_of(five_);
    main_->value = main_block_ = cb.begin_block();
    cb.record(H__alltmpinits, t, {}, 2, label_tmpinit);
    decl_ = cb.record(H_mvarinit, TY_INT, {i, five, END_MARK, five, a});
    plus_ = cb.record(H_l_plus, t, {i, five}, 2);
    assign_ = cb.record(H_l_assign, 0, {i, t}, 2);
    conv_ = cb.record(H_convcall, f, {convtab[TY_INT][TY_FLOAT], i}, 1);
    elem_ = cb.record(H__arrdynelem, 0, {a, ref_of(one)});
    store_ = cb.record(H_l_assign, 0, {0, i}, 2);
    wr32(mem + elem_ + REC_RESULT, store_ + REC_PARAMS);
    index_ = cb.record(H__arrindexing, i, {a, ref_of(one)});
    exec_ = cb.record(H_l_bl_exec, 0, {ref_of(inner_)});
    cb.set_cleanup(main_block_, cb.record(H_mvardel, t, {a, i}, 2, label_delete));
    cb.end_block();
    inner_->value = inner_block_ = cb.begin_block();
    cb.record(H_l_puts, 0, {ref_of(text)});
    cb.end_block();
  }
  // int i 5; i = (+ i 5) without the temporaries optimisation: the
  // temporary is typed by its own init record (int and uint share theirs;
  // the extra count names the type) and deleted right after its use.
  void build_noptmp(u8 init_extra, bool delete_first = false, bool group = false) {
    fresh_env();
    main_ = cb.block_slot(0);
    i_ = take(vartable, TY_INT, V_EMPTY);
    vartable.first = vartable.next;
    t_ = take(rettable, TY_FLOAT, V_EMPTY | V_TEMP);  // a type from an earlier use
    const Ref i = ref_of(i_), t = ref_of(t_), five = ref_of(new_const(TY_INT, 5));
    main_->value = cb.begin_block();
    if (group) cb.record(H__alltmpinits, t, {}, 1, label_tmpinit);
    cb.record(H_mvarinit, TY_INT, {i, five});
    temp_init_ = cb.record(H_l_int_init, 0, {t}, init_extra);
    if (delete_first) cb.record(H_mvardel, 0, {t}, 0, label_delete);
    cb.record(H_l_plus, t, {i, five}, 2);
    cb.record(H_l_assign, 0, {i, t}, 2);
    cb.record(H_mvardel, 0, {t}, 0, label_delete);
    cb.set_cleanup(main_->value, cb.record(H_mvardel, 0, {i}, 0, label_delete));
    cb.end_block();
    optimtmpvarinit = 0;
  }
};

TEST_F(Program, LoadsAsSavedAndRuns) {
  build();
  const auto saved = program_state();
  ASSERT_EQ(save_and_load(), 0u);
  EXPECT_EQ(program_state(), saved);
  testing::internal::CaptureStdout();
  EXPECT_EQ(execute(0), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab\n");
  // Without the optimisation: the file, not the loading process, decides.
  build_noptmp(TY_INT + 1);
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  optimtmpvarinit = 1;
  ASSERT_EQ(reload(), 0u);
  EXPECT_EQ(optimtmpvarinit, 0u);
  EXPECT_EQ(execute(0), 0u);
}

// Each change makes a program the compiler never writes. The loader
// refuses it (65) before anything runs; what the format cannot express at
// all is not written (SAVE): errno says why, the old file stays and no
// temporary file is left.
TEST_F(Program, RefusesProgramsThatReferToTheWrongThings) {
  constexpr u32 SAVE = 0xDEAD;
  struct Case { const char* what; std::function<void()> change; u32 code = 65; } cases[] = {
      {"clean-up inside a record", [&] { wr32(mem + main_block_, rd32(mem + main_block_) + 2); }},
      {"clean-up in another block", [&] { wr32(mem + inner_block_, rd32(mem + main_block_)); }},
      {"block constant not at a block start", [&] { inner_->value = inner_block_ + 4; }},
      {"main block not at the base", [&] { main_->value = inner_block_; }},
      {"main is no block", [&] { std::swap(*main_, *five_); }},
      {"int where a block must be", [&] { wr32(mem + exec_ + REC_PARAMS, ref_of(five_)); }},
      {"result of the wrong type", [&] { t_->type = TY_FLOAT; }},
      {"more parameters than taken", [&] { wr32(mem + plus_ + REC_HANDLER, H_bitinvert); }},
      {"empty parameter nothing fills", [&] { wr32(mem + plus_ + REC_PARAMS + 4, 0); }},
      {"variable that is no variable", [&] { i_->flags = 0; }},
      {"variable flagged as a temporary", [&] { i_->flags = V_EMPTY | V_TEMP; }},
      {"temporary group past the table", [&] { mem[main_block_ + 4 + REC_EXTRA] = 3; }},
      {"declared type not the variable's", [&] { wr32(mem + decl_ + REC_RESULT, TY_FLOAT); }},
      {"constant written to", [&] { wr32(mem + assign_ + REC_PARAMS, ref_of(five_)); }},
      {"initial value without a variable", [&] { wr32(mem + decl_ + REC_PARAMS, ref_of(five_)); }},
      {"array size not an int",
       [&] { wr32(mem + decl_ + REC_PARAMS + 12, ref_of(new_const(TY_FLOAT, 0x40a00000))); }},
      {"array size an array", [&] { wr32(mem + decl_ + REC_PARAMS + 12, ref_of(a_)); }},
      // An element goes into an empty parameter word of a later record.
      {"element into its own record", [&] { wr32(mem + elem_ + REC_RESULT, elem_ + REC_PARAMS); }},
      {"element into a filled word", [&] { wr32(mem + elem_ + REC_RESULT, store_ + REC_PARAMS + 4); }},
      {"element into a result word", [&] { wr32(mem + elem_ + REC_RESULT, store_ + REC_RESULT); }},
      {"indexed element into a constant", [&] { wr32(mem + index_ + REC_RESULT, ref_of(five_)); }},
      {"indexed element into a block", [&] { wr32(mem + index_ + REC_RESULT, ref_of(inner_)); }},
      {"noptmp: int init making a float", [&] { build_noptmp(TY_FLOAT + 1); }},
      {"noptmp: int into a uint temporary", [&] { build_noptmp(TY_UINT + 1); }},
      {"noptmp: temporary used after its deletion", [&] { build_noptmp(TY_INT + 1, true); }},
      {"noptmp: group initialisation", [&] { build_noptmp(TY_INT + 1, false, true); }},
      {"noptmp: init with a result",
       [&] { build_noptmp(TY_INT + 1); wr32(mem + temp_init_ + REC_RESULT, ref_of(i_)); }},
      {"constant without a value", [&] { five_->flags |= V_EMPTY; }, SAVE},
      {"handler outside every table", [&] { wr32(mem + plus_ + REC_HANDLER, H_NONE); }, SAVE},
      {"reference past the variables", [&] { wr32(mem + assign_ + REC_PARAMS + 4, vartable.end); }, SAVE},
  };
  for (const Case& c : cases) {
    build();
    c.change();
    FILE* f = std::fopen(path_.c_str(), "wb");
    std::fclose((std::fputs("old", f), f));
    errno = 0;
    EXPECT_EQ(save_and_load(), c.code) << c.what;
    if (c.code == SAVE) {
      EXPECT_EQ(errno, EINVAL) << c.what;
      EXPECT_EQ(file(), (Bytes{'o', 'l', 'd'})) << c.what;
      EXPECT_EQ(std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()), 0) << c.what;
    } else {
      EXPECT_EQ(constants(), 0u) << c.what;
      EXPECT_EQ(codepage.first, codepage.base) << c.what;
    }
  }
  EXPECT_EQ(save_program((dir_ + "/no/such/dir.cp").c_str()), 0u);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(load_program((dir_ + "/none.cp").c_str(), 0), 0u);
  EXPECT_EQ(if_c_error, 0u);
  EXPECT_EQ(errno, ENOENT);
}

// "-cp" writes the program beside its source, the extension replaced by
// ".cp"; a file that cannot be written ends the process.
// A conversion is saved as its two types: a type that does not exist, or
// two types without a conversion between them, is refused.
TEST_F(Program, ConversionsBetweenTypesThatHaveNoneAreRefused) {
  build();
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  const Bytes good = file();
  wr32(mem + conv_ + REC_PARAMS, convtab[TY_FLOAT][TY_INT]);
  ASSERT_EQ(save_program(path_.c_str()), 1u);
  const Bytes other = file();
  size_t at = 0;  // the source type's byte: the first that differs
  while (at < good.size() && good[at] == other[at]) ++at;
  ASSERT_TRUE(at + 1 < good.size() && good[at] == TY_INT && good[at + 1] == TY_FLOAT);
  reader::check_sums = false;
  for (auto [src, dst] : {std::pair<u8, u8>{TY_COUNT, TY_FLOAT}, {0xFF, TY_FLOAT}, {TY_INT, TY_COUNT},
                          {TY_INT, TY_INT}, {TY_BLOCK, TY_FLOAT}}) {
    Bytes b = good;
    b[at] = src, b[at + 1] = dst;
    EXPECT_EQ(load(b), 65u) << int(src) << " to " << int(dst);
  }
  EXPECT_EQ(load(good), 0u);
}

TEST_F(Program, SaveHookNamesTheFileAfterTheSource) {
  build();
  ASSERT_EQ(mkdir((dir_ + "/a.b").c_str(), 0777), 0);
  for (auto [source, target] : {std::pair<std::string, std::string>{"prog.qv", "prog.cp"}, {"prog", "prog.cp"},
                                {"a.b/prog", "a.b/prog.cp"}, {"two.dots.txt", "two.dots.cp"}, {".hidden", ".hidden.cp"}}) {
    save_compiled((dir_ + "/" + source).c_str());
    EXPECT_EQ(access((dir_ + "/" + target).c_str(), F_OK), 0) << source;
  }
  // Values of earlier tests are nobody's leak in the dying copy.
  EXPECT_EXIT((arena_keep_all_live(), save_compiled((dir_ + "/missing/prog.qv").c_str())),
              testing::ExitedWithCode(1), "missing/prog.cp: No such file or directory");
}

// The file of a real compiled program, with and without the temporaries
// optimisation, damaged in every way one cut or one changed byte can: the
// loader refuses it with a code of its own, or it runs to the same result.
// With the checksums off the same changes reach the checks behind them:
// refused, or a program that runs without crashing.
class Damage : public ProgFile, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ProgFile::SetUp();
    optimtmpvarinit = GetParam();
    ASSERT_EQ(compile(place_text(R"(int i n a[4]; str s "ab"; float f 1.5;
block sq { n += (* i i) };
for i 0 3 1 { a[i] = (+ i 1); exec sq };
if (> n 10) { s = (concat s "cd") };
f = (* f 2.5);
puts "n " n " s " s " f " f " a " a[3];
)")), 0u);
    ASSERT_EQ(save_program(path_.c_str()), 1u);
    file_ = file();
    ASSERT_EQ(load(file_), 0u);
    reference_ = run();
    ASSERT_EQ(reference_.second, "n 14 s abcd f 3.750000 a 4\n");
  }
  static std::pair<u32, std::string> run() {
    testing::internal::CaptureStdout();
    const u32 status = execute(0);
    return {status, testing::internal::GetCapturedStdout()};
  }
  // Runs the loaded program in a child for a fifth of a second at most: a
  // changed program may loop for ever, but it may not crash.
  static bool runs_without_crashing() {
    std::fflush(stdout);
    if (fork() == 0) {
      ualarm(200000, 0);
      _exit(std::freopen("/dev/null", "w", stdout) ? (execute(0), 0) : 3);
    }
    int st = 0;
    wait(&st);
    return WIFEXITED(st) || (WIFSIGNALED(st) && WTERMSIG(st) == SIGALRM);
  }
  Bytes file_;
  std::pair<u32, std::string> reference_;
};

TEST_P(Damage, EveryCutOrChangedByteIsRefusedOrRunsTheSame) {
  auto refused = [](u32 code) { return code >= 64 && code <= 69; };
  for (size_t n = 0; n < file_.size(); ++n) EXPECT_TRUE(refused(load(file_, n))) << "cut at " << n;
  std::vector<Bytes> unchecked;
  for (size_t at = 0; at < file_.size(); ++at)
    for (u8 x : {u8(0x01), u8(0x02), u8(0x80), u8(0xFF)}) {
      Bytes b = file_;
      b[at] ^= x;
      reader::check_sums = true;
      u32 code = load(b);
      EXPECT_TRUE(code ? refused(code) : run() == reference_) << "byte " << at << " ^ " << int(x)
                                                              << ": " << code;
      reader::check_sums = false;
      if (at < 32) continue;
      if ((code = load(b)) == 0) unchecked.push_back(std::move(b));
      EXPECT_TRUE(code <= 1 || refused(code)) << "unchecked byte " << at << ": " << code;
    }
  // Each run costs a process: an even sample (the fuzz target runs many more).
  for (size_t k = 0; k < unchecked.size(); k += unchecked.size() / 64 + 1) {
    ASSERT_EQ(load(unchecked[k]), 0u);
    EXPECT_TRUE(runs_without_crashing()) << "changed file " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Program, Damage, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "optimised" : "noptmp"; });

}  // namespace

// The temporary file of a save or a picture lies beside its target, in the
// same folder, so that the rename that puts it in place never crosses file
// systems; its name is cut to what a file name may hold. A later write
// removes what a killed one left, but not a temporary that a running
// process holds, nor another target's.
TEST(StaleTemps, TemporariesLieBesideTheirTargetAndOnlyUnheldOnesGo) {
  using qv::PICTURE_MARKER;
  EXPECT_EQ(qv::temp_template("chart.png", PICTURE_MARKER), "chart.png.qvpic-XXXXXX");
  EXPECT_EQ(qv::temp_template("out/pics/chart.png", PICTURE_MARKER),
            "out/pics/chart.png.qvpic-XXXXXX");
  const std::string longest = qv::temp_template("d/" + std::string(300, 'n'), PICTURE_MARKER);
  EXPECT_EQ(longest.size() - 2, 255u) << "a whole file name, after the folder";
  EXPECT_EQ(longest.substr(0, 3), "d/n");

  char dir[] = "/tmp/qv_stale_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string d = dir;
  const auto make = [&](const std::string& name) {
    const int fd = open((d + "/" + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0) << name;
    return fd;
  };
  const auto exists = [&](const std::string& name) {
    struct stat st {};
    return stat((d + "/" + name).c_str(), &st) == 0;
  };
  close(make("t.png.qvpic-abc123"));
  const int held = make("t.png.qvpic-held12");
  qv::mark_temp_in_use(held);
  close(make("u.png.qvpic-abc123"));
  close(make("t.png.qvpic-short"));
  close(make("t.png.qvpic-v2.old"));
  qv::remove_stale_temps((d + "/t.png").c_str(), PICTURE_MARKER);
  EXPECT_FALSE(exists("t.png.qvpic-abc123")) << "left by a killed write";
  EXPECT_TRUE(exists("t.png.qvpic-held12")) << "held by a running one";
  EXPECT_TRUE(exists("u.png.qvpic-abc123")) << "another target's";
  EXPECT_TRUE(exists("t.png.qvpic-short")) << "not a name mkstemp gives";
  EXPECT_TRUE(exists("t.png.qvpic-v2.old")) << "six characters, but not letters and digits";
  close(held);
  for (const char* n : {"t.png.qvpic-held12", "u.png.qvpic-abc123", "t.png.qvpic-short",
                        "t.png.qvpic-v2.old"})
    unlink((d + "/" + n).c_str());
  rmdir(dir);
}
