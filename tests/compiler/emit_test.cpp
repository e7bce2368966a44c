// The code of one compiled statement byte for byte, and the compiler's
// limits and error exits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "compiler/emit.h"
#include "compiler/lexer.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

// Expected code bytes, written the way the emitters write them.
struct Bytes {
  std::vector<u8> b;
  Bytes& w(u32 v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<u8>(v >> (8 * k)));
    return *this;
  }
  // A whole record: position, handler, counts, result, parameters.
  Bytes& rec(Ref pos, u32 handler, u8 extra, Ref result, std::initializer_list<u32> params) {
    w(pos).w(handler);
    b.insert(b.end(), {static_cast<u8>(params.size()), extra});
    w(result);
    for (u32 p : params) w(p);
    return *this;
  }
};

// The code page's bytes in use, as hex words for readable differences.
std::string hex(const std::vector<u8>& b) {
  std::string s;
  char buf[4];
  for (size_t k = 0; k < b.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%02x", b[k]);
    s += buf;
    if (k % 4 == 3) s += ' ';
  }
  return s;
}
std::string code() { return hex(std::vector<u8>(mem + codepage.base, mem + codepage.first)); }

Ref var(u32 k) { return vartable.base + 12 * k; }
Ref cns(u32 k) { return cnstable.base + 12 * k; }
Ref tmp(u32 k) { return rettable.base + 12 * k; }

class Emit : public ::testing::Test {
 protected:
  void SetUp() override { fresh_env(); }
  void TearDown() override { optimtmpvarinit = 1; }
  u32 run_compile(const std::string& src) {
    text = place_text(src);
    return compile(text);
  }
  // Position of the n-th occurrence of `what` in the text.
  Ref at_text(const std::string& src, const std::string& what, int n = 1) {
    size_t p = std::string::npos;
    for (int k = 0; k < n; ++k) p = src.find(what, p == std::string::npos ? 0 : p + 1);
    return text + static_cast<Ref>(p);
  }
  Ref text = 0;
};

TEST_F(Emit, DeclarationNestedCallAndConversion) {
  const std::string src = "int i;\ni = (2 + 3);";
  ASSERT_EQ(run_compile(src), 0u);
  // Temporaries: 0 the int value "=" receives, 1 the float sum.
  const Ref cleanup_at = 4 + 14 + 18 + 22 + 22 + 22 + 4;  // the cleanup's handler word
  Bytes want;
  want.w(codepage.base + cleanup_at)
      .rec(label_tmpinit, H__alltmpinits, 2, tmp(0), {})
      .rec(text, H_mvarinit, 0, TY_INT, {var(0)})
      .rec(at_text(src, "2"), H_l_plus, 2, tmp(1), {cns(1), cns(2)})
      .rec(at_text(src, ")"), H_convcall, 1, tmp(0), {C_l_floatint, tmp(1)})
      .rec(at_text(src, "i", 3), H_l_assign, 2, 0, {var(0), tmp(0)})
      .rec(label_delete, H_mvardel, 2, tmp(0), {var(0)})
      .w(END_MARK);
  EXPECT_EQ(code(), hex(want.b));
  EXPECT_EQ(S(tmp(0))->type, static_cast<u32>(TY_INT));
  EXPECT_EQ(S(tmp(1))->type, static_cast<u32>(TY_FLOAT));
  EXPECT_EQ(S(cns(2))->value, float_bits(3.0f));
}

// Without the optimisation temporaries are given back after each statement;
// with it, a block holds at most 255 however much room rettable has.
TEST_F(Emit, TemporaryLimits) {
  std::string prog;
  for (int k = 0; k < 200; ++k) prog += "puts (+ 1 2);";  // two temporaries each
  optimtmpvarinit = 0;
  EXPECT_EQ(run_compile(prog), 0u);
  optimtmpvarinit = 1;
  cenv_init(200, 200, 400, 200, 2048);
  std::string many;
  for (int k = 0; k < 127; ++k) many += "puts (+ 1 2);";
  EXPECT_EQ(run_compile(many + "puts (time);"), 0u);
  cenv_init(200, 200, 400, 200, 2048);
  EXPECT_EQ(run_compile(many + "puts (+ 1 2);"), 53u);
}

// Compile errors with the place they point at (errors/compile.tab has one
// of each code, by line), and the places where a call's result has a type.
TEST_F(Emit, CompileErrorCodes) {
  struct Case { const char* src; u32 code; const char* at; } cases[] = {
      {"5;", 10, ";"},
      {"float x y; y = (sin(x));", 10, "));"},
      {"int a b c; c = (+ (int a + b) 1);", 16, "int a + b"},
      {"int a b; (int a + b);", 10, ";"},
      {"int a[10] 5;", 14, "5;"},
      {"puts (;", 31, ";"},
      {"puts (}", 23, "}"},
      {"puts (call {return 1});", 0, ""},
      {"(call {return 1});", 10, ";"},
      {"call (call {});", 0, ""},  // a block is expected: the result is one
      {"int i; i = (par# 0);", 0, ""},
  };
  for (const Case& c : cases) {
    fresh_env();
    const u32 got = run_compile(c.src);
    EXPECT_EQ(got, c.code) << c.src;
    if (got && c.code == got) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem + last_lexema), std::strlen(c.at)),
                c.at)
          << c.src;
    }
  }
}

std::string times(const std::string& s, int n) {
  std::string r;
  while (n-- > 0) r += s;
  return r;
}

// Deep nesting of indexes ends in an error, never in an overflow of the
// compiler's own stack (calls and blocks: errors/compile.tab).
TEST_F(Emit, DeepNestingIsAnErrorNotACrash) {
  const std::pair<std::string, u32> cases[] = {
      {"puts " + times("(concat ", 150) + "\"a\"" + times(" \"b\")", 150), 0},
      {"int a[2]; a[" + times("a[", 3000) + "0" + times("]", 3001) + " = 1;", 53},
      {times("exec {", 100) + times("}", 100), 0},
  };
  for (const auto& [src, code] : cases) {
    fresh_env();
    EXPECT_EQ(run_compile(src), code) << src.substr(0, 40);
  }
}

}  // namespace
