// The lexer's corner cases: string limits and escapes, continuation,
// comments, and skipping of blocks and parameters that compile later.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "compiler/emit.h"
#include "compiler/lexer.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

std::string lexeme() { return std::string(lex_text(), lex_len()); }

// Every lexeme of `src` up to the end of the text, as kind and text.
std::vector<std::pair<u32, std::string>> lex_all(const std::string& src) {
  Ref cur = place_text(src);
  std::vector<std::pair<u32, std::string>> out;
  for (;;) {
    u32 k = get_lexema(cur);
    if (k == LX_EOT) return out;
    out.emplace_back(k, lexeme());
  }
}

// The error code that lexing `src` to its end raises, 0 when none.
u32 lex_error(const std::string& src) {
  try {
    lex_all(src);
  } catch (const CompileError& e) {
    return e.code;
  }
  return 0;
}

class Lexer : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_env();
    lx_nesting = 0;
    _endoperation = _endcall = _endfragment = 0;
  }
};

using L = std::vector<std::pair<u32, std::string>>;

TEST_F(Lexer, NamesConstantsAndSeparators) {
  struct Case { const char* src; L want; } cases[] = {
      {"a+b", {{LX_NAME, "a+b"}}},
      {"max a, b", {{LX_NAME, "max"}, {LX_NAME, "a"}, {LX_NAME, "b"}}},
      {"PI/2 +1/SQRT2", {{LX_NAME, "PI/2"}, {LX_CONST, "+1/SQRT2"}}},
      {"3/4 1.5e-3", {{LX_CONST, "3/4"}, {LX_CONST, "1.5e-3"}}},
      {"-5 +7 - -x", {{LX_CONST, "-5"}, {LX_CONST, "+7"}, {LX_NAME, "-"}, {LX_NAME, "-x"}}},
      {"x[3]", {{LX_NAME, "x["}, {LX_CONST, "3"}, {LX_INDEXEND, ""}}},
      {"x [3]", {{LX_NAME, "x"}, {LX_INDEX, ""}, {LX_CONST, "3"}, {LX_INDEXEND, ""}}},
      {"(f);{}", {{LX_OPEN, ""}, {LX_NAME, "f"}, {LX_CLOSE, ""}, {LX_END, ""}, {LX_BLOCK, ""},
                  {LX_BLOCKEND, ""}}},
      {"a\tb\r\n\xA0 c", {{LX_NAME, "a"}, {LX_NAME, "b"}, {LX_NAME, "c"}}},
      {"x=y", {{LX_NAME, "x=y"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(lex_all(c.src), c.want) << c.src;
}

TEST_F(Lexer, EndOfTextMarkInsideTheFileEndsIt) {
  EXPECT_EQ(lex_all(std::string("a\x1A b")), (L{{LX_NAME, "a"}}));
  Ref cur = place_text("");
  EXPECT_EQ(get_lexema(cur), LX_EOT);
  EXPECT_EQ(get_lexema(cur), LX_EOT);  // stays on the mark
}

TEST_F(Lexer, StringConstants) {
  struct Case { const char* src; std::string want; } cases[] = {
      {"\"a\\nb\\t\\r\\v\\b\\f\"", std::string("a\nb\t\r\v\b\f")},
      {"\"\\65\\066\\321\"", "ABA"},  // decimal escapes, modulo 256
      {"\"\\\"\\\\\\;\\(\\}\\/\\q\"", "\"\\;(}/q"},
      {"\"ab\" /\n  \"cd\"/\"e\"", "abcde"},
      {"\"a b,c\"", "a b,c"},
  };
  for (const Case& c : cases) {
    Ref cur = place_text(c.src);
    EXPECT_EQ(get_lexema(cur), LX_CONST) << c.src;
    EXPECT_EQ(lexeme(), c.want) << c.src;
    EXPECT_EQ(get_lexema(cur), LX_EOT) << c.src;
  }
}

TEST_F(Lexer, EscapedNulAndNulAfterBackslash) {
  Ref cur = place_text(std::string("\"a\\0b\"", 6));
  get_lexema(cur);
  EXPECT_EQ(lexeme(), std::string("a\0b", 3));
  // A NUL byte after the backslash is dropped; the next byte is kept as is.
  cur = place_text(std::string("\"\\\0n\"", 5));
  get_lexema(cur);
  EXPECT_EQ(lexeme(), "n");
}

TEST_F(Lexer, StringErrors) {
  struct Case { std::string src; u32 code; } cases[] = {
      {"\"abc", 18},   {"\"a;b\"", 18}, {"\"a(b\"", 18}, {"\"a)b\"", 18}, {"\"a{b\"", 18},
      {"\"a}b\"", 18}, {"\"a/b\"", 18}, {"\"a`b\"", 18}, {std::string("\"a\0b\"", 5), 18},
      {"\"a\\", 18},  // an escaped end of text
      {std::string("\"a\\\0", 4), 18}, {"\"ab\" / 5", 25}, {"\"ab\" / x \"cd\"", 25},
      {"\"ab\" /", 25},
  };
  for (const Case& c : cases) EXPECT_EQ(lex_error(c.src), c.code) << c.src;
}

TEST_F(Lexer, StringLengthLimit) {
  const std::string s256(256, 'x');
  Ref cur = place_text("\"" + s256 + "\"");
  EXPECT_EQ(get_lexema(cur), LX_CONST);
  EXPECT_EQ(lex_len(), 256u);
  EXPECT_EQ(lex_error("\"" + s256 + "y\""), 18u);
  // The limit counts the whole continued string.
  EXPECT_EQ(lex_error("\"" + std::string(200, 'a') + "\" / \"" + std::string(56, 'b') + "\""), 0u);
  EXPECT_EQ(lex_error("\"" + std::string(200, 'a') + "\" / \"" + std::string(57, 'b') + "\""),
            18u);
  EXPECT_EQ(lex_error("\"" + std::string(255, 'a') + "\\65\""), 0u);
  EXPECT_EQ(lex_error("\"" + std::string(256, 'a') + "\\65\""), 18u);
}

TEST_F(Lexer, LongNamesAndNumbersAreRefused) {
  EXPECT_EQ(lex_error(std::string(256, 'n')), 0u);
  EXPECT_EQ(lex_error(std::string(257, 'n')), 9u);
  EXPECT_EQ(lex_error(std::string(300, '7')), 9u);
}

TEST_F(Lexer, Comments) {
  EXPECT_EQ(lex_all("`a comment` x"), (L{{LX_NAME, "x"}}));
  EXPECT_EQ(lex_all("`one``two` ;"), (L{{LX_END, ""}}));
  EXPECT_EQ(lex_all("a `it's \"quoted\" (here); }` b"), (L{{LX_NAME, "a"}, {LX_NAME, "b"}}));
  // A comment left open runs to the end of the text.
  EXPECT_EQ(lex_all("x `never closed ;"), (L{{LX_NAME, "x"}}));
  // A comment is read lexeme by lexeme: its strings must be valid.
  EXPECT_EQ(lex_error("`an \"open string` x"), 18u);
}

// Skips `src` as a block body (after its opening brace) or as a parameter:
// the error code, or 0 and the four characters after what was skipped.
std::pair<u32, std::string> skipped(void (*skip)(Ref&), const std::string& src) {
  Ref cur = place_text(src);
  lx_nesting = 0;
  try {
    skip(cur);
  } catch (const CompileError& e) {
    return {e.code, ""};
  }
  return {0, std::string(reinterpret_cast<const char*>(mem + cur), 4)};
}

TEST_F(Lexer, SkipBlockAndParameter) {
  using R = std::pair<u32, std::string>;
  const R rest{0, "rest"};
  for (const char* body : {"} rest", "x { y { z } } } rest", "puts \"a\\\"\\}\" } rest"})
    EXPECT_EQ(skipped(skip_block, body), rest) << body;
  for (const char* open : {"a { b }", "\"abc", "a \"\\"})
    EXPECT_EQ(skipped(skip_block, open), (R{24, ""})) << open;
  const std::pair<const char*, R> cases[] = {
      {"5 rest", rest},         {"x[(a + b[2])] rest", rest},
      {"(a (b {c; d}) \"s\") rest", rest},
      {"; x", {12, ""}},        {"(a ; b)", {12, ""}},  {") x", {51, ""}},
      {"{ x }", {63, ""}},      {"} x", {23, ""}},      {"] x", {49, ""}},
      {"[ x", {48, ""}},        {"x[1 y", {43, ""}},    {"(a [ b)", {48, ""}},
  };
  for (const auto& [src, want] : cases) EXPECT_EQ(skipped(skip_parameter, src), want) << src;
}

}  // namespace
