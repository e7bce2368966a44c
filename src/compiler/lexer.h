// The lexer: cuts the loaded source text into lexemes for the compiler.
// It works on the text in place; the source cursor is an arena reference
// passed by reference and advanced past each lexeme, and the lexeme's text
// lands in the lexeme buffer `lexema` (env.h). `last_lexema` (env.h)
// follows the most recent lexeme, for error reports and record positions.
#pragma once

#include "../runtime/qv.h"

namespace qv {

// Lexeme kinds returned by lx_analyse and get_lexema.
enum : u32 {
  LX_NAME = 1,      // operation, type, variable or named constant; may end in '['
  LX_END = 2,       // ;
  LX_EOT = 3,       // end of text (0x1A)
  LX_OPEN = 4,      // (
  LX_CLOSE = 5,     // )
  LX_BLOCK = 6,     // {
  LX_BLOCKEND = 7,  // }
  LX_COMMENT = 8,   // ` opens and closes a comment
  LX_CONST = 9,     // a number or a string constant
  LX_INDEXEND = 11, // ]
  LX_INDEX = 12,    // [ standing alone
};

constexpr u8 LX_EOT_CHAR = 0x1A;

// End flags: set by lx_analyse, consumed by end_op and end_stream.
extern u32 _endoperation;  // ';', '}', end of text: the statement ends
extern u32 _endcall;       // ')': the parenthesised call ends
extern u32 _endfragment;   // '}', end of text: the program or block body ends

// Nesting of parenthesised operands, indexes and skipped groups, counted by
// the lexer's skipper and the compiler alike. Deeper nesting is error 53
// rather than exhaustion of the native stack.
constexpr u32 MAX_NESTING = 200;
extern u32 lx_nesting;
struct NestGuard {
  NestGuard();
  ~NestGuard() { --lx_nesting; }
  NestGuard(const NestGuard&) = delete;
  NestGuard& operator=(const NestGuard&) = delete;
};

// Steps over blank characters (those outside lex_limit), never past 0x1A.
void skip(Ref& cur);

// Reads one lexeme into the buffer; comments are returned as LX_COMMENT.
u32 lx_analyse(Ref& cur, StrDesc* lx);

// Resets the buffer and reads the next lexeme, removing comments.
u32 get_lexema(Ref& cur);

// With the cursor on the first character of a block body, moves it past
// the matching '}' and the blanks behind it.
void skip_block(Ref& cur);

// Moves the cursor past one operand, checking only its bracket structure.
void skip_parameter(Ref& cur);

// _endoperation (stmt non-zero) or _endcall (stmt zero); clears both.
u32 end_op(u32 stmt);
// _endfragment, which it clears.
u32 end_stream();

// The current lexeme's text and length.
const char* lex_text();
u32 lex_len();
// Removes a trailing '[' from the current lexeme; true when there was one.
bool lex_strip_index();

}  // namespace qv
