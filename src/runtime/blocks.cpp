// Blocks: the block type's slot handlers, the operations that run blocks
// (control flow) and the block parameter stack of "call".
//
// A block value is the arena reference of the block's clean-up word; copies
// share the code. Control flow never unwinds the native stack by itself: an
// operation that leaves loops sets a level, every executor loop on the way
// out returns early, and the loop (or the "call") that the level is meant
// for consumes it.
#include "blocks.h"

#include "arena.h"
#include "errcodes.h"
#include "env.h"
#include "executor.h"
#include "executor_loop.h"
#include "handlers.h"
#include "strbase.h"
#include "variables.h"

namespace qv {

u16 block_nesty = 0;
InnerFrame inner_frame{};

namespace {

inline u32 nparams(u32 count) { return count & 0xFF; }

// A slot that is not a named variable or an array element may not be
// written through the frame.
constexpr u32 NOT_VARIABLE = V_TEMP | V_ARRAY | V_CONST;

}  // namespace

u32 _brk_cont() {
  if (brk_level < 0) return 1;  // a "return": every loop up to its call ends
  if (brk_level > 0) {
    --brk_level;
    return 1;
  }
  if (cont_level > 0) return --cont_level != 0;
  return 0;
}

// ---- the block type ------------------------------------------------------------

u32 bl_init(Ref, const u8* params, u32) {
  VarEntry* s = P(params, 0);
  if (!(s->flags & V_EMPTY)) return fail(E_BAD_INIT);
  s->flags = (s->flags & ~V_EMPTY) | V_CODE;
  s->type = TY_BLOCK;
  s->value = END_BLOCK;
  return 1;
}

u32 bl_clr(Ref, const u8* params, u32) {
  P(params, 0)->value = END_BLOCK;
  return 1;
}

u32 bl_assign(VarEntry* d, VarEntry* s, u32) {
  d->value = s->value;
  return 1;
}

u32 bl_del(Ref, const u8* params, u32) {
  VarEntry* s = P(params, 0);
  if (s->flags & V_EMPTY) return fail(E_DEL_NOT_INIT);
  s->flags |= V_EMPTY;
  s->value = END_BLOCK;
  return 1;
}

// Saved form: the empty block as the words 0, 0xFFFFFFFF (which is what the
// arena's END_BLOCK itself holds, so it is handed out as is); any other block
// as its offset from the code page's base and the word 0, in a buffer of 8
// bytes allocated per call that the caller releases (X_RELEASE). A per-call
// buffer stays valid however long the caller keeps it.
u32 bl_makesv(Exchange* x, VarEntry* s) {
  x->length = 8;
  if (s->value == END_BLOCK) {
    x->bytes = END_BLOCK;
    x->flags &= static_cast<u8>(~X_RELEASE);
    return 1;
  }
  Ref buf = arena_alloc(8);
  if (!buf) return fail(E_NO_MEMORY);
  wr32(mem + buf, s->value - codepage.base);
  wr32(mem + buf + 4, 0);
  x->bytes = buf;
  x->flags |= X_RELEASE;
  return 1;
}

// A saved offset that would put the block outside the code page is refused:
// running it would walk memory that holds no records.
u32 bl_makeld(Exchange* x, VarEntry* s) {
  if (x->length != 8) return fail(E_PROG_RECORD);
  const u32 off = rd32(mem + x->bytes);
  const u32 second = rd32(mem + x->bytes + 4);
  if (off == 0 && second == END_MARK) {
    s->value = END_BLOCK;
  } else {
    const u32 size = codepage.end - codepage.base;
    if (second != 0 || size < 8 || off > size - 8) return fail(E_PROG_RECORD);
    s->value = codepage.base + off;
  }
  s->flags |= V_CODE;
  x->flags |= X_RELEASE;  // the bytes were the caller's buffer: nobody keeps them
  return 1;
}

// ---- running blocks ---------------------------------------------------------------

// The executor's loop runs these operations as steps of their own kinds
// (step_kinds.h); as handlers they start that loop with the one step.
u32 l_bl_exec(Ref, const u8* params, u32 count) {
  return run_from_handler(Step::EXEC, 0, params, count);
}

// "if": the chosen block runs as "exec" of that one operand, with the form
// byte passed on.
u32 log_if(Ref, const u8* params, u32 count) { return if_blocks(params, count); }

u32 l_loop(Ref, const u8* params, u32 count) {
  return run_from_handler(Step::LOOP, 0, params, count);
}

u32 l_for(Ref, const u8* params, u32 count) {
  return run_from_handler(Step::FOR, 0, params, count);
}

u32 l_break(Ref, const u8*, u32) {
  brk_level = 1;
  return 1;
}

u32 l_brkif(Ref, const u8* params, u32) {
  brk_level = P(params, 0)->value != 0;
  return 1;
}

u32 l_cont(Ref, const u8*, u32) {
  cont_level = 1;
  return 1;
}

u32 l_contif(Ref, const u8* params, u32) {
  cont_level = P(params, 0)->value != 0;
  return 1;
}

u32 l_stop(Ref, const u8*, u32) {
  on_stop = 1;
  return 1;
}

u32 l_switch(Ref, const u8* params, u32 count) {
  return run_from_handler(Step::SWITCH, 0, params, count);
}

u32 l_case(Ref result, const u8* params, u32 count) {
  VarEntry* v = P(params, 0);
  if (v->type >= TY_COUNT || !typent[v->type].comp) return fail(E_BAD_TYPE);
  const CompFn comp = typent[v->type].comp;
  const u32 candidates = nparams(count) - 1;
  u32 pos = 0;
  for (; pos < candidates; ++pos) {
    VarEntry* const c = P(params, pos + 1);
    if (plain_texts(v, c) ? st_equal(str_desc(v), str_desc(c)) : comp(v, c, 2) == 0) break;
  }
  if (result) S(result)->value = pos;
  return 1;
}

u32 l_bl_code(Ref, const u8* params, u32) {
  VarEntry* dst = P(params, 0);
  const VarEntry* src = P(params, 1);
  // A block variable whose declaration has not run carries no V_CODE yet.
  if (!(src->flags & V_CODE)) return fail(E_BAD_TYPE);
  if ((src->flags | dst->flags) & V_EMPTY) return fail(E_NOT_INIT);
  dst->value = src->value;
  dst->flags |= V_CODE;
  return 1;
}

// ---- calls and their parameters ----------------------------------------------------

u32 l_bl_call(Ref result, const u8* params, u32 count) {
  return run_from_handler(Step::CALL_BLOCK, result, params, count);
}

u32 l_return(Ref, const u8* params, u32 count) {
  return return_value(nparams(count) ? par_ref(params, 0) : 0, count);
}

u32 l_setret(Ref, const u8* params, u32 count) {
  if (top_word() == 0) return fail(E_NO_RESULT);
  const Ref dest = frame_word(1);
  if (dest && nparams(count)) return deliver(P(params, 0), S(dest));
  return 1;
}

u32 l_paramvalue(Ref result, const u8* params, u32 count) {
  return param_value(result, par_ref(params, 0), nparams(count) >= 2 ? par_ref(params, 1) : 0,
                     count);
}

u32 l_paramchange(Ref, const u8* params, u32) {
  if (inner_frame.count == 0) return fail(E_NO_PARAMS);
  const Ref arg = argument(P(params, 0)->value);
  if (!arg) return fail(E_NO_PARAM);
  if (S(arg)->flags & NOT_VARIABLE) return fail(E_MUST_BE_VAR);
  return deliver(P(params, 1), S(arg));
}

u32 l_parsgiven(Ref result, const u8*, u32) {
  if (result) S(result)->value = inner_frame.count;
  return 1;
}

u32 l_ispargiven(Ref result, const u8* params, u32) {
  const Ref arg = argument(P(params, 0)->value);
  if (result) S(result)->value = arg != 0;
  return 1;
}

u32 l_isparvar(Ref result, const u8* params, u32) {
  const Ref arg = argument(P(params, 0)->value);
  if (result) S(result)->value = arg != 0 && !(S(arg)->flags & NOT_VARIABLE);
  return 1;
}

}  // namespace qv
