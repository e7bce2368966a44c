// Random token soup must compile or fail with a catalogue code, never
// crash, and leave a compiled program whose blocks are well formed.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

Ref load(const std::string& src) { return place_text(src); }

const std::vector<std::string> tokens = {
    "int", "float", "str", "bool", "uint", "block", "i", "f", "s", "b", "a[", "a", "k", "x",
    "=", "+", "-", "*", "/", "++", "+=", ">", "==", "&&", "?", "puts", "concat", "sin",
    "if", "loop", "exec", "call", "par#", "return", "breakif", "data", "sizeof", "for",
    "(", ")", "(", ")", "{", "}", "[", "]", ";", ";", "1", "2.5", "-3", "0x1F", "\"t\"",
    "\"a\" / \"b\"", "PI", "TRUE", "`c`", ",", "\n",
};

// Walks one compiled block: records up to the end marker, inside the code page.
bool block_well_formed(Ref block) {
  if (block < codepage.base || block + 4 > codepage.first) return false;
  Ref cur = block + 4;
  for (int n = 0; n < 100000; ++n) {
    if (cur + 4 > codepage.first) return false;
    if (rd32(mem + cur) == END_MARK) return true;
    if (rd32(mem + cur + REC_HANDLER) >= H_COUNT) return false;
    cur += rec_size(mem + cur);
  }
  return false;
}

// Near-valid programs: statements from a small grammar, some of them
// then damaged by dropping or inserting tokens.
class Gen {
 public:
  explicit Gen(u32 seed) : rng_(seed) {}
  u32 pick(u32 n) { return static_cast<u32>(rng_() % n); }

  std::string operand(int depth) {
    static const char* leaves[] = {"i", "f", "s", "k", "1", "2.5", "-3", "\"x\"", "PI",
                                   "\"12\""};
    if (depth <= 0 || pick(3)) return leaves[pick(sizeof leaves / sizeof *leaves)];
    switch (pick(6)) {
      case 0: return "a[" + operand(depth - 1) + "]";
      case 1: return "(+ " + operand(depth - 1) + " " + operand(depth - 1) + ")";
      case 2: return "(" + operand(depth - 1) + " * " + operand(depth - 1) + ")";
      case 3: return "(sin " + operand(depth - 1) + ")";
      case 4: return "(concat " + operand(depth - 1) + " " + operand(depth - 1) + ")";
      default: return "(call { return (int par# 0) } " + operand(depth - 1) + ")";
    }
  }

  std::string statement(int depth) {
    switch (pick(depth > 0 ? 9 : 5)) {
      case 0: return "i = " + operand(depth) + ";";
      case 1: return "puts " + operand(depth) + ";";
      case 2: return "f = (- " + operand(depth) + " " + operand(depth) + ");";
      case 3: return "a[" + operand(depth) + "] = " + operand(depth) + ";";
      case 4: return "s = (concat " + operand(depth) + " " + operand(depth) + ");";
      case 5: return "if (" + operand(depth) + " > " + operand(depth) + ") { " + statements(depth - 1) +
                     " } { " + statements(depth - 1) + " };";
      case 6: return "loop { " + statements(depth - 1) + " breakif TRUE };";
      case 7: return "exec { int q" + std::to_string(counter_++) + "; " + statements(depth - 1) + " };";
      default: return "k = (call { " + statements(depth - 1) + " return (int par# 0) } " + operand(depth) + ");";
    }
  }

  std::string statements(int depth) {
    std::string out;
    for (u32 n = 1 + pick(3); n > 0; --n) out += statement(depth) + " ";
    return out;
  }

  // Drops or inserts a few blank-separated tokens.
  std::string damage(const std::string& src) {
    std::vector<std::string> words;
    size_t p = 0;
    while (p < src.size()) {
      size_t q = src.find(' ', p);
      if (q == std::string::npos) q = src.size();
      words.push_back(src.substr(p, q - p));
      p = q + 1;
    }
    for (u32 n = 1 + pick(3); n > 0 && !words.empty(); --n) {
      const u32 at = pick(static_cast<u32>(words.size()));
      if (pick(2))
        words.erase(words.begin() + at);
      else
        words.insert(words.begin() + at, tokens[pick(static_cast<u32>(tokens.size()))]);
    }
    std::string out;
    for (const std::string& w : words) out += w + " ";
    return out;
  }

 private:
  std::mt19937 rng_;
  int counter_ = 0;
};

TEST(CompileRandom, ProgramsCompileOrFailCleanly) {
  Gen gen(20240531);
  int compiled = 0, failed = 0;
  for (int round = 0; round < 3000; ++round) {
    fresh_env();
    optimtmpvarinit = round % 3 == 0 ? 0 : 1;
    std::string src = "int i k; float f; str s; int a[3]; ";
    switch (round % 4) {
      case 0: src += gen.statements(3); break;
      case 1: src += gen.damage(gen.statements(3)); break;
      case 2: src = gen.damage(src + gen.statements(2)); break;
      default:
        for (u32 n = 1 + gen.pick(24); n > 0; --n) src += tokens[gen.pick(static_cast<u32>(tokens.size()))] + " ";
    }
    const u32 code = compile(load(src));
    ASSERT_LT(code, 78u) << src;
    // Every type of the grammar converts into every other, so undamaged
    // programs fail only on an int literal that is no whole number.
    if (code && code != 5 && round % 4 == 0) ADD_FAILURE() << code << " in " << src;
    if (code) {
      ++failed;
      EXPECT_EQ(codepage.first, codepage.base) << src;
      continue;
    }
    ++compiled;
    for (Ref e = cnstable.base; e < cnstable.next; e += 12) {
      const VarEntry* c = S(e);
      if (c->type != TY_BLOCK) continue;
      EXPECT_EQ(c->flags & V_TEMP, 0u) << "uncompiled block in " << src;
      EXPECT_TRUE(block_well_formed(c->value)) << src;
    }
    if (optimtmpvarinit) {
      for (Ref e = rettable.base; e < rettable.next; e += 12)
        EXPECT_LT(S(e)->type, static_cast<u32>(TY_COUNT)) << "untyped temporary in " << src;
    }
  }
  optimtmpvarinit = 1;
  // Both outcomes are well represented.
  EXPECT_GT(compiled, 300);
  EXPECT_GT(failed, 1000);
}

}  // namespace
