// The executor loop itself, for the executor and for the loop operations,
// which run their bodies with it inlined: the loop of a "for" is then one
// function that walks the body's records directly.
#pragma once

#include "env.h"
#include "executor.h"
#include "handlers.h"
#include "variables.h"
#include "../types/arith.h"

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
  if (exec_depth >= MAX_BLOCK_DEPTH) [[unlikely]] {
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

// Most blocks start with an initialisation record for no temporaries.
inline bool starts_with_idle_init(const u8* blk) {
  const u8* rec = blk + 4;
  return rd32(rec) != END_MARK && rd32(rec + REC_HANDLER) == H__alltmpinits &&
         (rec[REC_EXTRA] | rec[REC_COUNT]) == 0;
}

// One run of a block's records, from its first to its end marker or an
// early exit; `n` counts the records. Untraced, the initialisation record
// that starts most blocks does its work here without the call (for most
// blocks there is none to do), and with no test for a pending level after
// it: none is pending when a block starts, except for a block that "exec"
// runs after another has set one, which passes `fast_entry` false.
template <bool Traced>
[[gnu::always_inline]] inline void walk_block(const u8* blk, u64& n, bool fast_entry) {
  const Ref cleanup = rd32(blk);
  const u8* cur = blk + 4;
  if (doprocesskeys && process_events_hook) process_events_hook();
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
    if (rd32(cur) == END_MARK) return;
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
      return;
    }
  }
}

template <bool Traced>
[[gnu::always_inline]] inline void run_block(VarEntry* slot) {
  enter_block();
  u64 n = 0;
  walk_block<Traced>(mem + slot->value, n, true);
  --exec_depth;
  _opcount += n;
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
// executor. What the body's block looks like is worked out once per block
// (a program may switch a block variable's code between rounds): most loop
// bodies are an idle initialisation record and a single operation. Such a
// round is a direct call of that operation's handler with its words read
// once, as the records do not change while they run (only parameter words,
// which the handler reads itself, are ever written at run time). Bodies of
// a few records run from a decoded copy (run_decoded), longer ones are
// walked.
class LoopBody {
 public:
  explicit LoopBody(VarEntry* slot) : slot_(slot) {}

  // One round; `n` counts the records. 0 with if_c_error set when the slot
  // holds no block.
  [[gnu::always_inline]] u32 run(u64& n) {
    if (slot_->value == fast_block_ && !(slot_->flags & V_EMPTY) && !special_mode()) [[likely]] {
      // The body's one record, decoded (see learn).
      const Decoded& d = decoded_[0];
      n += idle_init_ ? 2 : 1;
      // "+=", the commonest loop body, runs inline.
      u32 ok;
      if (plus_assign_) [[likely]]
        ok = arith::in_place<arith::ADD>(0, d.rec + REC_PARAMS);
      else
        ok = d.handler(d.result, d.rec + REC_PARAMS, d.count);
      if (!ok) [[unlikely]] record_failed(d.rec);
      // The block has no clean-up and nothing after its one record, so a
      // pending level leaves it without further work; the caller tests the
      // levels and the stop request together (see stop_pending).
      return 1;
    }
    // The walk counts apart, so that `n` can stay in a register here.
    u64 walked = 0;
    const u32 ok = run_walk(walked);
    n += walked;
    return ok;
  }

  // After a round: ends the run when its one record asked for "stop" (a
  // walked body has done so itself).
  void stop_pending() const {
    if (on_stop) [[unlikely]] stop_run(single_ ? single_ : mem + known_ + 4);
  }

 private:
  // Every round that the direct call cannot take: a body of several
  // records, events to process, tracing, or a slot without a block.
  [[gnu::noinline]] u32 run_walk(u64& n) {
    if (slot_->flags & V_EMPTY) [[unlikely]] return fail(60);
    if (slot_->value != known_) learn(slot_->value);
    if (single_ && !_tracing_on) {
      if (doprocesskeys && process_events_hook) process_events_hook();
      n += idle_init_ ? 2 : 1;
      fuzz_step();
      if (!call_record(single_)) [[unlikely]] record_failed(single_);
      if (on_stop) [[unlikely]] stop_run(single_);
      return 1;
    }
    if (ndecoded_ && !_tracing_on)
      run_decoded(n);
    else
      walk_block<false>(mem + known_, n, true);
    return 1;
  }

  // A short body of several records, walked from its decoded form: the
  // same steps as walk_block's, without reading each record's layout again
  // every round, and with the temporaries' initialisation and deletion done
  // in place.
  void run_decoded(u64& n) {
    if (doprocesskeys && process_events_hook) process_events_hook();
    fuzz_step();
    if (idle_init_) ++n;
    for (const Decoded* d = decoded_, *end = decoded_ + ndecoded_; d != end; ++d) {
      ++n;
      fuzz_step();
      const u8* params = d->rec + REC_PARAMS;
      u32 ok = 1;
      switch (d->kind) {
        case Decoded::CALL: ok = d->handler(d->result, params, d->count); break;
        case Decoded::PLUS: ok = arith::fold<arith::ADD>(d->result, params, d->count); break;
        case Decoded::MUL: ok = arith::fold<arith::MUL>(d->result, params, d->count); break;
        case Decoded::MINUS: ok = arith::binary<arith::SUB>(d->result, params); break;
        case Decoded::DIV: ok = arith::binary<arith::DIV>(d->result, params); break;
        case Decoded::MOD: ok = arith::binary<arith::MOD>(d->result, params); break;
        case Decoded::PLUS_ASSIGN: ok = arith::in_place<arith::ADD>(d->result, params); break;
        case Decoded::MINUS_ASSIGN: ok = arith::in_place<arith::SUB>(d->result, params); break;
        case Decoded::ELEMENT: ok = element_into(d->result, params); break;
        case Decoded::ASSIGN:
          if (!assign_in_slot(P(params, 0), P(params, 1), d->result))
            ok = d->handler(d->result, params, d->count);
          break;
        // The group's temporaries are all of in-slot types (see decode).
        case Decoded::INIT_TEMPS:
          for (VarEntry* v = S(d->result), *e = v + d->count; v != e; ++v) init_in_slot(v);
          break;
        case Decoded::DEL_TEMPS:
          for (VarEntry* v = S(d->result), *e = v + d->count; v != e && ok; ++v)
            if (!del_in_slot(v)) ok = fail(72);
          break;
      }
      if (!ok) [[unlikely]] record_failed(d->rec);
      if (signal_pending()) [[unlikely]] {
        if (on_stop) stop_run(d->rec);
        early_exit(d->rec + rec_size(d->rec), cleanup_);
        return;
      }
    }
  }

  void learn(Ref blk) {
    known_ = blk;
    fast_block_ = 0;
    const u8* b = mem + blk;
    idle_init_ = starts_with_idle_init(b);
    const u8* rec = b + 4 + (idle_init_ ? REC_PARAMS : 0);
    single_ = nullptr;
    decode(b, rec);
    // One record and no clean-up: the round is that record's direct call,
    // with the words decoded_[0] holds.
    if (ndecoded_ == 1 && rd32(b) == 0) {
      single_ = rec;
      plus_assign_ = decoded_[0].kind == Decoded::PLUS_ASSIGN && decoded_[0].result == 0;
#ifndef QV_FUZZ
      fast_block_ = blk;  // fuzzing builds count every step in run_walk
#endif
    }
  }

  // Besides calls and the temporaries' records, the commonest integer
  // arithmetic, element access and assignment run inline, through the same
  // steps as their handlers.
  struct Decoded {
    enum Kind : u8 {
      CALL, INIT_TEMPS, DEL_TEMPS,
      PLUS, MUL, MINUS, DIV, MOD, PLUS_ASSIGN, MINUS_ASSIGN, ELEMENT, ASSIGN,
    };
    OpHandler handler;
    const u8* rec;
    Ref result;  // for the temporaries: the first one
    u32 count;   // for the temporaries: how many
    Kind kind;
  };
  static constexpr u32 MAX_DECODED = 8;

  // A group of temporaries that are all numbers or truth values, whose init
  // and del only set the value word and the flags. A temporary keeps its
  // type for the whole run, except where code compiled without the grouped
  // initialisation gives it a new one, so what is seen here holds.
  static bool in_slot_group(Ref first, u32 k) {
    if (!optimtmpvarinit || !first) return false;
    for (const VarEntry* v = S(first), *e = v + k; v != e; ++v)
      if (!in_slot(v->type)) return false;
    return true;
  }

  static Decoded::Kind inline_kind(u32 h) {
    switch (h) {
      case H_l_plus: return Decoded::PLUS;
      case H_l_mul: return Decoded::MUL;
      case H_l_mins: return Decoded::MINUS;
      case H_l_div: return Decoded::DIV;
      case H_l_mod: return Decoded::MOD;
      case H_l_plusassgn: return Decoded::PLUS_ASSIGN;
      case H_l_minusassgn: return Decoded::MINUS_ASSIGN;
      case H__arrdynelem: return Decoded::ELEMENT;
      case H_l_assign: return Decoded::ASSIGN;
      default: return Decoded::CALL;
    }
  }

  // The records from `rec` to the end marker, when there are few enough.
  void decode(const u8* blk, const u8* rec) {
    ndecoded_ = 0;
    cleanup_ = rd32(blk);
    u32 k = 0;
    for (; rd32(rec) != END_MARK; rec += rec_size(rec), ++k) {
      if (k == MAX_DECODED) return;
      const u32 h = rd32(rec + REC_HANDLER);
      Decoded& d = decoded_[k];
      d = {handlers[h], rec, rd32(rec + REC_RESULT), rec_count(rec), Decoded::CALL};
      const u32 temps = rec[REC_EXTRA];
      if ((h == H__alltmpinits || h == H_mvardel) && rec[REC_COUNT] == 0 &&
          in_slot_group(d.result, temps)) {
        d.kind = h == H_mvardel ? Decoded::DEL_TEMPS : Decoded::INIT_TEMPS;
        d.count = temps;
      } else {
        d.kind = inline_kind(h);
      }
    }
    ndecoded_ = k;
  }

  VarEntry* slot_;
  Ref known_ = 0;
  Ref cleanup_ = 0;
  u32 ndecoded_ = 0;  // 0: the body is walked record by record
  Decoded decoded_[MAX_DECODED];
  Ref fast_block_ = 0;  // the block that runs as one direct call; 0: none
  bool idle_init_ = false;
  const u8* single_ = nullptr;  // the body's only operation record
  bool plus_assign_ = false;  // that record is a "+=" statement, run inline
};

// Runs a block with the executor in use: the plain loop inline, the traced
// one through _execute.
inline void run_with_executor(VarEntry* slot) {
  if (_execute == _executor) [[likely]]
    run_block<false>(slot);
  else
    _execute(slot);
}

}  // namespace qv
