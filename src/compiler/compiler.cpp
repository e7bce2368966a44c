// The operation-call compiler. Every statement is one call of an operation
// of funcent; operands are compiled against the operation's parameter
// descriptors, results go to temporaries, and conversions are inserted
// where a value of one type is passed where another is expected.
#include "compiler.h"

#include "emit.h"
#include "lexer.h"
#include "../runtime/env.h"
#include "../runtime/errcodes.h"
#include "../runtime/executor.h"
#include "../runtime/functable.h"
#include "../runtime/handlers.h"

namespace qv {

u64 copcount = 0;
u32 prog_level = 0;

namespace {

constexpr u32 MAX_WORDS = 32;  // parameter words of one call
constexpr u32 MAX_PROG_LEVEL = 200;

// Every array index and array size is compiled as the one int operand of
// this private entry.
const ParDesc index_par[] = {{TY_INT, 0}};
const FuncEntry index_entry = {"", H_NONE, TY_NONE, 1, 0, index_par, 0};

// The parameter words of the call being compiled.
struct ParList {
  u32 words[MAX_WORDS];  // slot refs, element-record result words, or END_MARK
  u8 marks[MAX_WORDS];   // 1: the word stands for an element known at run time
  u32 types[MAX_WORDS];  // type of each word (an element: its array's type)
  u32 count = 0;
};

// What one operand position expects: a type (TY_NONE: free) and the
// P_VARONLY / P_ARRAY flags.
struct Expect {
  u32 type;
  u8 flags;
};

ParDesc desc(const FuncEntry& f, u32 k) { return f.params ? f.params[k] : ParDesc{TY_NONE, 0}; }

// The descriptor that stands for the operands beyond minParams.
ParDesc last_desc(const FuncEntry& f) { return desc(f, f.minParams ? f.minParams - 1u : 0u); }

// For operations with a maximum and neither F_VARPARS nor F_SAMETYPE: the
// first descriptor from minParams - 1 on without a type.
ParDesc free_desc(const FuncEntry& f) {
  for (u32 k = f.minParams ? f.minParams - 1u : 0u; k < f.maxParams; ++k)
    if (desc(f, k).type == TY_NONE) return desc(f, k);
  return ParDesc{TY_NONE, 0};
}

// The selector: what operand word i of `f` expects, by F_SAMETYPE,
// F_VARPARS and whether the operation has a maximum.
Expect select(const FuncEntry& f, u32 i, const ParList& pl) {
  const bool same = f.flags & F_SAMETYPE, var = f.flags & F_VARPARS;
  const u32 first = i == 0 ? TY_NONE : pl.types[0];
  auto of = [](ParDesc d) { return Expect{d.type, d.flags}; };
  auto same_var = [&]() { return of(i < f.minParams ? desc(f, i) : last_desc(f)); };
  if (f.maxParams == 0) {
    if (!same && !var) {
      if (i >= f.minParams) compilerror(E_TOO_MANY_PARAMS);
      return of(desc(f, i));
    }
    if (same && !var) {
      if (i >= f.minParams) compilerror(E_TOO_MANY_PARAMS);
      return Expect{first, desc(f, i).flags};
    }
    if (i >= MAX_WORDS) compilerror(E_TOO_MANY_PARAMS);
    if (!same) return Expect{f.resultType, 0};
    return same_var();
  }
  if (!same && !var) {
    if (i >= f.maxParams) compilerror(E_TOO_MANY_PARAMS);
    if (i < f.minParams) return of(desc(f, i));
    return Expect{TY_NONE, free_desc(f).flags};
  }
  if (same && !var) {
    if (i >= f.maxParams) compilerror(E_TOO_MANY_PARAMS);
    return Expect{first, (i < f.minParams ? desc(f, i) : last_desc(f)).flags};
  }
  if (i >= f.maxParams) compilerror(E_EXTRA_PARAM);
  if (!same) return of(desc(f, i));
  return same_var();
}

// Whether operand k of a nested call decides a result type that the
// operation leaves open.
bool decides_type(const FuncEntry& f, u32 k) {
  if (f.maxParams == 0 || (f.flags & (F_VARPARS | F_SAMETYPE))) return k == 0;
  const ParDesc d = k < f.minParams ? desc(f, k) : free_desc(f);
  return d.type == TY_NONE;
}

u32 conversion(u32 from, u32 to) {
  return from < TY_COUNT && to < TY_COUNT ? convtab[from][to] : 0;
}

void put_word(ParList& pl, u32 word, u32 type, u8 mark = 0) {
  pl.words[pl.count] = word;
  pl.types[pl.count] = type;
  pl.marks[pl.count] = mark;
  ++pl.count;
}

// A converted copy of `src` (0: an element, patched through `dynword`)
// in a new temporary of type `to`.
Ref convert_into_temp(u32 conv, u32 to, Ref src, Ref dynword) {
  VarEntry* t = add_retvar(to);
  const Ref srcword = add_convcall(conv, ref_of(t), src);
  if (dynword) wr32(mem + dynword, srcword);
  return ref_of(t);
}

u32 unknown_op(Ref& cur, const FuncEntry*& f, Ref& start, u32* expected);
Ref _compile_op(Ref& cur, u32 stmt, u32 expected);
u32 _compile_par(Ref& cur, u32 i, ParList& pl, const FuncEntry& f, u32 stmt);

// Whether the float bit patterns of two constants are equal: pooling by
// value would merge +0.0 and -0.0.
bool equal_constants(VarEntry* earlier, VarEntry* fresh) {
  if (fresh->type == TY_FLOAT) return earlier->value == fresh->value;
  return typent[fresh->type].comp(earlier, fresh, 2) == 0;
}

// An earlier constant equal to the newest one takes its place.
VarEntry* pool_constant(VarEntry* fresh) {
  if (!(typent[fresh->type].flags & T_MERGE)) return fresh;
  const Ref self = ref_of(fresh);
  for (Ref e = cnstable.base; e < self; e += 12) {
    VarEntry* c = S(e);
    if (c->type != fresh->type || (c->flags & V_EMPTY)) continue;
    if (!equal_constants(c, fresh)) continue;
    type_del(fresh);
    cnstable.next -= 12;
    return c;
  }
  return fresh;
}

// Position of the first lexeme of the call being looked for, and the kind
// of lexeme that ended a search that found no operation.
Ref op_position = 0;
u32 op_endkind = 0;

// An index or array size: one int operand and its closing ']'.
void compile_index(Ref& cur, u32 stmt, ParList& ix) {
  NestGuard nest;
  _compile_par(cur, 0, ix, index_entry, stmt);
  if (get_lexema(cur) != LX_INDEXEND) compilerror(E_INDEX_BRACE);
}

void declare_name(Ref& cur, u32 i, ParList& pl, const FuncEntry& f, u32 stmt) {
  const bool array = lex_strip_index();
  if (is_operation()) compilerror(E_SAME_OP);
  if (is_ifrtype() != TY_NONE) compilerror(E_SAME_TYPE);
  if (is_constant()) compilerror(E_SAME_CONST);
  if (is_variable()) compilerror(E_SAME_VAR);
  VarEntry* v = add_tabvar(lex_text(), f.resultType);
  if (!array) {
    put_word(pl, ref_of(v), v->type);
    return;
  }
  if (i + 3 > MAX_WORDS) compilerror(E_TOO_MANY_PARAMS);
  ParList ix;
  compile_index(cur, stmt, ix);
  put_word(pl, END_MARK, TY_NONE);
  put_word(pl, ix.words[0], ix.types[0], ix.marks[0]);
  put_word(pl, ref_of(v), v->type);
  v->flags |= V_ARRAY;
}

void variable_operand(Ref& cur, VarEntry* v, bool indexed, Expect ex, ParList& pl, u32 stmt) {
  const bool array = v->flags & V_ARRAY;
  u32 word = ref_of(v);
  u8 mark = 0;
  if (array && indexed) {
    const Ref position = cur;
    ParList ix;
    compile_index(cur, stmt, ix);
    word = add_dynelem(position, ix.marks[0] ? 0 : ix.words[0], ref_of(v));
    // An element as index: its record fills this record's index word.
    if (ix.marks[0]) wr32(mem + ix.words[0], word + 8);
    mark = 1;
  } else if (array) {
    if (!(ex.flags & P_ARRAY)) compilerror(E_NO_ARRAY);
  } else if (indexed) {
    compilerror(E_NOT_ARRAY);
  }
  if (ex.type != TY_NONE && ex.type != v->type) {
    if (array && !indexed) compilerror(E_NO_ARRAY);
    if (ex.flags & P_VARONLY) compilerror(E_CANNOT_CONVERT);
    const u32 conv = conversion(v->type, ex.type);
    if (!conv) compilerror(E_VAR_TYPE);
    put_word(pl, convert_into_temp(conv, ex.type, mark ? 0 : word, mark ? word : 0), ex.type);
    return;
  }
  put_word(pl, word, v->type, mark);
}

void literal_operand(const LitEntry* lit, Expect ex, ParList& pl, bool forbidden) {
  if ((ex.flags & P_VARONLY) || forbidden) compilerror(E_MUST_BE_VAR);
  u32 type;
  if (lit)
    type = lit->type;
  else if (ex.type != TY_NONE)
    type = ex.type;
  else  // a free literal: numbers are float, strings str
    type = mem[last_lexema] == '"' ? TY_STR : TY_FLOAT;
  const TypeEntry& te = typent[type];
  if (!te.tf && !te.litCount) compilerror(E_VAR_TYPE);
  if (!lit && te.litCount) compilerror(E_BAD_VALUE);
  VarEntry* c = add_constant(type);
  if (lit) {
    c->value = lit->value;
  } else {
    if_c_error = E_NONE;
    if (!te.tf(at<StrDesc>(lexema), c)) compilerror(if_c_error);
  }
  c = pool_constant(c);
  if (ex.type != TY_NONE && ex.type != type) {
    const u32 conv = conversion(type, ex.type);
    if (!conv) compilerror(E_BAD_VALUE);
    put_word(pl, convert_into_temp(conv, ex.type, ref_of(c), 0), ex.type);
    return;
  }
  put_word(pl, ref_of(c), type);
}

// Compiles one operand into pl; returns the number of words it filled
// (0 at the end of the list).
u32 _compile_par(Ref& cur, u32 i, ParList& pl, const FuncEntry& f, u32 stmt) {
  const bool decl = f.flags & F_TYPED;
  bool may_init = false;
  if (decl && i > 0 && !pl.marks[i - 1] && pl.words[i - 1] != END_MARK) {
    const VarEntry* prev = S(pl.words[i - 1]);
    may_init = !(prev->flags & (V_TEMP | V_CONST | V_ARRAY)) && prev->type < TY_COUNT &&
               (typent[prev->type].flags & T_ASSIGN);
  }
  const bool forbidden = decl && !may_init;  // no value may stand here
  const u32 kind = get_lexema(cur);
  const u32 before = pl.count;
  switch (kind) {
    case LX_NAME: {
      const Expect ex = select(f, i, pl);
      if (decl && !(may_init && is_constant())) {
        declare_name(cur, i, pl, f, stmt);
        break;
      }
      const bool indexed = lex_strip_index();
      if (VarEntry* v = is_variable()) {
        variable_operand(cur, v, indexed, ex, pl, stmt);
        break;
      }
      const LitEntry* lit = indexed ? nullptr : is_constant();
      if (!lit) compilerror(E_VAR_NOT_FOUND);
      literal_operand(lit, ex, pl, forbidden);
      break;
    }
    case LX_CONST:
      literal_operand(nullptr, select(f, i, pl), pl, forbidden);
      break;
    case LX_OPEN: {
      const Expect ex = select(f, i, pl);
      if ((ex.flags & P_VARONLY) || forbidden) compilerror(E_MUST_BE_VAR);
      const Ref r = _compile_op(cur, 0, ex.type);
      put_word(pl, r, S(r)->type);
      break;
    }
    case LX_BLOCK: {
      const Expect ex = select(f, i, pl);
      if (ex.type != TY_BLOCK) compilerror(E_BAD_PARAM);
      if ((ex.flags & P_VARONLY) || forbidden) compilerror(E_MUST_BE_VAR);
      VarEntry* b = add_blconst(cur);
      skip_block(cur);
      put_word(pl, ref_of(b), TY_BLOCK);
      break;
    }
    case LX_CLOSE:
      if (stmt) compilerror(E_MISPLACED_RPAREN);
      if (i < f.minParams) compilerror(E_PARAM_COUNT);
      return 0;
    case LX_END:
    case LX_EOT:
    case LX_BLOCKEND:
      if (kind == LX_BLOCKEND && prog_level == 0) compilerror(E_NO_OPEN_BRACE);
      if (!stmt) compilerror(E_CLOSE_PAREN);
      if (i < f.minParams) compilerror(E_PARAM_COUNT);
      return 0;
    case LX_INDEX:
      compilerror(E_MISPLACED_LBRACKET);
    case LX_INDEXEND:
      compilerror(E_MISPLACED_RBRACKET);
    default:
      compilerror(E_NO_MEMORY);
  }
  return pl.count - before;
}

// Searches a statement or nested call for its operation. Returns 0 for the
// prefix form, -1 for the infix form (the first operand is read again from
// `start`), 1 when a second operand stands where the name should be. With
// `expected` given, a leading type name becomes the expected type.
u32 unknown_op(Ref& cur, const FuncEntry*& f, Ref& start, u32* expected) {
  constexpr u32 PREFIX = 0, INFIX = static_cast<u32>(-1), SECOND = 1;
  start = cur;
  f = nullptr;
  u32 state = PREFIX;
  bool first = true;
  for (;;) {
    const u32 kind = get_lexema(cur);
    if (first) op_position = last_lexema;
    first = false;
    switch (kind) {
      case LX_END:
      case LX_BLOCKEND:
      case LX_EOT:
        if (state == INFIX) compilerror(E_OP_NAME_EXPECTED);
        op_endkind = kind;
        return PREFIX;
      case LX_NAME: {
        if (const FuncEntry* op = is_operation()) {
          if (state == INFIX && !(op->flags & F_INFIX)) compilerror(E_PREFIX_ONLY);
          f = op;
          return state;
        }
        const u32 type = is_ifrtype();
        if (type != TY_NONE) {
          if (state == INFIX) compilerror(E_OP_NAME_EXPECTED);
          if (expected) {
            *expected = type;
            expected = nullptr;
            break;
          }
          funcent[OP_DECLARE].resultType = type;
          f = &funcent[OP_DECLARE];
          return PREFIX;
        }
        if (state == INFIX) return SECOND;
        state = INFIX;
        if (lex_strip_index()) {
          skip_parameter(cur);
          if (get_lexema(cur) != LX_INDEXEND) compilerror(E_INDEX_BRACE);
        }
        break;
      }
      case LX_CONST:
        if (state == INFIX) compilerror(E_OP_NAME_EXPECTED);
        state = INFIX;
        break;
      default:
        if (state == INFIX) compilerror(E_OP_NAME_EXPECTED);
        state = INFIX;
        cur = start;
        skip_parameter(cur);
        break;
    }
  }
}

// Compiles one operation call: a statement (stmt 1) or a nested call
// (stmt 0) whose value the caller needs as `expected` (TY_NONE: any).
// Returns the nested call's result slot, 0 for a statement.
Ref _compile_op(Ref& cur, u32 stmt, u32 expected) {
  NestGuard nest;
  const FuncEntry* f = nullptr;
  Ref start = 0;
  u32 E = expected;
  const u32 form = unknown_op(cur, f, start, stmt == 0 && E == TY_NONE ? &E : nullptr);
  const Ref position = op_position;
  if (form == 1) compilerror(E_UNKNOWN_OP);
  if (!f) {
    // Nothing but an end: an empty statement, or a call with no operation.
    if (op_endkind == LX_BLOCKEND && prog_level == 0) compilerror(E_NO_OPEN_BRACE);
    if (!stmt) compilerror(E_CLOSE_PAREN);
    end_op(stmt);
    return 0;
  }
  const bool infix = form != 0;
  VarEntry* result = nullptr;    // the call's value as the caller needs it
  VarEntry* opresult = nullptr;  // the operation's own result, when converted
  Ref pending = 0;               // init record of a result of undecided type
  u32 conv = 0;
  bool decided = true;
  if (!stmt) {
    if (f->flags & F_TYPED) compilerror(E_OP_NAME_EXPECTED);
    if (!(f->flags & F_RESULT)) compilerror(E_NO_RESULT);
    if (E == TY_NONE && (f->flags & F_DYNAMIC)) compilerror(E_TYPE_UNKNOWN);
    result = add_retvar(E != TY_NONE ? E : f->resultType, &pending);
    if (f->resultType == TY_NONE) {
      decided = false;
    } else if (E != TY_NONE && E != f->resultType) {
      conv = conversion(f->resultType, E);
      if (!conv) compilerror(E_NO_CONVERSION);
      opresult = add_retvar(f->resultType);
    }
  } else if ((f->flags & F_RESULT) && !(f->flags & F_IGNORABLE)) {
    compilerror(E_RESULT_UNUSED);
  }
  Ref mark = rettable.next;
  ParList pl;
  for (u32 k = 0; !end_op(stmt); ++k) {
    const u32 before = pl.count;
    const u32 n = _compile_par(infix && k == 0 ? start : cur, pl.count, pl, *f, stmt);
    if (n == 0 || decided || !decides_type(*f, k)) continue;
    const u32 t = pl.types[before];
    decided = true;
    if (E == TY_NONE) {
      result->type = t;
      if (pending) {
        wr32(mem + pending + REC_HANDLER, typent[t].init);
        mem[pending + REC_EXTRA] = static_cast<u8>(t + 1);
      }
    } else if (t != E && !delivers_converted(*f)) {
      conv = conversion(t, E);
      if (!conv) compilerror(E_NO_CONVERSION);
      opresult = add_retvar(t);
      mark = rettable.next;
    }
  }
  // No operand decided the result's type, and no context gives one: its
  // temporary could not be initialised.
  if (result && result->type == TY_NONE) compilerror(E_TYPE_UNKNOWN);
  ++copcount;
  add_debugptr(position);
  const Ref recresult = opresult ? ref_of(opresult)
                        : (f->flags & F_TYPED) ? f->resultType
                        : result ? ref_of(result) : 0;
  add_operation(*f, pl.count, recresult, pl.words, stmt, pl.marks, infix);
  if (!optimtmpvarinit && rettable.next != mark) add_delvars(rettable, mark);
  if (conv) add_convcall(conv, ref_of(result), ref_of(opresult));
  return result ? ref_of(result) : 0;
}

// Compiles one text (the program or a block body) into one block, then the
// blocks it holds, newest first.
void _compile(VarEntry* blk) {
  vartable.next = vartable.first;
  varname.next = varname.first;
  const Ref varmark = vartable.next;
  const Ref namemark = varname.next;
  // Without the optimisation every call gives its temporaries back, so the
  // top has sunk to where the enclosing text started. A block runs while
  // the operation that runs it (and its temporaries) is still going on:
  // its temporaries start above every one handed out so far.
  if (!optimtmpvarinit && ret_high > rettable.next) rettable.next = ret_high;
  rettable.first = rettable.next;
  const Ref cnsmark = cnstable.next;

  const Ref block = codepage.first;
  add_debugptr(0);  // the clean-up pointer, filled in below
  const Ref tmpcount = optimtmpvarinit ? add_alltmpinits() : 0;

  Ref cur = blk->value;
  do {
    _compile_op(cur, 1, TY_NONE);
  } while (!end_stream());

  if (tmpcount)
    mem[tmpcount + 1] = static_cast<u8>((rettable.next - rettable.first) / 12);
  wr32(mem + block, add_delvars(vartable, varmark));
  varname.next = namemark;
  add_debugptr(END_MARK);

  blk->flags &= ~V_TEMP;
  blk->value = block;

  // Uncompiled block constants (V_CODE and V_TEMP) of this text; at least
  // the newest entry is looked at.
  Ref e = cnstable.next;
  do {
    e -= 12;
    VarEntry* c = S(e);
    if ((c->flags & (V_CODE | V_TEMP)) == (V_CODE | V_TEMP) && c->type == TY_BLOCK &&
        !(c->flags & V_EMPTY)) {
      if (++prog_level > MAX_PROG_LEVEL) compilerror(E_NESTING);
      _compile(c);
      --prog_level;
    }
  } while (e > cnsmark);
}

}  // namespace

u32 compile(Ref text) {
  copcount = 0;
  prog_level = 0;
  ret_high = rettable.next;
  lx_nesting = 0;
  _endoperation = _endcall = _endfragment = 0;
  try {
    VarEntry* main = add_blconst(text);
    _compile(main);
  } catch (const CompileError& e) {
    return e.code ? e.code : E_NO_MEMORY;
  }
  return 0;
}

}  // namespace qv
