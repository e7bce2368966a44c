// The pieces of the executor's loop that other files share: reading a
// record, the ways a run ends from inside a block, the leaving of a block
// while a level is pending, and the parameter stack frame of "call".
#pragma once

#include "arith.h"
#include "block_runs.h"
#include "blocks.h"
#include "decoded.h"
#include "env.h"
#include "errcodes.h"
#include "executor.h"
#include "handlers.h"
#include "variables.h"

namespace qv {

// A record's count word for its handler: low byte the parameters, high
// byte the extra count.
inline u32 rec_count(const u8* rec) { return rec[REC_COUNT] | (u32{rec[REC_EXTRA]} << 8); }

inline u32 call_record(const u8* rec) {
  return handlers[rd32(rec + REC_HANDLER)](rd32(rec + REC_RESULT), rec + REC_PARAMS,
                                           rec_count(rec));
}

// One step against the fuzzing builds' run_step_limit; nothing otherwise.
inline void fuzz_step() {
#ifdef QV_FUZZ
  if (run_step_limit && ++fuzz_steps_run > run_step_limit) execerror(E_NO_MEMORY);
#endif
}

// A record's handler failed: the run ends with its error at its line.
[[noreturn, gnu::noinline, gnu::cold]] inline void record_failed(const u8* rec) {
  last_lexema = rd32(rec);
  execerror(if_c_error);
}

[[noreturn, gnu::noinline, gnu::cold]] inline void stop_run(const u8* rec) {
  on_stop = 0;
  last_lexema = rd32(rec);
  execerror(E_STOP);
}

// The temporaries' steps of a group known to hold numbers and truth values.
[[gnu::always_inline]] inline void init_group(const Step& s) {
  for (VarEntry* v = S(s.result), *e = v + s.temps; v != e; ++v) init_in_slot(v);
}
[[gnu::always_inline]] inline u32 del_group(const Step& s) {
  for (VarEntry* v = S(s.result), *e = v + s.temps; v != e; ++v)
    if (!del_in_slot(v)) return fail(E_DEL_NOT_INIT);
  return 1;
}
// Deleting a group and initialising it again, as a block's clean-up and its
// next run's first step do (DecodedBlock::renews), in one pass: each slot
// must hold a value, which becomes 0.
[[gnu::always_inline]] inline u32 renew_group(const Step& s) {
  for (VarEntry* v = S(s.result), *e = v + s.temps; v != e; ++v)
    if (!renew_in_slot(v)) return fail(E_DEL_NOT_INIT);
  return 1;
}
// The clean-up of block b's group `s` at the end of a run: renewed (or
// kept as it is), and the block primed, when b renews its group. An inner
// run of a recursion deletes a group that it would renew: the outer run's
// values come back over the group right after, or the next round of a loop
// whose body the block is initialises it anew. A kept group is left as it
// is in an inner run too, since no run can tell what it holds from 0.
[[gnu::always_inline]] inline u32 end_group(const DecodedBlock& b, const Step& s) {
  if (!b.keeps) {
    if (!b.renews || b.runs != 1) return del_group(s);
    if (!renew_group(s)) return 0;
  }
  b.primed = true;
  return 1;
}
// The same for a group that holds str temporaries too (DecodedBlock::
// strings): an inner run's end deletes through the record's handler. A
// copy's run (block_copies.h) is its depth's only one, and renews the
// copy's own group as an outermost run does.
[[gnu::always_inline]] inline u32 end_strings(const DecodedBlock& b, const Step& s) {
  if (b.runs != 1 && !b.home) return s.call();
  if (!renew_temporaries(s.result, s.temps)) return 0;
  b.primed = true;
  return 1;
}

// The clean-up of a block that declares named variables (DecodedBlock::
// declared), RENEW_VARS: at the end of an outermost run of a block whose
// variables nobody else names, the group and the variables left as the
// next run's first steps leave them, each holding 0, and the block primed
// past those steps. Each variable must hold a value of the type that it
// was declared with (an assignment's fallback may have changed it): else,
// as in an inner run, the record's deletion, with its errors. (A variable
// set to 0 before that deletion is deleted all the same.)
// Texts among the variables or in the group (the step holds 1) are left
// empty in their own storage (end_named_texts).
u32 end_named_first(const DecodedBlock& b, const Step& s);
u32 end_named_texts(const DecodedBlock& b, const Step& s);
[[gnu::always_inline]] inline u32 end_named(const DecodedBlock& b, const Step& s) {
  if (b.runs != b.renews_at) [[unlikely]] return end_named_first(b, s);
  if (s.holds) [[unlikely]] return end_named_texts(b, s);
  u8* const m = mem;
  for (const DecodedBlock::Declared& d : b.declared) {
    VarEntry* v = reinterpret_cast<VarEntry*>(m + d.var);
    if ((v->flags & (V_EMPTY | V_ARRAY)) || v->type != d.type) [[unlikely]]
      return del_temps(s.result, s.params, s.count);
    v->value = 0;
  }
  if (!b.keeps && !renew_group(s)) return 0;
  b.primed = true;
  return 1;
}

// The last step of a copy of a block's steps that renews its group
// (LEAF_RENEW, BODY_RENEW): the group's end as RENEW_TEMPS gives it, or
// RENEW_STRS when the step holds 1.
[[gnu::always_inline]] inline u32 end_renewal(const DecodedBlock& b, const Step& s) {
  return s.holds == 0 ? end_group(b, s) : end_strings(b, s);
}
// The same for a block that runs blocks (BODY_RENEW, NEST_RENEW), which
// may switch tracing on ("trace"): its end then deletes through the
// record's handler, as RENEW_TEMPS and RENEW_STRS do. (No tracing starts
// while a block runs in place.)
[[gnu::always_inline]] inline u32 end_renewal_traced(const DecodedBlock& b, const Step& s) {
  return _tracing_on ? s.call() : end_renewal(b, s);
}
// The same for a group that the block keeps (BODY_KEEP, NEST_KEEP), which
// only needs priming: a trace has the record delete it, with its lines.
[[gnu::always_inline]] inline u32 end_kept_traced(const DecodedBlock& b, const Step& s) {
  if (_tracing_on) [[unlikely]] return s.call();
  b.primed = true;
  return 1;
}

// Why a call of n - 1 arguments cannot push its frame (error 3: the whole
// frame, the arguments, the result and n, does not fit, as a call never
// leaves half a frame behind), or 0. Too many calls active is error 53,
// the nesting limit of blocks: every call active has its block entered,
// so that limit comes first.
static_assert(MAX_BLOCK_DEPTH + 1 < MAX_CALL_NESTING);
[[gnu::always_inline]] inline u32 call_refusal(u32 n) {
  if (callstack.next + 4 * (n + 1) >= callstack.end) return E_PARSTACK;
  return 0;
}

// A call's frame (see blocks.h), once call_refusal has let it.
[[gnu::always_inline]] inline void push_frame(Ref result, const u8* params, u32 n) {
  const Ref below = callstack.next;  // (read once: the words below may alias it)
  u8* frame = mem + below;
  // The argument words are the record's words 1 to n - 1, in order. Up to
  // four, the common case, go at once: two to four as two 8-byte copies,
  // which overlap for three; a loop costs five instructions a word.
  const u32 bytes = 4 * (n - 1);
  if (bytes - 8 <= 8) {
    u64 head, tail;
    std::memcpy(&head, params + 4, 8);
    std::memcpy(&tail, params + 4 + bytes - 8, 8);
    std::memcpy(frame + 4, &head, 8);
    std::memcpy(frame + 4 + bytes - 8, &tail, 8);
  } else if (bytes == 4) {
    wr32(frame + 4, par_ref(params, 1));
  } else {
    for (u32 i = 1; i < n; ++i) wr32(frame + 4 * i, par_ref(params, i));
  }
  wr32(frame + 4 * n, result);
  wr32(frame + 4 * (n + 1), n);
  frame_pushed(below + 4, n);
  callstack.next = below + 4 * (n + 1);
  ++block_nesty;
}

// "for" reads its index and bounds anew at every round.
[[gnu::always_inline]] inline int for_check(const u8* params, bool descending) {
  return arith::for_check(as_int(P(params, 0)->value), as_int(P(params, 1)->value),
                          as_int(P(params, 2)->value), descending);
}

// An operation that runs blocks, called as a handler rather than as a step
// of the executor's loop (a key handler's "exec", a test): its step runs
// in the loop all the same. 1, or 0 with if_c_error set when the operation
// itself fails.
u32 run_from_handler(Step::Kind kind, Ref result, const u8* params, u32 count);

// "if" as a handler: the block of the condition's branch, when there is one.
inline u32 if_blocks(const u8* params, u32 count) {
  return run_from_handler(Step::IF, 0, params, count);
}

}  // namespace qv
