#include "lexer.h"

#include "emit.h"
#include "../runtime/limiter.h"
#include "../runtime/env.h"
#include "../runtime/errcodes.h"

namespace qv {

u32 _endoperation = 0;
u32 _endcall = 0;
u32 _endfragment = 0;
u32 lx_nesting = 0;

NestGuard::NestGuard() {
  if (++lx_nesting > MAX_NESTING) compilerror(E_NESTING);
}

namespace {

inline StrDesc* lx_buf() { return at<StrDesc>(lexema); }

inline bool is_digit(u8 c) { return c >= '0' && c <= '9'; }

// Characters a string constant may not hold unescaped: they would end a
// statement, a call or a block if the string were ever skipped raw.
bool string_breaker(u8 c) {
  switch (c) {
    case LX_EOT_CHAR: case ';': case '(': case ')': case '{': case '}': case 0: case '/':
    case '`':
      return true;
    default:
      return false;
  }
}

void put_char(StrDesc* lx, u8 c) {
  mem[lx->cursor] = c;
  ++lx->cursor;
}

// Names and numbers: the longest run of name characters and '/', ended
// early by a '[' that is taken in. The buffer holds 256 characters; a
// longer run is refused instead of overrunning it.
void scan_word(Ref& cur, StrDesc* lx) {
  for (;;) {
    const u8 c = mem[cur];
    if (c != '/' && lx_delimit(c, sp_limit)) return;
    if (lx->cursor >= lx->limit) compilerror(E_STR_TOO_LONG);
    put_char(lx, c);
    ++cur;
    if (c == '[') return;
  }
}

// One escape after a backslash; the cursor stands on the escaped character.
void scan_escape(Ref& cur, StrDesc* lx) {
  u8 c = mem[cur];
  // The end of the text cannot be escaped: the scan would leave the text.
  if (c == LX_EOT_CHAR) compilerror(E_UNTERMINATED_STR);
  if (c == 0) {
    // A NUL after the backslash is dropped; the byte after it is kept as is.
    ++cur;
    c = mem[cur];
    if (c == LX_EOT_CHAR) compilerror(E_UNTERMINATED_STR);
    put_char(lx, c);
    ++cur;
    return;
  }
  if (is_digit(c)) {
    u32 v = 0;
    while (is_digit(mem[cur])) {
      v = (v * 10u + (mem[cur] - '0')) & 0xFFu;
      ++cur;
    }
    put_char(lx, static_cast<u8>(v));
    return;
  }
  switch (c) {
    case 'n': c = 10; break;
    case 'r': c = 13; break;
    case 't': c = 9; break;
    case 'v': c = 11; break;
    case 'b': c = 8; break;
    case 'f': c = 12; break;
    default: break;
  }
  put_char(lx, c);
  ++cur;
}

// A string constant, with the cursor on its opening quote. Continuations
// ("ab" / "cd") append to the same buffer.
void scan_string(Ref& cur, StrDesc* lx) {
  for (;;) {
    ++cur;  // the opening quote
    for (;;) {
      const u8 c = mem[cur];
      if (c == '"') break;
      if (lx->cursor >= lx->limit) compilerror(E_UNTERMINATED_STR);
      if (c == '\\') {
        ++cur;
        scan_escape(cur, lx);
        continue;
      }
      if (string_breaker(c)) compilerror(E_UNTERMINATED_STR);
      put_char(lx, c);
      ++cur;
    }
    ++cur;  // the closing quote
    skip(cur);
    if (mem[cur] != '/') return;
    ++cur;
    skip(cur);
    if (mem[cur] != '"') compilerror(E_STR_CONTINUED);
  }
}

// After a name lexeme: an indexed element's index and its ']'.
void skip_index_of_name(Ref& cur) {
  const StrDesc* lx = lx_buf();
  if (lx->end == lx->start || mem[lx->end - 1] != '[') return;
  skip_parameter(cur);
  if (get_lexema(cur) != LX_INDEXEND) compilerror(E_INDEX_BRACE);
}

}  // namespace

void skip(Ref& cur) {
  while (mem[cur] != LX_EOT_CHAR && lx_delimit(mem[cur], lex_limit)) ++cur;
}

u32 lx_analyse(Ref& cur, StrDesc* lx) {
  skip(cur);
  lx->cursor = lx->start;
  const u8 c = mem[cur];
  if (c == LX_EOT_CHAR) {
    _endoperation = 1;
    _endfragment = 1;
    return LX_EOT;
  }
  last_lexema = cur;
  _endcall = _endfragment = _endoperation = 0;
  u32 kind;
  switch (c) {
    case '"': scan_string(cur, lx); kind = LX_CONST; break;
    case '(': ++cur; kind = LX_OPEN; break;
    case ')': ++cur; kind = LX_CLOSE; _endcall = 1; break;
    case ';': ++cur; kind = LX_END; _endoperation = 1; break;
    case '{': ++cur; kind = LX_BLOCK; break;
    case '}': ++cur; kind = LX_BLOCKEND; _endoperation = 1; _endfragment = 1; break;
    case '[': ++cur; kind = LX_INDEX; break;
    case ']': ++cur; kind = LX_INDEXEND; break;
    case '`': ++cur; kind = LX_COMMENT; break;
    default:
      kind = is_digit(c) || ((c == '+' || c == '-') && is_digit(mem[cur + 1])) ? LX_CONST : LX_NAME;
      scan_word(cur, lx);
      break;
  }
  lx->end = lx->cursor;
  mem[lx->end] = 0;
  skip(cur);
  return kind;
}

u32 get_lexema(Ref& cur) {
  StrDesc* lx = lx_buf();
  lx_reset();
  u32 kind = lx_analyse(cur, lx);
  while (kind == LX_COMMENT) {
    do {
      lx_reset();
      kind = lx_analyse(cur, lx);
    } while (kind != LX_COMMENT && kind != LX_EOT);
    lx_reset();
    kind = lx_analyse(cur, lx);
  }
  return kind;
}

// Blocks are compiled later from their saved position, so their body is
// only stepped over here: raw, counting braces and stepping over strings.
// The body's first character is looked at only for '}' and the end.
void skip_block(Ref& cur) {
  last_lexema = cur;
  if (mem[cur] == '}') {
    ++cur;
    skip(cur);
    return;
  }
  u32 depth = 0;
  for (;;) {
    if (mem[cur] == LX_EOT_CHAR) compilerror(E_NO_CLOSE_BRACE);
    ++cur;
    const u8 c = mem[cur];
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (depth > 0) {
        --depth;
        continue;
      }
    } else if (c == '"') {
      ++cur;
      while (mem[cur] != LX_EOT_CHAR && in_brk_limit(mem[cur])) {
        if (mem[cur] == '\\') {
          ++cur;
          if (mem[cur] != LX_EOT_CHAR) ++cur;
        } else {
          ++cur;
        }
      }
    } else {
      continue;
    }
    if (mem[cur] == '}' && depth == 0) {
      ++cur;
      skip(cur);
      return;
    }
  }
}

void skip_parameter(Ref& cur) {
  NestGuard nest;
  switch (get_lexema(cur)) {
    case LX_NAME:
      skip_index_of_name(cur);
      return;
    case LX_CONST:
      return;
    case LX_OPEN:
      for (;;) {
        const Ref back = cur;
        const u32 kind = get_lexema(cur);
        if (kind == LX_CLOSE) return;
        if (kind == LX_NAME) {
          skip_index_of_name(cur);
        } else if (kind == LX_BLOCK) {
          skip_block(cur);
        } else if (kind != LX_CONST) {
          // Inner parentheses nest; the other kinds meet their errors there.
          cur = back;
          skip_parameter(cur);
        }
      }
    case LX_END:
    case LX_EOT:
      compilerror(E_UNEXPECTED_END);
    case LX_CLOSE:
      compilerror(E_MISPLACED_RPAREN);
    case LX_BLOCK:
      compilerror(E_NO_BLOCK);
    case LX_BLOCKEND:
      compilerror(E_NO_OPEN_BRACE);
    case LX_INDEXEND:
      compilerror(E_MISPLACED_RBRACKET);
    case LX_INDEX:
      compilerror(E_MISPLACED_LBRACKET);
    default:
      compilerror(E_NO_MEMORY);
  }
}

u32 end_op(u32 stmt) {
  const u32 r = stmt ? _endoperation : _endcall;
  _endoperation = _endcall = 0;
  return r;
}

u32 end_stream() {
  const u32 r = _endfragment;
  _endfragment = 0;
  return r;
}

const char* lex_text() { return reinterpret_cast<const char*>(mem + lx_buf()->start); }
u32 lex_len() { return lx_buf()->end - lx_buf()->start; }

bool lex_strip_index() {
  StrDesc* lx = lx_buf();
  if (lx->end == lx->start || mem[lx->end - 1] != '[') return false;
  --lx->end;
  mem[lx->end] = 0;
  return true;
}

}  // namespace qv
