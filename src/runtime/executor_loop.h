// The executor loop itself, for the executor and for the loop operations,
// which run their bodies with it inlined: the loop of a "for" is then one
// function that walks the body's records directly.
#pragma once

#include "block_runs.h"
#include "blocks.h"
#include "decoded.h"
#include "env.h"
#include "executor.h"
#include "handlers.h"
#include "variables.h"
#include "arith.h"

namespace qv {

// A record's count word for its handler: low byte the parameters, high
// byte the extra count.
inline u32 rec_count(const u8* rec) { return rec[REC_COUNT] | (u32{rec[REC_EXTRA]} << 8); }

inline u32 call_record(const u8* rec) {
  return handlers[rd32(rec + REC_HANDLER)](rd32(rec + REC_RESULT), rec + REC_PARAMS,
                                           rec_count(rec));
}

// The nesting count and the record count are kept by hand rather than by
// guards: an error unwinds every executor call up to execute(), which sets
// the nesting count back, and a failed run reports no record count.
inline void enter_block() {
  if (too_deep()) [[unlikely]] {
    last_lexema = 0;
    execerror(53);
  }
  ++exec_depth;
}

// One step against the fuzzing builds' run_step_limit; nothing otherwise.
inline void fuzz_step() {
#ifdef QV_FUZZ
  if (run_step_limit && ++run_steps > run_step_limit) execerror(1);
#endif
}

// Leaving a block because a level is pending: the temporaries of the
// operation that set it, then the block's own clean-up (its deletion
// record, which a "return" from a called block takes every time, so its
// work is done here without the call).
inline void early_exit(const u8* cur, Ref cleanup) {
  const u8* cleanrec = cleanup ? mem + cleanup - 4 : nullptr;
  if (!optimtmpvarinit && rd32(cur) != END_MARK && rd32(cur + REC_HANDLER) == H_mvardel &&
      cur != cleanrec)
    call_record(cur);
  if (!cleanrec) return;
  const u32 ok = rd32(cleanrec + REC_HANDLER) == H_mvardel
                     ? del_temps(rd32(cleanrec + REC_RESULT), cleanrec + REC_PARAMS,
                                 rec_count(cleanrec))
                     : call_record(cleanrec);
  if (!ok) {
    last_lexema = 0;
    execerror(if_c_error);
  }
}

// A record's handler failed: the run ends with its error at its line.
[[noreturn, gnu::noinline, gnu::cold]] inline void record_failed(const u8* rec) {
  last_lexema = rd32(rec);
  execerror(if_c_error);
}

[[noreturn]] inline void stop_run(const u8* rec) {
  on_stop = 0;
  last_lexema = rd32(rec);
  execerror(38);
}

// One run of a block's records, from its first to its end marker or an
// early exit; `n` counts the records. Untraced, the initialisation record
// that starts most blocks does its work here without the call (for most
// blocks there is none to do), and with no test for a pending level after
// it: none is pending when a block starts, except for a block that "exec"
// runs after another has set one, which passes `fast_entry` false.
template <bool Traced>
[[gnu::always_inline]] inline void walk_records(const u8* blk, u64& n, bool fast_entry) {
  // A walked block's runs are counted through its decoded form all the
  // same (see block_runs.h); one whose records are not sound has none.
  const DecodedBlock* const run = decoded_block(ref_of(blk));
  if (run) run_begins(*run);
  const Ref cleanup = rd32(blk);
  const u8* cur = blk + 4;
  fuzz_step();
  [[maybe_unused]] const u8* firstrec = cur;
  if constexpr (!Traced) {
    if (fast_entry && !_tracing_on && rd32(cur) != END_MARK &&
        rd32(cur + REC_HANDLER) == H__alltmpinits) {
      ++n;
      if (const u32 count = rec_count(cur); count == 0) {
        cur += REC_PARAMS;
      } else {
        if (!init_temps(rd32(cur + REC_RESULT), count)) [[unlikely]] record_failed(cur);
        cur += rec_size(cur);
      }
    }
  }
  for (;;) {
    if (rd32(cur) == END_MARK) break;
    ++n;
    fuzz_step();
    if constexpr (Traced) {
      if (_tracing_on && rd32(cur + REC_HANDLER) && _trace_hook)
        _trace_hook(rd32(cur), cur, cur == firstrec);
    }
    if (!call_record(cur)) [[unlikely]] record_failed(cur);
    const u8* rec = cur;
    cur += rec_size(cur);
    if (signal_pending()) [[unlikely]] {
      // "stop" first: a block run while a level is pending (the next block
      // of an "exec") would otherwise leave early and lose the stop.
      if (on_stop) stop_run(rec);
      early_exit(cur, cleanup);
      break;
    }
  }
  if (run) run_ends(*run);
}

template <bool Traced>
[[gnu::always_inline]] inline void walk_block(const u8* blk, u64& n, bool fast_entry) {
  if (doprocesskeys && process_events_hook) process_events_hook();
  walk_records<Traced>(blk, n, fast_entry);
}

// The temporaries' steps of a group known to hold numbers and truth values.
inline void init_group(const Step& s) {
  for (VarEntry* v = S(s.result), *e = v + s.temps; v != e; ++v) init_in_slot(v);
}
inline u32 del_group(const Step& s) {
  for (VarEntry* v = S(s.result), *e = v + s.temps; v != e; ++v)
    if (!del_in_slot(v)) return fail(72);
  return 1;
}

// Leaving a decoded block because a level is pending (see early_exit).
inline void leave_decoded(const DecodedBlock& b, const u8* next) {
  if (!optimtmpvarinit || !b.cleanup) return early_exit(next, b.cleanup);
  const Step& c = b.cleanup_step;
  const u32 ok = c.kind == Step::DEL_TEMPS && !_tracing_on ? del_group(c) : call_record(c.rec());
  if (!ok) {
    last_lexema = 0;
    execerror(if_c_error);
  }
}

// The steps of one run of a decoded block; the records counted. Uncounted,
// the caller has counted the run of `b` itself (see block_runs.h): a loop
// does so once for all the rounds of its body.
template <bool Counted = true>
u64 run_decoded_steps(const DecodedBlock& b);

// A block run that is not the plain decoded one: events to process first,
// tracing, or a block that is walked. The records counted.
u64 run_block_slow(Ref blk);

// The records of the block in `slot`, the nesting count taken.
[[gnu::always_inline]] inline void run_block_entered(VarEntry* slot) {
  const DecodedBlock* d;
  const u64 n = !special_mode() && (d = decoded_block(slot->value)) ? run_decoded_steps(*d)
                                                                     : run_block_slow(slot->value);
  --exec_depth;
  _opcount += n;
}

template <bool Traced>
[[gnu::always_inline]] inline void run_block(VarEntry* slot) {
  enter_block();
  if constexpr (!Traced) {
    run_block_entered(slot);
  } else {
    u64 n = 0;
    walk_block<true>(mem + slot->value, n, true);
    --exec_depth;
    _opcount += n;
  }
}

// A block started while a level is pending runs its first record and then
// leaves: without the shortcut past an idle initialisation, which would run
// the record after it as well.
inline void run_block_pending(VarEntry* slot) {
  enter_block();
  u64 n = 0;
  walk_block<false>(mem + slot->value, n, false);
  --exec_depth;
  _opcount += n;
}

// The body of a loop operation, run round after round with the plain
// executor. What the body's block looks like is learnt once per block (a
// program may switch a block variable's code between rounds): most loop
// bodies are an idle initialisation record and a single operation. Such a
// round is a direct call of that operation's handler with its decoded
// words; other bodies run their decoded steps or, when long, are walked.
class LoopBody {
 public:
  explicit LoopBody(VarEntry* slot) : slot_(slot) {
    if (!(slot->flags & V_EMPTY)) learn(slot->value);
  }

  // Whether the body is one "+=" statement on an integer variable, whose
  // rounds add_rounds runs.
  bool adds_integers() const {
    return slot_->value == direct_block_ && plain() && plus_assign_ &&
           arith::is_integer(P(single_->params, 0)->type);
  }

  // The rounds of such a body, from one whose check has passed, up to the
  // check that ends them; its verdict. Nothing but the addition runs
  // between the loop's own check and step, and an addition changes neither
  // the body's slot nor its record nor a type nor a switch: what
  // adds_integers saw holds for every round. The loop's own slots are read
  // anew each round, as the variable may be one of them.
  template <class Check, class Next>
  int add_rounds(Check& check, Next& next, u64& n) {
    VarEntry* v = P(single_->params, 0);
    const VarEntry* w = P(single_->params, 1);
    u64 rounds = 0;
    int c;
    do {
      v->value += w->value;  // wraps, as all integer arithmetic
      ++rounds;
      next();
    } while ((c = check()) == 0);
    n += rounds * round_records_;
    return c;
  }

  // One round; `n` counts the records. 0 with if_c_error set when the slot
  // holds no block.
  [[gnu::always_inline]] u32 run(u64& n) {
    if (slot_->value == direct_block_ && plain()) [[likely]] {
      const Step& d = *single_;
      n += round_records_;
      // "+=", the commonest loop body, runs inline.
      u32 ok;
      if (plus_assign_) [[likely]]
        ok = arith::in_place<arith::ADD>(0, d.params);
      else
        ok = d.handler(d.result, d.params, d.count);
      if (!ok) [[unlikely]] record_failed(d.rec());
      // The block has no clean-up and nothing after its one record, so a
      // pending level leaves it without further work; the caller tests the
      // levels and the stop request together (see stop_pending).
      return 1;
    }
    // A body of several records, decoded. The loop counts one run of it
    // for all its rounds: between rounds the body's slots are empty, so a
    // round that runs the body again sets aside only the current round.
    if (slot_->value == decoded_block_ && plain()) {
      if (held_ != decoded_) [[unlikely]] hold();
      n += run_decoded_steps<false>(*decoded_);
      return 1;
    }
    // The walk counts apart, so that `n` can stay in a register here.
    u64 walked = 0;
    const u32 ok = run_walk(walked);
    n += walked;
    return ok;
  }

  // A round without events to process or tracing, of a slot that holds
  // its block.
  bool plain() const { return !(slot_->flags & V_EMPTY) && !special_mode(); }

  // After the last round: the run of the body that the rounds shared ends.
  // (A run-time error forgets every run instead.)
  void release() {
    if (held_) run_ends(*held_);
    held_ = nullptr;
  }

  // After a round: ends the run when its one record asked for "stop" (a
  // longer body has done so itself).
  void stop_pending() const {
    if (on_stop) [[unlikely]] stop_run(single_ ? single_->rec() : mem + known_ + 4);
  }

 private:
  // Every round that the direct call cannot take: a body of several
  // records, events to process, tracing, or a slot without a block.
  [[gnu::noinline]] void hold() {
    release();
    run_begins(*decoded_);
    held_ = decoded_;
  }

  [[gnu::noinline]] u32 run_walk(u64& n) {
    release();  // the runs below count themselves
    if (slot_->flags & V_EMPTY) [[unlikely]] return fail(60);
    if (slot_->value != known_) learn(slot_->value);
    if (single_ && !_tracing_on) {
      if (doprocesskeys && process_events_hook) process_events_hook();
      n += round_records_;
      fuzz_step();
      if (!call_record(single_->rec())) [[unlikely]] record_failed(single_->rec());
      if (on_stop) [[unlikely]] stop_run(single_->rec());
      return 1;
    }
    n += run_block_slow(known_);
    return 1;
  }

  void learn(Ref blk) {
    release();
    known_ = blk;
    direct_block_ = decoded_block_ = 0;
    single_ = nullptr;
    decoded_ = decoded_block(blk);
    if (decoded_) decoded_block_ = blk;
    // One record and no clean-up: the round is that record's direct call.
    // (Such a block owns no slots, so its rounds need no counting.)
    if (decoded_ && decoded_->nsteps == 1 && decoded_->cleanup == 0 && !decoded_->owns) {
      single_ = &decoded_->steps[0];
      round_records_ = decoded_->idle_init ? 2 : 1;
      plus_assign_ = single_->kind == Step::PLUS_ASSIGN && single_->result == 0;
#ifndef QV_FUZZ
      direct_block_ = blk;  // fuzzing builds count every step in run_walk
#endif
    }
  }

  VarEntry* slot_;
  Ref known_ = 0;
  const DecodedBlock* decoded_ = nullptr;  // null: the body is walked
  Ref direct_block_ = 0;   // the block that runs as one direct call; 0: none
  Ref decoded_block_ = 0;  // the block that runs decoded right here; 0: none
  u32 round_records_ = 1;  // records a direct round counts: its idle initialisation too
  const Step* single_ = nullptr;  // the body's only operation
  const DecodedBlock* held_ = nullptr;  // the body whose run the rounds share
  bool plus_assign_ = false;  // that operation is a "+=" statement, run inline
};

// The operations that run blocks, for their handlers and for the decoded
// steps that cannot enter their block directly (see run_decoded_steps).
// The depth test sits here as well as in the executor so that the error
// names the operation that would have nested too deeply.
[[gnu::always_inline]] inline u32 run_slot(VarEntry* slot) {
  if (slot->flags & V_EMPTY) [[unlikely]] return fail(60);
  if (too_deep()) [[unlikely]] return fail(53);
  if (_execute == _executor) [[likely]] {
    ++exec_depth;
    run_block_entered(slot);
  } else {
    _execute(slot);
  }
  return 1;
}

// "exec". Levels are not examined between the blocks: a block started
// while one is pending (set by an earlier block) still runs its first
// record.
[[gnu::always_inline]] inline u32 exec_blocks(const u8* params, u32 count) {
  for (u32 i = 0, n = count & 0xFF; i < n; ++i) {
    VarEntry* b = P(params, i);
    if (signal_pending() && _execute == _executor) [[unlikely]] {
      if (b->flags & V_EMPTY) return fail(60);
      if (too_deep()) return fail(53);
      run_block_pending(b);
    } else if (!run_slot(b)) {
      return 0;
    }
  }
  return 1;
}

// "if": the block of the condition's branch, when there is one.
[[gnu::always_inline]] inline u32 if_blocks(const u8* params, u32 count) {
  const u32 form = count & 0xFF00;
  if (P(params, 0)->value) return exec_blocks(params + 4, 1 | form);
  if ((count & 0xFF) >= 3) return exec_blocks(params + 8, 1 | form);
  return 1;
}

// Why a call of n - 1 arguments cannot push its frame (error 3: the whole
// frame, the arguments, the result and n, does not fit, as a call never
// leaves half a frame behind; 53: too many calls active), or 0.
inline u32 call_refusal(u32 n) {
  if (callstack.next + 4 * (n + 1) >= callstack.end) return 3;
  if (u32{block_nesty} + 1 >= MAX_CALL_NESTING) return 53;
  return 0;
}

// A call's frame (see blocks.h), once call_refusal has let it.
inline void push_frame(Ref result, const u8* params, u32 n) {
  u8* frame = mem + callstack.next;
  for (u32 i = 1; i < n; ++i) wr32(frame + 4 * i, par_ref(params, i));
  wr32(frame + 4 * n, result);
  wr32(frame + 4 * (n + 1), n);
  callstack.next += 4 * (n + 1);
  ++block_nesty;
}

// "call": pushes the frame and runs the block.
[[gnu::always_inline]] inline u32 call_block(Ref result, const u8* params, u32 count) {
  VarEntry* body = P(params, 0);
  if (body->flags & V_EMPTY) return fail(60);
  const u32 n = count & 0xFF;
  if (const u32 refused = call_refusal(n)) return fail(refused);
  const Ref saved = callstack.next;
  push_frame(result, params, n);
  // A run-time error inside the block ends the run, and execute() empties
  // the stack and the call count then: no unwinding work here.
  const u32 ok = run_slot(body);
  callstack.next = saved;
  --block_nesty;
  // No level leaves the called block.
  if (ok) cont_level = brk_level = 0;
  return ok;
}

}  // namespace qv
