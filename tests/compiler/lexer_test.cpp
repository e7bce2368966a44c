// The lexer: kinds of lexemes, string limits and escapes, continuation,
// comments, and skipping blocks and parameters that compile later.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "compiler/emit.h"
#include "compiler/lexer.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

using L = std::vector<std::pair<u32, std::string>>;

// Every lexeme of `src` as kind and text, then the error code (0: none).
std::pair<L, u32> lex_all(const std::string& src) {
  fresh_env();
  lx_nesting = 0;
  _endoperation = _endcall = _endfragment = 0;
  Ref cur = place_text(src);
  L out;
  try {
    for (u32 k; (k = get_lexema(cur)) != LX_EOT;) out.emplace_back(k, std::string(lex_text(), lex_len()));
  } catch (const CompileError& e) {
    return {out, e.code};
  }
  EXPECT_EQ(get_lexema(cur), LX_EOT) << "stays on the end mark";
  return {out, 0};
}
L lexemes(const std::string& src) { return lex_all(src).first; }
u32 lex_error(const std::string& src) { return lex_all(src).second; }

TEST(Lexer, KindsOfLexemes) {
  const std::pair<std::string, L> cases[] = {
      {"a+b x=y", {{LX_NAME, "a+b"}, {LX_NAME, "x=y"}}},
      {"max a, b", {{LX_NAME, "max"}, {LX_NAME, "a"}, {LX_NAME, "b"}}},
      {"PI/2 +1/SQRT2 3/4 1.5e-3", {{LX_NAME, "PI/2"}, {LX_CONST, "+1/SQRT2"}, {LX_CONST, "3/4"},
                                    {LX_CONST, "1.5e-3"}}},
      {"-5 +7 - -x", {{LX_CONST, "-5"}, {LX_CONST, "+7"}, {LX_NAME, "-"}, {LX_NAME, "-x"}}},
      {"x[3] x [3]", {{LX_NAME, "x["}, {LX_CONST, "3"}, {LX_INDEXEND, ""}, {LX_NAME, "x"},
                      {LX_INDEX, ""}, {LX_CONST, "3"}, {LX_INDEXEND, ""}}},
      {"(f);{}", {{LX_OPEN, ""}, {LX_NAME, "f"}, {LX_CLOSE, ""}, {LX_END, ""}, {LX_BLOCK, ""},
                  {LX_BLOCKEND, ""}}},
      {"a\tb\r\n\xA0 c", {{LX_NAME, "a"}, {LX_NAME, "b"}, {LX_NAME, "c"}}},
      {"a\x1A b", {{LX_NAME, "a"}}},  // the end mark ends the text wherever it is
      // Comments, read lexeme by lexeme; one left open runs to the end.
      {"`one``two` ; a `it's \"quoted\" (here); }` b", {{LX_END, ""}, {LX_NAME, "a"}, {LX_NAME, "b"}}},
      {"x `never closed ;", {{LX_NAME, "x"}}},
      // Strings: escapes (decimal ones modulo 256), continuation.
      {"\"a\\nb\\t\\r\\v\\b\\f\"", {{LX_CONST, "a\nb\t\r\v\b\f"}}},
      {"\"\\65\\066\\321\" \"a b,c\"", {{LX_CONST, "ABA"}, {LX_CONST, "a b,c"}}},
      {"\"\\\"\\\\\\;\\(\\}\\/\\q\"", {{LX_CONST, "\"\\;(}/q"}}},
      {"\"ab\" /\n  \"cd\"/\"e\"", {{LX_CONST, "abcde"}}},
      {std::string("\"a\\0b\" \"\\\0n\"", 12), {{LX_CONST, std::string("a\0b", 3)}, {LX_CONST, "n"}}},
  };
  for (const auto& [src, want] : cases) EXPECT_EQ(lex_all(src), (std::pair{want, 0u})) << src;
}

TEST(Lexer, StringsNamesAndNumbersTooLongOrBroken) {
  const std::string a200(200, 'a');
  const std::pair<std::string, u32> cases[] = {
      {"\"abc", 18}, {"\"a;b\"", 18}, {"\"a(b\"", 18}, {"\"a)b\"", 18}, {"\"a{b\"", 18},
      {"\"a}b\"", 18}, {"\"a/b\"", 18}, {"\"a`b\"", 18}, {std::string("\"a\0b\"", 5), 18},
      {"\"a\\", 18}, {std::string("\"a\\\0", 4), 18}, {"`an \"open string` x", 18},
      {"\"ab\" / 5", 25}, {"\"ab\" / x \"cd\"", 25}, {"\"ab\" /", 25},
      // 256 characters at most, the whole continued string counted.
      {"\"" + std::string(256, 'x') + "\"", 0}, {"\"" + std::string(257, 'x') + "\"", 18},
      {"\"" + a200 + "\" / \"" + std::string(56, 'b') + "\"", 0},
      {"\"" + a200 + "\" / \"" + std::string(57, 'b') + "\"", 18},
      {"\"" + std::string(255, 'a') + "\\65\"", 0}, {"\"" + std::string(256, 'a') + "\\65\"", 18},
      {std::string(256, 'n'), 0}, {std::string(257, 'n'), 9}, {std::string(300, '7'), 9},
  };
  for (const auto& [src, code] : cases) EXPECT_EQ(lex_error(src), code) << src.substr(0, 40);
  EXPECT_EQ(lexemes("\"" + std::string(256, 'x') + "\"")[0].second.size(), 256u);
}

// Skips `src` as a block body (after its opening brace) or as a parameter:
// the error code, or 0 and the four characters after what was skipped.
std::pair<u32, std::string> skipped(void (*skip)(Ref&), const std::string& src) {
  fresh_env();
  Ref cur = place_text(src);
  lx_nesting = 0;
  try {
    skip(cur);
  } catch (const CompileError& e) {
    return {e.code, ""};
  }
  return {0, std::string(reinterpret_cast<const char*>(mem + cur), 4)};
}

TEST(Lexer, SkipBlockAndParameter) {
  using R = std::pair<u32, std::string>;
  const R rest{0, "rest"};
  for (const char* body : {"} rest", "x { y { z } } } rest", "puts \"a\\\"\\}\" } rest"})
    EXPECT_EQ(skipped(skip_block, body), rest) << body;
  for (const char* open : {"a { b }", "\"abc", "a \"\\"})
    EXPECT_EQ(skipped(skip_block, open), (R{24, ""})) << open;
  const std::pair<const char*, R> cases[] = {
      {"5 rest", rest},    {"x[(a + b[2])] rest", rest}, {"(a (b {c; d}) \"s\") rest", rest},
      {"; x", {12, ""}},   {"(a ; b)", {12, ""}},        {") x", {51, ""}},
      {"{ x }", {63, ""}}, {"} x", {23, ""}},            {"] x", {49, ""}},
      {"[ x", {48, ""}},   {"x[1 y", {43, ""}},          {"(a [ b)", {48, ""}},
  };
  for (const auto& [src, want] : cases) EXPECT_EQ(skipped(skip_parameter, src), want) << src;
}

}  // namespace
