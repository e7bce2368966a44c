// The executor: the one loop that runs blocks, the run's entry point and
// its error exit.
//
// Words used here and in the files around it:
//   record  a call record of the code page: handler, counts, result and
//           parameter words, as the compiler wrote it.
//   step    a record as the decoder read it (decoded.h): its kind says
//           what the loop does for it; a block's steps end with END.
//   level   brk_level or cont_level: a "break", "continue" or "return"
//           that makes the blocks around it leave early, until a loop or a
//           call consumes it.
//   round   one run of a loop's body; a "for" or "loop" step starts its
//           body again after each round, until a level or its test ends it.
//   frame   what a "call" pushes onto the parameter stack (blocks.h).
//
// Running a block means entering it: a step that runs blocks ("exec",
// "if", "call", "switch", "loop", "for") notes where its block goes on in
// the resume stack and continues with the steps of the entered block; when
// that block is done, the step's epilogue runs and the caller goes on. A
// QV program's nesting costs no native frames. Only the executor's entry
// points (_executor, _exectrace) and handlers called from outside the loop
// start it natively (run_from_handler), and they test the native stack.
//
// The loop comes in two builds from one text: plain, and traced (-t), which
// calls the trace hook before each step.
#include "executor.h"
#include "executor_loop.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

#include "block_copies.h"
#include "block_runs.h"
#include "blocks.h"
#include "decoded.h"
#include "env.h"
#include "handlers.h"
#include "quiet_blocks.h"
#include "strbase.h"
#include "arith.h"

namespace qv {

BlockRunner _execute = nullptr;
RunSignals run_signals{0, 0, 0};
RunModes run_modes{0, 0};
u32 _tracing_int = 0;
u32 _trace_stop = 0;
TraceHook _trace_hook = nullptr;
u64 _opcount = 0;
std::uintptr_t stack_floor = 0;
#ifdef QV_FUZZ
u64 run_step_limit = 0;
u64 fuzz_steps_run = 0;
#endif
void (*process_events_hook)() = nullptr;

u32 if_c_error = 0;


// The end of a run of a block that declares named variables, other than
// an outermost one of a block known to renew them: the second end of an
// outermost run decides whether the block renews them (see DecodedBlock::
// declared, ::renewal).
[[gnu::noinline]] u32 end_named_first(const DecodedBlock& b, const Step& s) {
  if (b.runs == 1 && b.renewal == DecodedBlock::RENEWAL_UNKNOWN) {
    b.renewal = DecodedBlock::RENEWAL_ONCE;
  } else if (b.runs == 1 && b.renewal == DecodedBlock::RENEWAL_ONCE) {
    b.renewal = !b.home && !b.origin && tree_is_closed(b) ? DecodedBlock::RENEWAL_YES
                                                          : DecodedBlock::RENEWAL_NO;
    if (b.renewal == DecodedBlock::RENEWAL_YES) {
      b.renews_at = 1;
      return end_named(b, s);
    }
  }
  return del_temps(s.result, s.params, s.count);
}

u32 end_named_texts(const DecodedBlock& b, const Step& s) {
  for (const DecodedBlock::Declared& d : b.declared) {
    VarEntry* v = S(d.var);
    if ((v->flags & (V_EMPTY | V_ARRAY)) || v->type != d.type) [[unlikely]]
      return del_temps(s.result, s.params, s.count);
    if (d.type != TY_STR)
      v->value = 0;
    else if (!st_storage_renew(v->value)) [[unlikely]]  // storage of another size
      return del_temps(s.result, s.params, s.count);
  }
  if (!b.keeps && !(b.strings ? renew_temporaries(s.result, s.temps) : renew_group(s))) return 0;
  b.primed = true;
  return 1;
}

namespace {

// RENEW_VARS, out of the executor's loop: a block's end, which is rare
// next to the steps that the loop holds close together.
[[gnu::noinline]] u32 end_named_apart(const DecodedBlock& b, const Step& s) {
  return end_named(b, s);
}

// The slots that a loop's record names, resolved once for its rounds: a
// "for"'s index, bounds and step; a "loop" has none (null index). The
// loop's record is not rewritten while its rounds run: an element record
// only rewrites the words of the record after it, in its own block.
struct LoopSlots {
  VarEntry* index;
  const VarEntry* from;
  const VarEntry* to;
  const VarEntry* by;
};

inline LoopSlots loop_slots(const Step& s) {
  if (s.kind != Step::FOR) return {nullptr, nullptr, nullptr, nullptr};
  return {P(s.params, 0), P(s.params, 1), P(s.params, 2), P(s.params, 3)};
}

// The end of a round: a "for" steps its index and checks it (as for_check
// does); 0 when the next round runs. A "loop" goes on until a level.
[[gnu::always_inline]] inline int round_check(const LoopSlots& l, bool descending) {
  if (!l.index) return 0;
  l.index->value += l.by->value;  // wraps
  return arith::for_check(as_int(l.index->value), as_int(l.from->value), as_int(l.to->value),
                          descending);
}

// Where a step that entered a block goes on when the block is done.
struct Resume {
  const DecodedBlock* block;  // the step's own block
  const Step* step;
  Ref aux;  // "call": the parameter stack's top before the frame; "exec":
            // the parameter that was run; "for": 1 when it counts down
  // A loop's rounds: the body it entered (else null), and the slots the
  // loop's record names.
  const DecodedBlock* body;
  union {
    VarEntry* slot;          // a loop's: the body's block
    InnerFrame outer_frame;  // a call's: the caller's arguments
  };
  bool fixed;      // the slot is a block constant (Step::fixed)
  LoopSlots loop;
  // The rounds that went on from the body's end, whose records are counted
  // when the loop's step takes its place back (rounds_counted).
  u64 rounds;
};
// Every entry stands for a block entered and not yet done: their count is
// the nesting depth, which the limit bounds.
Resume resume_stack[MAX_BLOCK_DEPTH + 1];
Resume* resume_top = resume_stack;
Resume* const resume_limit = resume_stack + MAX_BLOCK_DEPTH;
// Below it, a quiet tree has the room it takes (see DecodedBlock::quiet).
Resume* const resume_quiet_limit = resume_limit - MAX_QUIET_ROOM;

constexpr u64 OP_FAILED = ~u64{0};

// Events to process when a block is entered.
[[gnu::noinline]] void at_block_entry() { process_events_hook(); }

[[gnu::noinline]] void trace_step(const DecodedBlock& b, const Step* s) {
  if (!_tracing_on || !_trace_hook || s->kind == Step::END || s->kind == Step::BAD) return;
  // A copy's step reports the block's own record, as a run of the block.
  const u8* rec = b.origin ? b.origin->steps[s - b.steps].rec() : s->rec();
  if (rd32(rec + REC_HANDLER)) _trace_hook(rd32(rec), rec, s == b.steps);
}

// Leaving a block because a level is pending, after the step at `s`: the
// temporaries of the operation that set it (with the grouped initialisation
// off, the compiler put their deletion right after it), then the block's own
// clean-up.
void leave_block(const DecodedBlock& b, const Step* s) {
  const u8* next = s->rec() + rec_size(s->rec());
  const u8* cleanrec = b.cleanup ? mem + b.cleanup - 4 : nullptr;
  if (!optimtmpvarinit && rd32(next) != END_MARK && rd32(next + REC_HANDLER) == H_mvardel &&
      next != cleanrec)
    call_record(next);
  if (!cleanrec) return;
  const Step& c = b.cleanup_step;
  // (A clean-up that deletes named variables is run inline by the loop,
  // unless tracing or without the grouped initialisation: its handler here.)
  const u32 ok = c.kind == Step::DEL_TEMPS && !_tracing_on ? del_group(c) : c.call();
  if (!ok) {
    last_lexema = 0;
    execerror(if_c_error);
  }
}

// Whether block b, left early, has a clean-up that end_quickly does: none,
// or the deletion of its group of number temporaries, as most blocks.
[[gnu::always_inline]] inline bool quick_cleanup(const DecodedBlock& b) {
  return b.cleanup_step.kind == Step::DEL_TEMPS || (!b.cleanup && optimtmpvarinit);
}
[[gnu::always_inline]] inline u32 end_quickly(const DecodedBlock& b) {
  return b.cleanup_step.kind == Step::DEL_TEMPS ? end_group(b, b.cleanup_step) : 1;
}

// A loop enters its body: its rounds go on from the body's end while the
// slot holds it (see END).
void hold_rounds(Resume& e, const DecodedBlock* body, VarEntry* slot) {
  e.body = body;
  e.slot = slot;
  e.fixed = e.step->fixed;
  e.rounds = 0;
  e.loop = loop_slots(*e.step);
}

// The rounds of a loop whose body runs in place (ROUND_END): the slots of
// its record, and the rounds that went on from the body's end, whose records
// are counted when they end.
struct InPlaceRounds {
  LoopSlots loop;
  VarEntry* slot;
  bool fixed;  // the slot is a block constant (Step::fixed)
  Ref down;    // 1 when it counts down
  u64 rounds;
};

// One at a time: a body run in place runs no block and processes no events,
// so no handler that it calls could start a loop of the executor inside it.
InPlaceRounds rounds_here;

[[gnu::always_inline]] inline void hold_in_place(InPlaceRounds& r, const Step& loop, VarEntry* slot,
                                                 Ref down) {
  r.loop = loop_slots(loop);
  r.slot = slot;
  r.fixed = loop.fixed;
  r.down = down;
  r.rounds = 0;
}

// The records of the rounds of a loop's body that went on from its end.
inline u64 rounds_counted(const Resume& r) { return r.rounds * r.body->nsteps; }

constexpr int NOT_FUSED = 2;

// The rounds of a "for" whose body is one compound assignment on an integer
// variable (DecodedBlock::single), from one whose check has passed up to
// the check that ends them; that check's verdict. Such a step changes no
// type, no block slot, no level and no switch, and nothing rewrites its
// words, so what is seen before the first round holds for all of them. The
// loop's own slots are read anew each round: the variable may be one.
template <bool Down, bool Sub>
int compound_rounds(const Resume& r, VarEntry* v, const VarEntry* w, u64& rounds) {
  VarEntry* const ix = r.loop.index;
  const VarEntry* const from = r.loop.from;
  const VarEntry* const to = r.loop.to;
  const VarEntry* const by = r.loop.by;
  for (;;) {
    fuzz_step();  // the block's entry
    fuzz_step();
    v->value = Sub ? v->value - w->value : v->value + w->value;  // wraps
    ++rounds;
    const i32 i = as_int(ix->value += by->value);
    if (const int c = arith::for_check(i, as_int(from->value), as_int(to->value), Down)) return c;
  }
}

// The same when the variable is none of the loop's slots: then only the
// index changes between rounds, and the bounds and step stay in registers.
template <bool Down, bool Sub>
int compound_rounds_fixed(const Resume& r, VarEntry* v, const VarEntry* w, u64& rounds) {
  VarEntry* const ix = r.loop.index;
  const i32 from = as_int(r.loop.from->value), to = as_int(r.loop.to->value);
  const u32 by = r.loop.by->value;
  u32 i = ix->value;
  u64 k = 0;
  for (;;) {
    fuzz_step();  // the block's entry
    fuzz_step();
    v->value = Sub ? v->value - w->value : v->value + w->value;  // wraps
    ++k;
    ix->value = i += by;  // wraps
    if (const int c = arith::for_check(as_int(i), from, to, Down)) {
      rounds += k;
      return c;
    }
  }
}

int single_step_rounds(const Resume& r, const DecodedBlock& b, u64& n) {
  const Step& st = *b.single;
  VarEntry* v = P(st.params, 0);
  const VarEntry* w = P(st.params, 1);
  if (!arith::is_integer(v->type)) return NOT_FUSED;
  u64 rounds = 0;
  const bool sub = st.kind == Step::MINUS_ASSIGN;
  const LoopSlots& l = r.loop;
  if (v != l.index && v != l.from && v != l.to && v != l.by) {
    const int c = r.aux ? (sub ? compound_rounds_fixed<true, true>(r, v, w, rounds)
                               : compound_rounds_fixed<true, false>(r, v, w, rounds))
                        : (sub ? compound_rounds_fixed<false, true>(r, v, w, rounds)
                               : compound_rounds_fixed<false, false>(r, v, w, rounds));
    n += rounds * b.nsteps;
    return c;
  }
  const int c = r.aux ? (sub ? compound_rounds<true, true>(r, v, w, rounds)
                             : compound_rounds<true, false>(r, v, w, rounds))
                      : (sub ? compound_rounds<false, true>(r, v, w, rounds)
                             : compound_rounds<false, false>(r, v, w, rounds));
  n += rounds * b.nsteps;
  return c;
}

// A step enters a block: the slot must hold one and the nesting must have
// room. 0 when it may; otherwise the error the step fails with.
[[gnu::always_inline]] inline u32 entry_refusal(const VarEntry* slot) {
  if (slot->flags & V_EMPTY) return E_NOT_INIT;
  if (resume_top >= resume_limit) return E_NESTING;
  return 0;
}

// The entering step's place, where it goes on when the block is done.
[[gnu::always_inline]] inline Resume& push_resume(const DecodedBlock* b, const Step* s, Ref aux) {
  Resume& e = *resume_top++;
  e.block = b;
  e.step = s;
  e.aux = aux;
  e.body = nullptr;  // (a loop's entry sets it: see hold_rounds)
  return e;
}

// Operand i of a step that runs no block (Step::ops).
inline VarEntry* O(const Step* s, unsigned i) { return S(s->ops[i]); }

// A comparison of two numbers, done here, its verdict written to the
// result slot when the step has one (a fused step always has): false when
// the operands need their type's comp, the step's handler.
template <bool Fused>
[[gnu::always_inline]] inline bool compared(const Step* s) {
  i32 c;
  if (!arith::order(O(s, 0), O(s, 1), &c)) return false;
  if (Fused || s->result) S(s->result)->value = arith::holds(s->holds, c);
  return true;
}

// A step's cache missed: it now holds the block in `slot`. An "if", a
// "switch" or an "exec" of one block that found a block that runs in place
// takes the code that runs it so (IF_LEAF, SWITCH_LEAF, EXEC_LEAF) from now
// on, as does an "if" that found a block with steps of its own for an "if"
// (nest_start); the others pay no test for it.
[[gnu::noinline]] const DecodedBlock* cache_missed(const DecodedBlock*& cache,
                                                   const VarEntry* slot, const Step* s) {
  const DecodedBlock* d = cache = decoded_block(slot->value);
  if ((d->leaf_start || d->nest_start) && s->kind == Step::IF)
    s->code = step_code(s->holds ? Step::IF_TAIL : Step::IF_LEAF);
  if (d->leaf_start && s->kind == Step::EXEC && s->nparams() == 1)
    s->code = step_code(Step::EXEC_LEAF);
  if (d->leaf_start && s->kind == Step::SWITCH) s->code = step_code(Step::SWITCH_LEAF);
  return d;
}

// The decoded block that `slot` holds, through the cache of the step at s,
// of the one it entered last (a slot may change, so its place is compared
// first).
[[gnu::always_inline]] inline const DecodedBlock* cached_block(const DecodedBlock*& cache,
                                                               const VarEntry* slot,
                                                               const Step* s) {
  const DecodedBlock* last = cache;
  if (last->at != slot->value) [[unlikely]] last = cache_missed(cache, slot, s);
  return last;
}

// Where a plain entry of block b starts (not traced, no level pending, no
// events to process). The idle initialisation is counted but not run; a
// primed group's initialisation, and the declarations of named variables
// renewed with it, have nothing to do but take the primed state back,
// which is done here instead (see DecodedBlock::renews, ::declared).
// `start` is where the block's steps, or one of its copies of them, start
// for a plain entry.
[[gnu::always_inline]] inline const Step* start_in(const DecodedBlock& b, const Step* start) {
  if (!b.primed) return start;
  b.primed = false;
  return past_prime(b, start);
}
[[gnu::always_inline]] inline const Step* start_of(const DecodedBlock& b) {
  return start_in(b, b.start);
}

// Whether `slot` still holds the block `c` that a step entered last, and
// nothing asks for the slow entry (tracing, events), where no level can be
// pending: at a step, which runs only without one (a step that sets one
// leaves at once), at the end of a round, or at the next round after a
// level that the loop consumed. A slot that is a block constant (`fixed`,
// see Step::fixed) holds the block that the step entered from it for good;
// a cache that has entered nothing yet has no steps to take in place.
[[gnu::always_inline]] inline bool holds_plainly(const DecodedBlock* c, const VarEntry* slot,
                                                 bool fixed) {
  return (fixed || (c->at == slot->value && !(slot->flags & V_EMPTY))) && !special_mode();
}

// Whether a step runs the block it entered last, `c`, in place (see
// DecodedBlock::leaf_start): `slot` still holds it, and a plain entry would
// take it, within the nesting limit. (A host "if" or "exec" never does: it
// runs once, and its cache starts out empty. A host loop may: `leave` and
// `failed` then find a block run in place with nothing on the stack of
// places.)
[[gnu::always_inline]] inline bool in_place(const DecodedBlock* c, const VarEntry* slot,
                                            bool fixed) {
  return c->leaf_start && resume_top < resume_limit && holds_plainly(c, slot, fixed);
}

#if defined(__GNUC__) && !defined(QV_NO_COMPUTED_GOTO)
#define QV_COMPUTED_GOTO 1
#endif

}  // namespace

u32 exec_depth() { return static_cast<u32>(resume_top - resume_stack); }
void forget_entries() { resume_top = resume_stack; }

#ifdef QV_COMPUTED_GOTO
// The plain loop's table of step code, which it hands out when called with
// no block (see step_code).
static const void* const* plain_step_code = nullptr;
#endif

// The executor's loop: runs the steps from the host step `s` of `b`, a
// block of one step that runs blocks, made by run_from_handler. Returns the
// records counted, or OP_FAILED when the host step failed (if_c_error set).
//
// The loop starts on a 128-byte boundary, so that where its code lies
// does not depend on the size of the code linked before it: a few bytes
// more in the decoder once moved fizzbuzz by 20 %. On a 64-byte boundary
// it still did: the same loop at two places 64 bytes apart ran fizzbuzz
// in 68 and 57 ms, and at four places 128 bytes apart alike. (Aligned, a
// change inside the loop still moves it: the layout is steady, not good.)
template <bool Traced>
[[gnu::aligned(128)]] u64 run_steps(const DecodedBlock* b, const Step* s) {
#ifdef QV_COMPUTED_GOTO
#define QV_STEP_LABEL(k) &&step_##k,
  static const void* const step_code[] = {QV_STEP_KINDS(QV_STEP_LABEL)};
#undef QV_STEP_LABEL
  static_assert(sizeof step_code / sizeof *step_code == Step::KIND_COUNT);
  if constexpr (!Traced)
    if (!b) {
      plain_step_code = step_code;
      return 0;
    }
#define vmdispatch(k) goto* step_code[k];
#define vmcase(k) step_##k:
// The plain loop jumps to the code that the step holds, the traced one
// looks it up by kind.
#define vmjump                   \
  do {                           \
    if constexpr (Traced)        \
      goto* step_code[s->kind];  \
    else                         \
      goto* s->code;             \
  } while (0)
#else
#define vmdispatch(k) switch (k)
#define vmcase(k) case Step::k:
// (A jump, not "continue": the step macros wrap it in do-while.)
#define vmjump goto dispatch
#endif
// Each step jumps to the next one's code by itself, so that every kind of
// step has its own dispatch branch, which predicts far better than one.
#define QV_GO()                                   \
  do {                                            \
    fuzz_step();                                  \
    if constexpr (Traced) trace_step(*b, s);      \
    vmjump;                                       \
  } while (0)
#define QV_NEXT() \
  do {            \
    ++s;          \
    QV_GO();      \
  } while (0)
#define QV_FAIL(code)    \
  do {                   \
    if_c_error = (code); \
    goto failed;         \
  } while (0)
// The step at s enters the block in `slot`, found through `cache`. (An
// "if"'s second block has a cache of its own, and a macro rather than one
// shared label that takes the cache keeps a variable off the entry path.)
#define QV_ENTER(cache)                                              \
  do {                                                               \
    if (resume_top >= resume_limit) [[unlikely]] QV_FAIL(E_NESTING); \
    push_resume(b, s, aux);                                          \
    b = cached_block(cache, slot, s);                                \
    goto entered;                                                    \
  } while (0)
#define QV_CHECKED(call)                    \
  do {                                      \
    if (!(call)) [[unlikely]] goto failed; \
    QV_NEXT();                              \
  } while (0)
  Resume* const base = resume_top;
  u64 n = 0;      // records counted
  VarEntry* slot; // the block that the step at s enters
  // While a block runs in place (IF_LEAF, EXEC_LEAF, a loop's rounds): the
  // block and the step that ran it, where LEAF_END and ROUND_END go back
  // to; a block run in place runs no other block, so there is one such run
  // at a time. Null otherwise.
  const DecodedBlock* held = nullptr;
  const Step* back = nullptr;
  const DecodedBlock* leaf;  // the block that the step at s runs in place
  Ref aux = 0;    // the state of that step (see Resume)
  int verdict;    // a loop's check at the end of a round (see rounds_end)
  for (;;) {
#ifndef QV_COMPUTED_GOTO
  dispatch:
#endif
    vmdispatch(s->kind) {
      vmcase(CALL) {
        if (!s->call()) [[unlikely]] goto failed;
        // Only a handler's call or a "return" can set a level or a stop,
        // so the other steps go on without testing for one.
        if (signal_pending()) [[unlikely]] goto signalled;
        QV_NEXT();
      }
      // The handler reports it when tracing, which a handler may have
      // switched on; else there is nothing to do.
      vmcase(IDLE_INIT) {
        if (_tracing_on) [[unlikely]]
          if (!s->call()) goto failed;
        QV_NEXT();
      }
      // The block's first step, or a later one of a block that does not
      // renew its group: only the former can find the group primed.
      // A prime found here (an entry that processed events) steps over
      // what a plain entry would.
      vmcase(INIT_TEMPS) {
        if (_tracing_on) [[unlikely]] {
          drop_prime(*b);  // the handler leaves values alone
          QV_CHECKED(s->call());
        }
        if (b->primed) {
          b->primed = false;
          s = past_prime(*b, s);
          QV_GO();
        }
        init_group(*s);
        QV_NEXT();
      }
      vmcase(DEL_TEMPS) {
        QV_CHECKED(_tracing_on ? s->call() : del_group(*s));
      }
      // A renewal is the block's last step: END follows, without a dispatch.
      vmcase(RENEW_TEMPS) {
        if (!(_tracing_on ? s->call() : end_group(*b, *s)))
            [[unlikely]]
          goto failed;
        goto at_end;
      }
      // The handler leaves the texts of a primed group as they are, which is
      // how it would initialise them.
      vmcase(INIT_STRS) {
        if (b->primed && !_tracing_on) {
          b->primed = false;
          s = past_prime(*b, s);  // and the declarations of its variables
          QV_GO();
        }
        drop_prime(*b);
        QV_CHECKED(s->call());
      }
      vmcase(RENEW_STRS) {
        if (!(_tracing_on ? s->call() : end_strings(*b, *s)))
            [[unlikely]]
          goto failed;
        goto at_end;
      }
      vmcase(DEL_VARS) { QV_CHECKED(del_temps(s->result, s->params, s->count)); }
      vmcase(RENEW_VARS) {
        if (!(_tracing_on ? s->call() : end_named_apart(*b, *s))) [[unlikely]]
          goto failed;
        goto at_end;
      }
      vmcase(DECLARE) { QV_CHECKED(declare_one(s->result, s->params, s->count)); }
      vmcase(PLUS) { QV_CHECKED(arith::fold<arith::ADD>(s->result, s->params, s->count)); }
      vmcase(MUL) { QV_CHECKED(arith::fold<arith::MUL>(s->result, s->params, s->count)); }
      // A type that is not a number fails as ever, through fold.
      vmcase(PLUS2) {
        QV_CHECKED(arith::fold2<arith::ADD>(S(s->result), O(s, 0)->value,
                                            O(s, 1)->value) ||
                   arith::fold<arith::ADD>(s->result, s->params, s->count));
      }
      vmcase(MUL2) {
        QV_CHECKED(arith::fold2<arith::MUL>(S(s->result), O(s, 0)->value,
                                            O(s, 1)->value) ||
                   arith::fold<arith::MUL>(s->result, s->params, s->count));
      }
      vmcase(MINUS) { QV_CHECKED(arith::binary<arith::SUB>(s->result, s->params)); }
      vmcase(MINUS2) { QV_CHECKED(arith::binary_into<arith::SUB>(S(s->result), O(s, 0), O(s, 1))); }
      vmcase(DIV2) { QV_CHECKED(arith::binary_into<arith::DIV>(S(s->result), O(s, 0), O(s, 1))); }
      vmcase(DIV) {
      step_div:
        QV_CHECKED(arith::binary<arith::DIV>(s->result, s->params));
      }
      // The divisor is read at every run: an element access may have
      // pointed its word elsewhere. Floats divide as any others.
      vmcase(DIV_POW2) {
        if (s->result) {
          VarEntry* r = S(s->result);
          if (arith::is_integer(r->type) && O(s, 1)->value == 1u << s->holds) {
            r->value = arith::div_pow2(r->type, O(s, 0)->value, s->holds);
            QV_NEXT();
          }
        }
        goto step_div;
      }
      vmcase(MOD) { QV_CHECKED(arith::binary<arith::MOD>(s->result, s->params)); }
      vmcase(MOD2) { QV_CHECKED(arith::binary_into<arith::MOD>(S(s->result), O(s, 0), O(s, 1))); }
      vmcase(PLUS_ASSIGN) { QV_CHECKED(arith::in_place<arith::ADD>(s->result, O(s, 0), O(s, 1))); }
      vmcase(MINUS_ASSIGN) { QV_CHECKED(arith::in_place<arith::SUB>(s->result, O(s, 0), O(s, 1))); }
      vmcase(PLUS_ONLY) { QV_CHECKED(arith::in_place<arith::ADD>(0, O(s, 0), O(s, 1))); }
      vmcase(MINUS_ONLY) { QV_CHECKED(arith::in_place<arith::SUB>(0, O(s, 0), O(s, 1))); }
      // The conversion's id is read as ever; int to float, the commonest,
      // is done here.
      vmcase(CONVERT) {
        const u32 id = s->ops[0];
        VarEntry* const src = O(s, 1);
        if (id == C_l_intfloat) {
          S(s->result)->value = float_bits(static_cast<float>(as_int(src->value)));
          QV_NEXT();
        }
        QV_CHECKED(id - C_l_logint < C_COUNT - C_l_logint ? convfns[id](src, S(s->result))
                                                          : s->call());
      }
      // "&&" and "||" look at the value words alone, as their handlers do.
      vmcase(AND2) {
        S(s->result)->value = u32{O(s, 0)->value != 0} & u32{O(s, 1)->value != 0};
        QV_NEXT();
      }
      vmcase(OR2) {
        S(s->result)->value = (O(s, 0)->value | O(s, 1)->value) != 0;
        QV_NEXT();
      }
      // "?" delivers the operand that its condition picks, as its handler.
      vmcase(CHOOSE) {
        QV_CHECKED(deliver(O(s, 0)->value ? O(s, 1) : P(s->params, 2), S(s->result)));
      }
      // Bit operations and shifts of an int or uint result; the handler
      // fails any other as ever.
#define QV_BITS(op)                                                              \
  do {                                                                           \
    VarEntry* const r = S(s->result);                                            \
    if (arith::is_integer(r->type)) [[likely]] {                                 \
      r->value = arith::int_op<arith::op>(r->type, O(s, 0)->value, O(s, 1)->value); \
      QV_NEXT();                                                                 \
    }                                                                            \
    QV_CHECKED(s->call());                                                       \
  } while (0)
      vmcase(BITOR2) { QV_BITS(OR); }
      vmcase(BITAND2) { QV_BITS(AND); }
      vmcase(BITXOR2) { QV_BITS(XOR); }
      vmcase(SHL2) { QV_BITS(SHL); }
      vmcase(SHR2) { QV_BITS(SHR); }
#undef QV_BITS
      // The element's place goes to the word and to its step's copy of it
      // (Step::twin): a place read from the step, or one the code holds.
      // (The checks are element_into's, written out: sharing that function
      // gave the same code here but laid the loop's other code out so that
      // it ran 0.4 % more instructions, and quicksort 2 % more time.)
#define QV_ELEMENT(twin)                         \
  do {                                           \
    const VarEntry* const arr = P(s->params, 0); \
    const u32 i = P(s->params, 1)->value;        \
    if (no_element(arr, i)) [[unlikely]] {       \
      fail_element(arr);                         \
      goto failed;                               \
    }                                            \
    const Ref place = element_place(arr, i);     \
    wr32(mem + s->result, place);                \
    twin = place;                                \
    QV_NEXT();                                   \
  } while (0)
      vmcase(ELEMENT) { QV_ELEMENT(twin_of(*s)); }
      vmcase(ELEMENT_A1) { QV_ELEMENT(s[1].ops[0]); }
      vmcase(ELEMENT_B1) { QV_ELEMENT(s[1].ops[1]); }
      vmcase(ELEMENT_A2) { QV_ELEMENT(s[2].ops[0]); }
      vmcase(ELEMENT_B2) { QV_ELEMENT(s[2].ops[1]); }
      vmcase(ELEMENT_A3) { QV_ELEMENT(s[3].ops[0]); }
      vmcase(ELEMENT_B3) { QV_ELEMENT(s[3].ops[1]); }
#undef QV_ELEMENT
      vmcase(ASSIGN) {
        QV_CHECKED(assign_in_slot(O(s, 0), O(s, 1), s->result) || s->call());
      }
      vmcase(ASSIGN_ONLY) {
      step_assign_only:
        QV_CHECKED(assign_in_slot(O(s, 0), O(s, 1)) || s->call());
      }
      // The arithmetic and the assignment after it (see PLUS_SET): the
      // assignment takes the value from the register that computed it, not
      // from the temporary just written, which saves a trip through memory
      // on the way from one step's value to the next. An assignment whose
      // word an element record has pointed elsewhere runs as ever.
#define QV_ARITH_SET(compute)                                                  \
  do {                                                                         \
    VarEntry* const r = S(s->result);                                          \
    if (!(compute)) [[unlikely]] goto failed;                                  \
    ++s;                                                                       \
    fuzz_step();                                                               \
    if (s->ops[1] != s[-1].result) [[unlikely]] goto step_assign_only;         \
    QV_CHECKED(assign_in_slot(O(s, 0), r) || s->call());                       \
  } while (0)
      vmcase(PLUS_SET) {
        QV_ARITH_SET(arith::fold2<arith::ADD>(r, O(s, 0)->value, O(s, 1)->value) ||
                     arith::fold<arith::ADD>(s->result, s->params, s->count));
      }
      vmcase(MUL_SET) {
        QV_ARITH_SET(arith::fold2<arith::MUL>(r, O(s, 0)->value, O(s, 1)->value) ||
                     arith::fold<arith::MUL>(s->result, s->params, s->count));
      }
      vmcase(MINUS_SET) { QV_ARITH_SET(arith::binary_into<arith::SUB>(r, O(s, 0), O(s, 1))); }
      vmcase(DIV_SET) { QV_ARITH_SET(arith::binary_into<arith::DIV>(r, O(s, 0), O(s, 1))); }
      vmcase(MOD_SET) { QV_ARITH_SET(arith::binary_into<arith::MOD>(r, O(s, 0), O(s, 1))); }
#undef QV_ARITH_SET
      vmcase(INC) { QV_CHECKED(arith::step(s->result, O(s, 0), s->count, true)); }
      vmcase(DEC) { QV_CHECKED(arith::step(s->result, O(s, 0), s->count, false)); }
      vmcase(INC_ONLY) { QV_CHECKED(arith::step(0, O(s, 0), 0, true)); }
      vmcase(DEC_ONLY) { QV_CHECKED(arith::step(0, O(s, 0), 0, false)); }
      // Numbers compare here; other types through their comp, in the handler.
      vmcase(COMPARE) {
      step_compare:
        if (compared<false>(s)) QV_NEXT();
        QV_CHECKED(s->call());
      }
      // The "if" or "breakif" after it follows without a dispatch. It reads
      // its word as ever: an element record elsewhere may have rewritten it.
      vmcase(COMPARE_IF) {
        if (Traced || !compared<true>(s)) goto step_compare;
        ++s;
        fuzz_step();
        vmjump;  // (the IF's code: IF_LEAF once it has run a block in place)
      }
      // Each comparison by its own operator, as the step that it makes
      // alone, with an "if" or with a "breakif": numbers of the first
      // operand's type, as `compared` takes them; any other type as ever.
#define QV_VERDICT(op)                                                        \
  u32 verdict_now;                                                            \
  {                                                                           \
    const VarEntry* const x = O(s, 0);                                        \
    const VarEntry* const y = O(s, 1);                                        \
    if (x->type == TY_INT) [[likely]]                                         \
      verdict_now = as_int(x->value) op as_int(y->value);                     \
    else if (x->type == TY_FLOAT)                                             \
      verdict_now = as_float(x->value) op as_float(y->value);                 \
    else if (x->type == TY_UINT)                                              \
      verdict_now = x->value op y->value;                                     \
    else                                                                      \
      goto step_compare;                                                      \
  }                                                                           \
  S(s->result)->value = verdict_now
#define QV_COMPARE_TO(op)              \
  do {                                 \
    QV_VERDICT(op);                    \
    QV_NEXT();                         \
  } while (0)
#define QV_COMPARE_IF(op)              \
  do {                                 \
    QV_VERDICT(op);                    \
    ++s;                               \
    fuzz_step();                       \
    vmjump;                            \
  } while (0)
#define QV_COMPARE_BREAKIF(op)                                           \
  do {                                                                   \
    QV_VERDICT(op);                                                      \
    ++s;                                                                 \
    fuzz_step();                                                         \
    if (s->ops[0] != s[-1].result) [[unlikely]] goto step_breakif;       \
    if (verdict_now) goto break_taken;                                   \
    QV_NEXT();                                                           \
  } while (0)
#define QV_COMPARE_OPS(X) X(LT, <) X(LE, <=) X(GT, >) X(GE, >=) X(EQ, ==) X(NE, !=)
#define QV_COMPARE_TO_CASE(k, op) vmcase(k##_TO) { QV_COMPARE_TO(op); }
#define QV_COMPARE_IF_CASE(k, op) vmcase(k##_IF) { QV_COMPARE_IF(op); }
#define QV_COMPARE_BREAKIF_CASE(k, op) vmcase(k##_BREAKIF) { QV_COMPARE_BREAKIF(op); }
      QV_COMPARE_OPS(QV_COMPARE_TO_CASE)
      QV_COMPARE_OPS(QV_COMPARE_IF_CASE)
      QV_COMPARE_OPS(QV_COMPARE_BREAKIF_CASE)
#undef QV_COMPARE_TO_CASE
#undef QV_COMPARE_IF_CASE
#undef QV_COMPARE_BREAKIF_CASE
#undef QV_COMPARE_OPS
#undef QV_COMPARE_TO
#undef QV_COMPARE_IF
#undef QV_COMPARE_BREAKIF
#undef QV_VERDICT
      // The "breakif" takes the verdict at hand, not from the slot just
      // written, when its word still names that slot: a loop's exit then
      // waits on no trip through memory.
      vmcase(COMPARE_BREAKIF) {
        if (Traced || !compared<true>(s)) goto step_compare;
        {
          const u32 verdict_now = S(s->result)->value;
          ++s;
          fuzz_step();
          if (s->ops[0] != s[-1].result) [[unlikely]] goto step_breakif;
          if (verdict_now) goto break_taken;
        }
        QV_NEXT();
      }
      // (No level is pending at a step: one that is not taken leaves it 0.)
      vmcase(BREAKIF) {
      step_breakif:
        if (O(s, 0)->value) goto break_taken;
        QV_NEXT();
      }
      vmcase(CONTIF) {
        if (O(s, 0)->value) [[unlikely]] goto continue_taken;
        QV_NEXT();
      }
      vmcase(PARAM) { QV_CHECKED(param_value(s->result, s->ops[0], s->ops[1], s->count)); }
      vmcase(PARAM_TO) {
        Ref src;
        if (!param_source(s->ops[0], s->ops[1], s->count, &src)) [[unlikely]] goto failed;
        QV_CHECKED(deliver(S(src), S(s->result)));
      }
      vmcase(RETURN) {
        if (!return_value(s->ops[0], s->count)) [[unlikely]] goto failed;
        goto leave;
      }
      // A "return" in a block run in place leaves that block as `leave`
      // and left_in_place would, when its clean-up is one that `leave` does
      // at once: the "if", "exec" or "switch" that ran it then leaves its
      // own block. (No stop is pending at a step, and no trace runs while
      // a block runs in place.)
      vmcase(RETURN_LEAF) {
        if (!return_value(s->ops[0], s->count)) [[unlikely]] goto failed;
        if (quick_cleanup(*b)) [[likely]] {
          n += s->index + 1;
          if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;
          b = held;
          s = back;
          held = nullptr;
        }
        goto leave;
      }
      // The same in a block that a "call" entered through its call_start:
      // the block is left as `leave` would leave it, when its clean-up is
      // one that `leave` does inline, and the call ends as at the block's
      // end (see CALL_END). A trace switched on inside has `leave` report
      // the clean-up.
      vmcase(RETURN_CALL) {
        if (!return_value(s->ops[0], s->count)) [[unlikely]] goto failed;
        if (_tracing_on) [[unlikely]] goto leave;
        if (quick_cleanup(*b)) [[likely]] {
          if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;
        } else if (b->cleanup_step.kind == Step::RENEW_VARS && optimtmpvarinit) {
          if (!end_named_apart(*b, b->cleanup_step)) [[unlikely]] goto cleanup_failed;
        } else {
          goto leave;
        }
        n += s->index + 1;
        goto call_done;
      }
      // The same in a block that an "if" entered through its nest_start,
      // which `leave` and block_done would leave so: the "if"'s entry is
      // the top of the stack of places. A step of the block may have
      // switched the trace on: the clean-up then goes through `leave`,
      // which reports it.
      vmcase(RETURN_NEST) {
        if (!return_value(s->ops[0], s->count)) [[unlikely]] goto failed;
        if (!_tracing_on && quick_cleanup(*b)) [[likely]] {
          n += s->index + 1;
          if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;
          run_ends(*b);
          const Resume& r = *--resume_top;
          b = r.block;
          s = r.step;
        }
        goto leave;
      }
      // The steps that run blocks: each picks its block and enters it; its
      // epilogue, after the block, is at `block_done`.
      vmcase(EXEC) {
      step_exec:
        aux = 0;
        goto exec_block;
      }
      // The code of an "exec" of one block that has run it in place, as
      // IF_LEAF.
      vmcase(EXEC_LEAF) {
        slot = P(s->params, 0);
        leaf = s->entered;
        if (!in_place(leaf, slot, s->fixed)) [[unlikely]] goto step_exec;
        goto run_in_place;
      }
      // (Its entry keeps whatever aux holds, which nothing reads back.)
      vmcase(IF) {
      step_if:
        if (P(s->params, 0)->value) {
          slot = P(s->params, 1);
          goto enter;
        }
        if (s->nparams() < 3) QV_NEXT();
        slot = P(s->params, 2);
        if (slot->flags & V_EMPTY) [[unlikely]] QV_FAIL(E_NOT_INIT);
        QV_ENTER(s->entered_else);
      }
      vmcase(CALL_BLOCK) {
        slot = P(s->params, 0);
        if (slot->flags & V_EMPTY) QV_FAIL(E_NOT_INIT);
        if (const u32 refused = call_refusal(s->nparams())) QV_FAIL(refused);
        if (s->fresh) S(s->result)->value = 0;
        aux = callstack.next;
        resume_top->outer_frame = inner_frame;  // the entry that enter_call pushes
        push_frame(s->result, s->params, s->nparams());
        goto enter_call;
      }
      // A selector past the blocks runs nothing.
      vmcase(SWITCH) {
        const u32 sel = P(s->params, 0)->value;
        if (s->nparams() < 2 || sel >= s->nparams() - 1) QV_NEXT();
        slot = P(s->params, sel + 1);
        goto enter;
      }
      // The code of a "switch" that has run a block in place: the selected
      // block runs so again when it runs no block and a plain entry would
      // take it. Its blocks take turns, so a cache of the last one would
      // miss: the block is looked up by its place.
      vmcase(SWITCH_LEAF) {
        const u32 sel = P(s->params, 0)->value;
        if (s->nparams() < 2 || sel >= s->nparams() - 1) QV_NEXT();
        slot = P(s->params, sel + 1);
        if (!(slot->flags & V_EMPTY) && resume_top < resume_limit && !special_mode()) [[likely]] {
          leaf = decoded_block(slot->value);
          if (leaf->leaf_start) [[likely]] goto run_in_place;
        }
        goto enter;
      }
      vmcase(LOOP) {
        aux = 0;
        slot = P(s->params, 0);
        goto round_slot;
      }
      vmcase(FOR) {
        P(s->params, 0)->value = P(s->params, 1)->value;
        aux = as_int(P(s->params, 1)->value) > as_int(P(s->params, 2)->value);
        goto round;
      }
      vmcase(BAD) {
        last_lexema = 0;
        execerror(E_BAD_INIT);
      }
      vmcase(END) {
      step_end:
        if (resume_top != base) {
          // A round of a loop's body without a level: the next round
          // starts right here, with the body still entered, when the slot
          // still holds it and nothing asks for the slow entry. The rounds
          // share one run of the body (see block_runs.h): between two of
          // them nothing runs but the loop's test.
          Resume& r = resume_top[-1];
          if (r.body == b && !signal_pending()) [[likely]] {
            ++r.rounds;  // its records are counted when the rounds end
            verdict = round_check(r.loop, r.aux);
            if (verdict == 0 && holds_plainly(b, r.slot, r.fixed) &&
                (!b->single || !r.loop.index ||
                 (verdict = single_step_rounds(r, *b, n)) == NOT_FUSED)) {
              s = start_of(*b);
              fuzz_step();  // the block's entry
              QV_GO();
            }
            goto rounds_end;
          }
          n += s->index;
          goto block_done;
        }
        return n;  // the host step's block
      }
      // The slot and the cached block of an "if"'s branch, or the next
      // step for an "if" without "else" whose condition fails. (The "else"
      // branch is the one laid out straight on, the way down an else-if
      // ladder: GCC laid the branch out either way as code elsewhere
      // changed, and the other way cost the ladder 12 % of its time.)
#define QV_IF_BRANCH()                             \
  do {                                             \
    if (P(s->params, 0)->value) [[unlikely]] {     \
      slot = P(s->params, 1);                      \
      leaf = s->entered;                           \
    } else {                                       \
      if (s->nparams() < 3) QV_NEXT();             \
      slot = P(s->params, 2);                      \
      leaf = s->entered_else;                      \
    }                                              \
  } while (0)
      // The code of an "if" that has run a block in place or through its
      // nest_start (its kind stays IF): the block of the condition's branch
      // runs so again when it is the one the branch ran last and a plain
      // entry would take it (see in_place), else the "if" runs it as any
      // other.
      vmcase(IF_LEAF) {
        QV_IF_BRANCH();
        // (Its blocks' slots are looked at even when they are constants:
        // an "if" that trusted them measured slower, its code laid out
        // worse, for fewer instructions.)
        if (resume_top < resume_limit && holds_plainly(leaf, slot, false)) [[likely]] {
          if (leaf->leaf_start) goto run_in_place;
          if (leaf->nest_start) goto run_nested;
        }
        goto step_if;
      }
      // The same for an "if" whose block ends right after it (Step::holds):
      // a quiet block (quiet_blocks.h), with room for its tree below the
      // nesting limit, runs after the end of this one, as if the outer "if"
      // had entered it.
      vmcase(IF_TAIL) {
        QV_IF_BRANCH();
        // (The quiet block's room is the stricter limit: tested alone, it
        // spares the climb of an else-if ladder a comparison per rung.)
        if (holds_plainly(leaf, slot, false)) [[likely]] {
          if (leaf->quiet && resume_top < resume_quiet_limit) goto run_after_end;
          if (resume_top < resume_limit) {
            if (leaf->leaf_start) goto run_in_place;
            if (leaf->nest_start) goto run_nested;
          }
        }
        goto step_if;
      }
#undef QV_IF_BRANCH
      // A round of a loop's body run in place is done. The next one starts
      // as END would start it, when the slot still holds the body and
      // nothing asks for the slow entry; otherwise the loop enters what the
      // slot holds, or is done.
      vmcase(ROUND_RENEW) {
        // (No tracing starts while a block runs in place.)
        if (!(s->holds == 0 ? renew_group(*s) : renew_temporaries(s->result, s->temps)))
            [[unlikely]]
          goto failed;
        goto round_end;
      }
      // The rounds in place of the loop at `back` are over, with the check's
      // verdict c (see rounds_end): their records are counted, and the loop
      // is done, or enters what its slot now holds. (Also after a
      // "continueif", whose body's group needs no priming.)
#define QV_ROUNDS_IN_PLACE_END(c)                                 \
  do {                                                            \
    n += r.rounds * b->nsteps;                                    \
    b = held;                                                     \
    s = back;                                                     \
    held = nullptr;                                               \
    if (c == 0) { /* the next round enters what the slot holds */ \
      aux = r.down;                                               \
      slot = r.slot;                                              \
      goto enter_round;                                           \
    }                                                             \
    if (c < 0) QV_FAIL(E_FOR_RANGE);                              \
    QV_NEXT();                                                    \
  } while (0)
      vmcase(ROUND_END) {
      round_end: {
        InPlaceRounds& r = rounds_here;
        ++r.rounds;
        const int c = round_check(r.loop, r.down);
        if (c == 0 && holds_plainly(b, r.slot, r.fixed)) [[likely]] {
          s = b->round_next;
          fuzz_step();  // the block's entry
          QV_GO();
        }
        b->primed = b->renews;
        QV_ROUNDS_IN_PLACE_END(c);
      }
      }
      // A round of a loop's body that runs blocks is done (see
      // DecodedBlock::body_start). The next one starts as END would start
      // it, when the slot still holds the body and nothing asks for the
      // slow entry; otherwise the loop is done, or enters what the slot
      // holds. The group's renewal is as at any end of the block.
      vmcase(BODY_RENEW) {
        if (!end_renewal_traced(*b, *s)) [[unlikely]] goto failed;
        goto body_end;
      }
      // (Written out in BODY_KEEP too, which GCC may lay out apart, with a
      // jump to it.)
#define QV_BODY_DONE()                                                      \
  do {                                                                      \
    Resume& r = resume_top[-1];                                             \
    ++r.rounds;                                                             \
    verdict = round_check(r.loop, r.aux);                                   \
    if (verdict == 0 && holds_plainly(b, r.slot, r.fixed)) [[likely]] {     \
      s = start_in(*b, b->body_start);                                      \
      fuzz_step(); /* the block's entry */                                  \
      QV_GO();                                                              \
    }                                                                       \
    goto rounds_end;                                                        \
  } while (0)
      vmcase(BODY_KEEP) {
        if (!end_kept_traced(*b, *s)) [[unlikely]] goto failed;
        QV_BODY_DONE();
      }
      vmcase(BODY_END) {
      body_end:
        QV_BODY_DONE();
      }
#undef QV_BODY_DONE
      // The end of a block that an "if" entered through nest_start: as
      // block_done finishes an "if", where no level is pending (as at any
      // step: one that sets a level leaves at once).
      vmcase(NEST_RENEW) {
        if (!end_renewal_traced(*b, *s)) [[unlikely]] goto failed;
        goto nest_end;
      }
      // (Written out in NEST_KEEP too, which GCC may lay out apart, with a
      // jump to it.)
#define QV_NEST_DONE()                    \
  do {                                    \
    n += s->index;                        \
    run_ends(*b);                         \
    const Resume& r = *--resume_top;      \
    b = r.block;                          \
    s = r.step;                           \
    QV_NEXT();                            \
  } while (0)
      vmcase(NEST_KEEP) {
        if (!end_kept_traced(*b, *s)) [[unlikely]] goto failed;
        QV_NEST_DONE();
      }
      vmcase(NEST_END) {
      nest_end:
        QV_NEST_DONE();
      }
#undef QV_NEST_DONE
      // The end of a block that a "call" entered through call_start: as
      // block_done ends a call, where no level is pending.
      vmcase(CALL_RENEW) {
        if (!end_renewal_traced(*b, *s)) [[unlikely]] goto failed;
        goto call_end;
      }
      vmcase(CALL_KEEP) {
        if (!end_kept_traced(*b, *s)) [[unlikely]] goto failed;
        goto call_end;
      }
      vmcase(CALL_END) {
      call_end:
        n += s->index;
      call_done: {  // (the records counted; a "return" leaves its level)
        run_ends(*b);
        const Resume& r = *--resume_top;
        b = r.block;
        s = r.step;
        callstack.next = r.aux;
        inner_frame = r.outer_frame;
        --block_nesty;
        cont_level = brk_level = 0;
        QV_NEXT();
      }
      }
      // The renewal of the group of a block run in place, its last step,
      // and then its end (see place_leaf).
      vmcase(LEAF_RENEW) {
        // (No tracing starts while a block runs in place.)
        if (!end_renewal(*b, *s)) [[unlikely]] goto failed;
        goto leaf_end;
      }
      // The block that the step at `back` ran in place is done: its
      // records are counted, as at its END. (Written out in LEAF_KEEP too,
      // which a jump to it had cost an instruction more in some layouts.)
#define QV_LEAF_DONE() \
  do {                 \
    n += s->index;     \
    b = held;          \
    s = back;          \
    held = nullptr;    \
    QV_NEXT();         \
  } while (0)
      vmcase(LEAF_KEEP) {  // (a group that the block keeps: see end_kept_traced)
        b->primed = true;
        QV_LEAF_DONE();
      }
      vmcase(LEAF_END) {
      leaf_end:
        QV_LEAF_DONE();
      }
#undef QV_LEAF_DONE
      // A "par#" of a constant index (see constant_indices): the call's
      // count of arguments against it, then the argument's word; anything
      // else as PARAM.
      vmcase(PARAM_K) {
      step_param_k:
        if (const Ref src = argument(s->holds)) [[likely]]
          QV_CHECKED(deliver(S(src), S(s->result)));
        QV_CHECKED(param_value(s->result, s->ops[0], s->ops[1], s->count));
      }
      // The remainder and the comparison after it (see MOD_EQ_TO): the
      // comparison takes an int remainder from the register that computed
      // it. A comparison whose word an element record has pointed
      // elsewhere, or of another type, runs as ever, from its own code.
#define QV_MOD_VERDICT(op)                                                     \
  u32 verdict_now;                                                             \
  {                                                                            \
    VarEntry* const r = S(s->result);                                          \
    if (!arith::binary_into<arith::MOD>(r, O(s, 0), O(s, 1))) [[unlikely]]     \
      goto failed;                                                             \
    ++s;                                                                       \
    fuzz_step();                                                               \
    if (s->ops[0] != s[-1].result || r->type != TY_INT) [[unlikely]] vmjump;   \
    verdict_now = as_int(r->value) op as_int(O(s, 1)->value);                  \
  }                                                                            \
  S(s->result)->value = verdict_now
      vmcase(MOD_EQ_TO) {
        QV_MOD_VERDICT(==);
        QV_NEXT();
      }
      vmcase(MOD_NE_TO) {
        QV_MOD_VERDICT(!=);
        QV_NEXT();
      }
      vmcase(MOD_EQ_IF) {
        QV_MOD_VERDICT(==);
        ++s;
        fuzz_step();
        vmjump;  // (the IF's code)
      }
      vmcase(MOD_NE_IF) {
        QV_MOD_VERDICT(!=);
        ++s;
        fuzz_step();
        vmjump;
      }
#undef QV_MOD_VERDICT
      // "break" and "continue" set their level here, as "breakif" and
      // "continueif" do when theirs is taken, rather than through the
      // handler and the test for a level after it.
      vmcase(BREAK) { goto break_taken; }
      vmcase(CONT) { goto continue_taken; }
      // A "par#" of a constant index and the assignment after it (see
      // PARAM_SET): a number or truth value of the result's type goes on
      // at hand to the variable. Anything else runs as PARAM_K, and the
      // assignment from its own code, as does an assignment whose word an
      // element record has pointed elsewhere.
#define QV_PARAM_FAST(v)                                               \
  u32 v;                                                               \
  {                                                                    \
    const Ref src = argument(s->holds);                                \
    VarEntry* const r = S(s->result);                                  \
    const VarEntry* const x = S(src);                                  \
    if (!src || !copies_plainly(x, r)) [[unlikely]] goto step_param_k; \
    v = x->value;                                                      \
    r->value = v;                                                      \
  }
      vmcase(PARAM_SET) {
        QV_PARAM_FAST(v);
        ++s;
        fuzz_step();
        if (s->ops[1] != s[-1].result) [[unlikely]] goto step_assign_only;
        VarEntry* const var = O(s, 0);
        if ((var->flags & (V_EMPTY | V_ARRAY)) || !in_slot(var->type)) [[unlikely]]
          QV_CHECKED(s->call());
        var->value = v;
        QV_NEXT();
      }
      // Two "par#" of constant indices in a row (see PARAM_K2): the second
      // runs on from here.
      vmcase(PARAM_K2) {
        {
          QV_PARAM_FAST(first);
          (void)first;
        }
        ++s;
        fuzz_step();
        QV_PARAM_FAST(second);
        (void)second;
        QV_NEXT();
      }
#undef QV_PARAM_FAST
#ifndef QV_COMPUTED_GOTO
      default: break;
#endif
    }
    continue;

  // The step at s is its block's last: END follows.
  at_end:
    ++s;
    fuzz_step();
    if constexpr (Traced) trace_step(*b, s);
    goto step_end;

  // The step at s runs `leaf` in place (IF_LEAF, EXEC_LEAF). A primed
  // group's initialisation is stepped over as at a plain entry.
  run_in_place:
    held = b;
    back = s;
    b = leaf;
    s = start_in(*leaf, leaf->leaf_start);
    fuzz_step();  // the block's entry
    QV_GO();

  // An "if" enters `leaf`, a block that runs blocks, where a plain entry
  // would (see IF_LEAF): through its steps that end in NEST_END, or those
  // of the copy that an inner run runs (a copy of a damaged block has
  // none, and ends as any).
  run_nested:
    push_resume(b, s, aux);
    b = run_begins(*leaf);
    fuzz_step();  // the block's entry
    if (!b->nest_start) [[unlikely]] goto entered_begun;
    s = start_in(*b, b->nest_start);
    QV_GO();

  // "exec": the block of parameter aux, after the earlier ones. Levels
  // are not examined between the blocks: a block started while one is
  // pending still runs its first record.
  exec_block:
    if (aux >= s->nparams()) {
      if (signal_pending()) goto leave;
      QV_NEXT();
    }
    slot = P(s->params, aux);
    goto enter;

  // "loop" and "for": the first round, and the next one after a round
  // that left the body (see END). A "for" reads its index, bounds and step
  // anew at every round, as the body may change any of them.
  next_round:
    if (s->kind == Step::FOR) P(s->params, 0)->value += P(s->params, 3)->value;  // wraps
  round:
    if (s->kind == Step::FOR) {
      if (const int c = for_check(s->params, aux)) [[unlikely]] {
        if (c < 0) QV_FAIL(E_FOR_RANGE);
        QV_NEXT();
      }
      slot = P(s->params, 4);
    } else {
      slot = P(s->params, 0);
    }
  round_slot:
    if constexpr (!Traced) {
      // (cached_block has just matched the block's place with the slot's
      // value: of holds_plainly's tests, only the slot's flags are left.)
      const DecodedBlock* c = cached_block(s->entered, slot, s);
      if (c->round_start && in_place(c, slot, true) && !(slot->flags & V_EMPTY)) {
        // The rounds run in place (see ROUND_END).
        held = b;
        back = s;
        b = c;
        hold_in_place(rounds_here, *s, slot, aux);
        s = start_in(*c, c->round_start);
        fuzz_step();  // the block's entry
        QV_GO();
      }
    }
    goto enter_round;

  // A loop's step enters its body for a round. A body that runs blocks
  // runs its rounds through its steps that end in BODY_END, unless the
  // run is a copy's (whose END does not go on with the rounds either) or
  // one that set values aside, or the slow entry is asked for.
  enter_round:
    if (const u32 refused = entry_refusal(slot)) [[unlikely]] QV_FAIL(refused);
    {
      Resume& e = push_resume(b, s, aux);
      b = cached_block(s->entered, slot, s);
      hold_rounds(e, b, slot);
      b = run_begins(*b);
      fuzz_step();  // the block's entry
      // A run of the body that set an outer run's values aside (the loop's
      // own block, say) ends at every round, which gives them back: the
      // loop's test may read them.
      if (b == e.body && b->runs > 1) [[unlikely]] e.body = never_entered();
      if (Traced || !b->body_start || b != e.body || special_mode() || signal_pending())
          [[unlikely]]
        goto entered_begun;
      s = start_in(*b, b->body_start);
      QV_GO();
    }

  // "call" enters its block (its frame pushed): through the steps that end
  // the call at the block's end (see DecodedBlock::call_start), unless the
  // entry must run the records as they are.
  enter_call:
    if (resume_top >= resume_limit) [[unlikely]] QV_FAIL(E_NESTING);
    push_resume(b, s, aux);
    b = run_begins(*cached_block(s->entered, slot, s));
    fuzz_step();  // the block's entry
    if (Traced || !b->call_start || special_mode() || signal_pending()) [[unlikely]]
      goto entered_begun;
    s = start_in(*b, b->call_start);
    QV_GO();

  // Any other step runs the block in `slot`.
  enter:
    if (slot->flags & V_EMPTY) [[unlikely]] QV_FAIL(E_NOT_INIT);
    QV_ENTER(s->entered);
  entered:
    b = run_begins(*b);
    fuzz_step();  // the block's entry
  entered_begun:
    if (special_mode() || signal_pending()) [[unlikely]] {
      s = b->steps;
      goto special_entry;
    }
    s = start_of(*b);
    QV_GO();

  // A block entered with events to process first, tracing on, or a level
  // pending. A block started while a level is pending runs its first
  // record, the idle initialisation too, and leaves; one whose events
  // raised a stop runs its first operation and ends the run there.
  special_entry: {
    const bool level = signal_pending();
    if (doprocesskeys && process_events_hook) at_block_entry();
    if (!level && !_tracing_on) s += b->idle_init;
    if (!signal_pending()) QV_GO();
    if (s->kind == Step::END || s->kind == Step::BAD) QV_GO();
    if constexpr (Traced) trace_step(*b, s);
    drop_prime(*b);  // an initialisation's handler leaves values alone
    if (!call_record(s->rec())) goto failed;  // (the step may run blocks)
    goto leave;
  }

  // A "break", or a "breakif" whose value holds, sets a level of 1. In a
  // loop's body run in place (`back` the loop's step) that level ends the
  // loop at once, as left_in_place would end it: so it is never set, and
  // the body's group is deleted here, as `leave` does, when that is all
  // its clean-up does (else the level is set after all, and `leave` goes
  // on from there).
#define QV_BODY_LEFT(level)                                          \
  do {                                                               \
    n += s->index + 1;                                               \
    if (on_stop) stop_run(s->rec());                                 \
    if (!quick_cleanup(*b)) {                                        \
      level = 1;                                                     \
      goto leave_counted;                                            \
    }                                                                \
    if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;          \
  } while (0)
  break_taken:
    if (!Traced && held && (back->kind == Step::LOOP || back->kind == Step::FOR)) [[likely]] {
      QV_BODY_LEFT(brk_level);
      n += rounds_here.rounds * b->nsteps;
      b = held;
      s = back;
      held = nullptr;
      QV_NEXT();
    }
    brk_level = 1;
    goto leave;

  // The same for a "continueif", whose level ends the round: the next one
  // starts as at ROUND_END, with the body's group initialised anew. From
  // anywhere else the level goes the way that a handler's level goes
  // (`signalled`), which ends a round from blocks that "if"s entered too.
  continue_taken:
    if (!Traced && held && (back->kind == Step::LOOP || back->kind == Step::FOR)) [[likely]] {
      QV_BODY_LEFT(cont_level);
      InPlaceRounds& r = rounds_here;
      const int v = round_check(r.loop, r.down);
      if (v == 0 && holds_plainly(b, r.slot, r.fixed)) [[likely]] {
        s = start_in(*b, b->round_start);
        fuzz_step();  // the block's entry
        QV_GO();
      }
      QV_ROUNDS_IN_PLACE_END(v);
    }
    cont_level = 1;
    goto signalled;
#undef QV_BODY_LEFT
#undef QV_ROUNDS_IN_PLACE_END

  // The step at s set a level or a stop, or a block it ran left with one.
  leave:
    // (A block run in place has nothing on the stack of places.)
    if (resume_top == base && !held) return n;
    n += s->index + 1;
    // "stop" first: the next block of an "exec" would otherwise leave
    // early and lose the stop.
    if (on_stop) stop_run(s->rec());
  leave_counted:
    // Most blocks leave with no clean-up or one that deletes a group of
    // temporaries (numbers, or numbers and texts): that is done here (see
    // quick_cleanup); the rest in leave_block.
    if (!_tracing_on) [[likely]] {
      if (quick_cleanup(*b)) [[likely]] {
        if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;
        goto left;
      }
      const Step& c = b->cleanup_step;
      if (c.kind == Step::RENEW_STRS) {
        if (!end_strings(*b, c)) [[unlikely]] goto cleanup_failed;
        goto left;
      }
      // A block with named variables of its own. (Without the grouped
      // initialisation, temporaries may wait for a deletion of their own.)
      if (c.kind == Step::DEL_VARS && optimtmpvarinit) {
        if (!del_temps(c.result, c.params, c.count)) [[unlikely]] goto cleanup_failed;
        goto left;
      }
      if (c.kind == Step::RENEW_VARS && optimtmpvarinit) {
        if (!end_named_apart(*b, c)) [[unlikely]] goto cleanup_failed;
        goto left;
      }
    }
    leave_block(*b, s);
  left:
    if (held) [[unlikely]] goto left_in_place;
    goto block_done;

  // The rounds of the loop whose body b is, entered on the stack of
  // places, end with the check's verdict: the loop is done (1, or -1 for
  // a "for" out of range), or, at 0, the next round enters the body anew
  // or what the slot now holds.
  rounds_end: {
    const Resume& r = *--resume_top;
    n += rounds_counted(r);
    run_ends(*b);
    b = r.block;
    s = r.step;
    if (verdict == 0) {
      aux = r.aux;
      slot = r.slot;
      goto enter_round;
    }
    if (verdict < 0) QV_FAIL(E_FOR_RANGE);
    QV_NEXT();
  }

  // A block run in place left with a level: the step that ran it finishes
  // as at block_done.
  left_in_place: {
    const DecodedBlock* const body = b;
    b = held;
    s = back;
    held = nullptr;
    if (s->kind == Step::FOR || s->kind == Step::LOOP || s->kind == Step::SWITCH) {
      if (s->kind == Step::SWITCH) {
        // A "break" or "continue" inside the chosen block ends here.
        _brk_cont();
        if (signal_pending()) goto leave;
        QV_NEXT();
      }
      n += rounds_here.rounds * body->nsteps;
      aux = rounds_here.down;
      if (!signal_pending() || !_brk_cont()) goto next_round;
    }
    if (signal_pending()) goto leave;
    QV_NEXT();
  }

  // A clean-up's deletion failed: it has no place of its own to name.
  cleanup_failed:
    last_lexema = 0;
    execerror(if_c_error);

  // The step at s failed with if_c_error.
  failed:
    if (resume_top == base && !held) return OP_FAILED;
    record_failed(s->rec());

  // The block b is done, its records counted; the step that entered it
  // finishes, as the operation would after a native run of the block.
  block_done:
    run_ends(*b);
    {
      const Resume& r = *--resume_top;
      b = r.block;
      s = r.step;
    }
    // "if", the commonest, has nothing left to do (nor a state: see IF).
    if (s->kind != Step::IF) {
      aux = resume_top->aux;  // the entry just taken off
      if (s->kind == Step::CALL_BLOCK) {
        callstack.next = aux;
        inner_frame = resume_top->outer_frame;
        --block_nesty;
        // No level leaves the called block.
        cont_level = brk_level = 0;
        QV_NEXT();
      }
      if (s->kind == Step::EXEC) {
        ++aux;
        goto exec_block;
      }
      if (s->kind == Step::LOOP || s->kind == Step::FOR) {
        n += rounds_counted(*resume_top);  // the entry just taken off
        if (!signal_pending() || !_brk_cont()) goto next_round;
      } else if (s->kind == Step::SWITCH && signal_pending()) {
        // A "break" or "continue" inside the chosen block ends here.
        _brk_cont();
      }
    }
    if (signal_pending()) [[unlikely]] goto leave;
    QV_NEXT();

  // A handler's step set a level or a stop. A "continue" of one level in
  // the body of a loop that goes round from the body's end (see BODY_END)
  // ends the round right here, as `leave` and the loop's step would end
  // it, and the next round starts as at BODY_END; so it does from inside
  // the blocks that "if"s of such a body entered, which end as `leave` ends
  // them, and from a block that such an "if" ran in place. Each block's
  // clean-up is done as `leave` does it, when that is all it does. (A body
  // without steps of its own for the rounds, a damaged one, goes round
  // through its steps, as from END.)
  signalled:
    if (!Traced && cont_level == 1 && !brk_level && !on_stop && !_tracing_on) [[unlikely]] {
      // A block that an "if" ran in place is left first, as `leave` and
      // left_in_place would leave it.
      if (held && back->kind == Step::IF && quick_cleanup(*b)) {
        n += s->index + 1;
        if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;
        b = held;
        s = back;
        held = nullptr;
      }
      while (!held && resume_top != base && quick_cleanup(*b)) {
        Resume& r = resume_top[-1];
        if (r.body != b && r.step->kind != Step::IF) break;
        n += s->index + 1;
        if (!end_quickly(*b)) [[unlikely]] goto cleanup_failed;
        if (r.body == b) {
          cont_level = 0;
          verdict = round_check(r.loop, r.aux);
          if (verdict == 0 && holds_plainly(b, r.slot, r.fixed)) [[likely]] {
            s = start_in(*b, b->body_start ? b->body_start : b->start);
            fuzz_step();  // the block's entry
            QV_GO();
          }
          goto rounds_end;
        }
        run_ends(*b);
        --resume_top;
        b = r.block;
        s = r.step;
      }
    }
    goto leave;
  }

  // IF_TAIL: the block b ends as at the step after s, its end, and then
  // `leaf` runs in place or through its nest_start with nothing noted for
  // this "if": its end goes back to the "if" that entered b. (The room
  // that IF_TAIL made sure of keeps leaf's tree short of the nesting
  // limit, as it would be were this "if" noted; every block inside the
  // tree that ends first in turn is inside that room.) It comes last in
  // the function: written beside run_nested, it moved the code after it,
  // and mandelbrot, which has no such "if", took 10 % more time.
  run_after_end: {
    const Step& end = s[1];
    if (end.kind == Step::NEST_RENEW) {
      if (!end_renewal(*b, end)) [[unlikely]] {
        s = &end;
        goto failed;
      }
    } else if (end.kind == Step::NEST_KEEP) {
      b->primed = true;
    }
    n += end.index;
    run_ends(*b);
    if (leaf->leaf_start) {
      const Resume& r = *--resume_top;
      held = r.block;
      back = r.step;
      b = leaf;
      s = start_in(*leaf, leaf->leaf_start);
      fuzz_step();  // the block's entry
      QV_GO();
    }
    b = run_begins(*leaf);
    fuzz_step();  // the block's entry
    if (!b->nest_start) [[unlikely]] goto entered_begun;
    s = start_in(*b, b->nest_start);
    QV_GO();
  }
#undef QV_CHECKED
#undef QV_ENTER
#undef QV_FAIL
#undef QV_NEXT
#undef QV_GO
#undef vmjump
#undef vmcase
#undef vmdispatch
}

namespace {

template <bool Traced>
u32 run_host(Step::Kind kind, Ref result, const u8* params, u32 count) {
  if (native_stack_low()) return fail(E_NESTING);
  Step host[2]{};
  host[0].code = step_code(kind);
  host[0].params = params;
  host[0].entered = host[0].entered_else = never_entered();
  host[0].result = result;
  host[0].count = static_cast<u16>(count);
  host[0].kind = kind;
  host[1].kind = Step::END;
  host[1].index = 1;
  host[1].code = step_code(Step::END);
  DecodedBlock b{};
  b.runs = DecodedBlock::UNCOUNTED;
  b.nsteps = 1;
  b.steps = host;
  b.start = host;
  const u64 n = run_steps<Traced>(&b, host);
  if (n == OP_FAILED) return 0;
  _opcount += n;
  return 1;
}

// A block slot run from outside the loop, as "exec" of the one block.
template <bool Traced>
void run_block(VarEntry* slot) {
  u8 param[4];
  wr32(param, ref_of(slot));
  if (!run_host<Traced>(Step::EXEC, 0, param, 1)) {
    last_lexema = 0;
    execerror(if_c_error);
  }
}

}  // namespace

const void* step_code(Step::Kind kind) {
#ifdef QV_COMPUTED_GOTO
  if (!plain_step_code) run_steps<false>(nullptr, nullptr);
  return plain_step_code[kind];
#else
  return nullptr;
#endif
}

u32 run_from_handler(Step::Kind kind, Ref result, const u8* params, u32 count) {
  return _execute == _exectrace ? run_host<true>(kind, result, params, count)
                                : run_host<false>(kind, result, params, count);
}

void _executor(VarEntry* slot) { run_block<false>(slot); }
void _exectrace(VarEntry* slot) { run_block<true>(slot); }

// The top of the main thread's stack as the kernel set it up at start
// (field 28 of /proc/self/stat, after the command name in parentheses,
// which may itself hold spaces and parentheses); 0 where it cannot be read.
static std::uintptr_t main_stack_top() {
  std::FILE* f = std::fopen("/proc/self/stat", "r");
  if (!f) return 0;
  char buf[1024];
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  const char* p = std::strrchr(buf, ')');
  unsigned long long top = 0;
  // Fields 3 to 27 are skipped; field 28 is the stack's start.
  if (!p || std::sscanf(p + 1, "%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s%*s"
                               "%*s%*s%*s%*s%*s%*s%*s%*s%llu", &top) != 1)
    return 0;
  return static_cast<std::uintptr_t>(top);
}

// The main thread's stack ends its size limit below its top. (The
// thread's attributes would say the same, but finding them reads the
// process's whole memory map.) Elsewhere, or without a limit, only the
// nesting count holds.
void measure_native_stack() {
  static const std::uintptr_t top = main_stack_top();
  stack_floor = 0;
  rlimit lim{};
  if (!top || getrlimit(RLIMIT_STACK, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return;
  const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (here > top || top - here >= lim.rlim_cur) return;
  // The arguments and environment above the top lie within the reserve.
  stack_floor = top - lim.rlim_cur + NATIVE_STACK_RESERVE;
}

u32 execute(int trace) {
  measure_native_stack();
  _tracing_on = _tracing_int = trace ? 1 : 0;
  _trace_hook = trace_line;
  clear_decoded_blocks();  // the code page is the program's now
  frame_at_top(callstack.next);
#ifdef QV_FUZZ
  fuzz_steps_run = 0;
#endif
  try {
    VarEntry* main = S(cnstable.base);
    if (!(main->flags & V_EMPTY)) {
      _execute = trace ? _exectrace : _executor;
      _execute(main);
      release_primed();
      release_copies();
      erase_consts();
    }
  } catch (const RunError& e) {
    // The error may have come from inside any number of calls and blocks.
    block_nesty = 0;
    callstack.next = callstack.base;
    inner_frame = {};
    forget_entries();
    abandon_runs();
    release_copies();
    st_storage_release();
    return e.code ? e.code : 1;
  }
  st_storage_release();
  return 0;
}

void reset_run_state() {
  brk_level = cont_level = 0;
  on_stop = 0;
  _tracing_on = _tracing_int = _trace_stop = 0;
  _opcount = 0;
  doprocesskeys = 0;
  last_lexema = 0;
  if_c_error = 0;
  block_nesty = 0;
  _execute = _executor;
  forget_entries();
  abandon_runs();
  st_storage_release();
  clear_decoded_blocks();
}

void execerror(u32 code) {
  erase_allvars();
  codepage.first = codepage.base;
  throw RunError{code};
}

namespace {

u32 entries(const TableHead& t, Ref upto) { return (upto - t.base) / t.entrySize; }

// Pointer-style text of a reference, as %p prints an address.
const char* ptr_text(char* buf, size_t n, u32 v) {
  if (v == 0)
    std::snprintf(buf, n, "(nil)");
  else
    std::snprintf(buf, n, "0x%x", v);
  return buf;
}

}  // namespace

void trace_line(Ref position, const u8* record, int first) {
  char a[24], b[24];
  ptr_text(a, sizeof a, rd32(record));
  ptr_text(b, sizeof b, ref_of(record));
  if (position == 0) {
    if (_tracing_int) {
      std::puts("---unknown operaton---");
      std::printf("entry: %s at %s, vartable: %u, varname: %u, rettable %u", a, b,
                  entries(vartable, vartable.next), entries(varname, varname.next),
                  entries(rettable, rettable.next));
    }
    return;
  }
  const char* text = reinterpret_cast<const char*>(mem + position);
  if (_tracing_int) {
    if (text[0] == '`' && first == 1)
      std::printf(
          "\n---------------------------------------------------\nvartable: %u, varname: %u, "
          "rettable %u, call stack: %u\n",
          entries(vartable, vartable.first), entries(varname, varname.first),
          entries(rettable, rettable.next), entries(callstack, callstack.next));
    else
      std::printf("entry: %s at %s  ", a, b);
    if (_trace_stop) {
      std::fflush(stdout);  // what was printed shows before the wait
      std::getchar();
    }
  }
  size_t len = 0;
  while (text[len] && text[len] != '\n' && text[len] != 0x1A) ++len;
  std::fwrite(text, 1, len, stdout);
  std::fputc('\n', stdout);
}

}  // namespace qv
