// The decoded-block cache: one entry per block start in the code page,
// filled on the block's first run.
#include "decoded.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "arena.h"
#include "block_copies.h"
#include "env.h"
#include "executor.h"
#include "handlers.h"
#include "arith.h"
#include "quiet_blocks.h"
#include "reentry.h"
#include "variables.h"

namespace qv {

// What the entries and ends of runs read of a block, its deletion record's
// narrow fields the last of it, fits in the two cache lines it starts on
// (see cleanup_step). (offsetof of a type with vectors in it: GCC's
// layout, which is all this is about.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(DecodedBlock, cleanup_step) + offsetof(Step, params) <= 2 * 64);
#pragma GCC diagnostic pop

const DecodedBlock** decoded_at = nullptr;
Ref decoded_base = 0;
u32 decoded_span = 0;

bool table_slot(const TableHead& t, Ref ref) {
  return ref >= t.base && ref < t.end && (ref - t.base) % sizeof(VarEntry) == 0;
}

namespace {

// The deque keeps every entry in place as it grows: a loop holds on to its
// body's entry while the body runs (and decodes) other blocks.
std::deque<DecodedBlock> pool;
// One entry per byte of the code page. calloc hands a table this large out
// as fresh zero pages from the system, so only the pages of blocks that run
// are ever touched: zero-filling all of it cost about a tenth of the
// start-up.
struct FreeTable { void operator()(const DecodedBlock** t) const { std::free(t); } };
std::unique_ptr<const DecodedBlock*[], FreeTable> table;
u32 table_span = 0;
std::vector<u32> filled;  // the table entries in use, to clear just those

// A group of temporaries that are all numbers or truth values, whose init
// and del only set the value word and the flags. A temporary keeps its
// type for the whole run, except where code compiled without the grouped
// initialisation gives it a new one, so what is seen here holds.
bool in_slot_group(Ref first, u32 k) {
  if (!optimtmpvarinit || !first) return false;
  for (const VarEntry* v = S(first), *e = v + k; v != e; ++v)
    if (!in_slot(v->type)) return false;
  return true;
}

}  // namespace

Step::Kind handler_kind(u32 h) {
  switch (h) {
    case H_l_plus: return Step::PLUS;
    case H_l_mul: return Step::MUL;
    case H_l_mins: return Step::MINUS;
    case H_l_div: return Step::DIV;
    case H_l_mod: return Step::MOD;
    case H_l_plusassgn: return Step::PLUS_ASSIGN;
    case H_l_minusassgn: return Step::MINUS_ASSIGN;
    case H__arrdynelem: return Step::ELEMENT;
    case H_l_assign: return Step::ASSIGN;
    case H_l_inc: return Step::INC;
    case H_l_dec: return Step::DEC;
    case H_l_lt: case H_l_gt: case H_l_eq: case H_l_ne: case H_l_le: case H_l_ge:
      return Step::COMPARE;
    case H_l_brkif: return Step::BREAKIF;
    case H_l_contif: return Step::CONTIF;
    case H_l_break: return Step::BREAK;
    case H_l_cont: return Step::CONT;
    case H_l_paramvalue: return Step::PARAM;
    case H_l_return: return Step::RETURN;
    case H_l_bl_exec: return Step::EXEC;
    case H_l_bl_call: return Step::CALL_BLOCK;
    case H_log_if: return Step::IF;
    case H_l_switch: return Step::SWITCH;
    case H_l_loop: return Step::LOOP;
    case H_l_for: return Step::FOR;
    default: return Step::CALL;
  }
}

namespace {

u8 holds_of(u32 h) {
  using namespace arith;
  switch (h) {
    case H_l_lt: return HOLDS_LT;
    case H_l_gt: return HOLDS_GT;
    case H_l_eq: return HOLDS_EQ;
    case H_l_ne: return HOLDS_NE;
    case H_l_le: return HOLDS_LE;
    case H_l_ge: return HOLDS_GE;
    default: return 0;
  }
}

// Where a block's records may lie: the code page, or the records of a copy
// in the arena.
struct Region {
  Ref lo, hi;
};

// Whether a whole record starts at `rec` within the region, with a handler
// the registry has.
bool sound_record(const u8* rec, Region r) {
  const u8* end = mem + r.hi;
  if (rec < mem + r.lo || end - rec < static_cast<long>(REC_PARAMS)) return false;
  if (static_cast<long>(rec_size(rec)) > end - rec) return false;
  return rd32(rec + REC_HANDLER) < H_COUNT;
}

bool at_end_mark(const u8* rec, Region r) {
  return mem + r.hi - rec >= 4 && rd32(rec) == END_MARK;
}

Step decode_step(const u8* rec) {
  const u32 h = rd32(rec + REC_HANDLER);
  const u8 temps = rec[REC_EXTRA];
  Step s{};
  s.params = rec + REC_PARAMS;
  s.result = rd32(rec + REC_RESULT);
  s.count = static_cast<u16>(rec[REC_COUNT] | (u32{temps} << 8));
  s.handler = handlers[h];
  s.kind = Step::CALL;
  s.temps = temps;
  s.holds = holds_of(h);
  if (h == H__alltmpinits && (rec[REC_COUNT] | temps) == 0) {
    s.kind = Step::IDLE_INIT;
  } else if ((h == H__alltmpinits || h == H_mvardel) && rec[REC_COUNT] == 0 &&
      in_slot_group(s.result, temps)) {
    s.kind = h == H_mvardel ? Step::DEL_TEMPS : Step::INIT_TEMPS;
  } else if (h == H_mvarinit && in_slot(s.result) && rec[REC_COUNT] == 1) {
    s.kind = Step::DECLARE;  // the result word is the type
  } else if (h == H_mvardel) {
    s.kind = Step::DEL_VARS;
  } else {
    s.kind = handler_kind(h);
  }
  if (s.kind == Step::CALL && s.result && number_conversion(s)) s.kind = Step::CONVERT;
  if (s.kind == Step::DIV && s.nparams() == 2) {
    // A divisor that is a constant power of two: the executor shifts,
    // as long as the word still names that value.
    const Ref d = par_ref(s.params, 1);
    const u32 v = table_slot(cnstable, d) && !(S(d)->flags & V_EMPTY) ? S(d)->value : 0;
    if (v >= 2 && v <= 1u << 30 && (v & (v - 1)) == 0) {
      s.kind = Step::DIV_POW2;
      s.holds = static_cast<u8>(__builtin_ctz(v));
    }
  }
  return s;
}

void own_slot(DecodedBlock& d, const TableHead& t, Ref ref) {
  if (table_slot(t, ref)) d.own_slots.push_back(ref);
}

// The slots noted, each once, as runs of adjacent ones: temporaries come
// in groups, so a run sets aside a few spans rather than many slots.
void own_spans(DecodedBlock& d) {
  std::sort(d.own_slots.begin(), d.own_slots.end());
  d.own_slots.erase(std::unique(d.own_slots.begin(), d.own_slots.end()), d.own_slots.end());
  d.own_spans.clear();
  for (const Ref r : d.own_slots) {
    if (!d.own_spans.empty() && d.own_spans.back().first + d.own_spans.back().bytes == r)
      d.own_spans.back().bytes += sizeof(VarEntry);
    else
      d.own_spans.push_back({r, sizeof(VarEntry)});
  }
  d.own_bytes = static_cast<u32>(d.own_slots.size() * sizeof(VarEntry));
}

// A group of temporaries given by a record's result word and extra count.
void own_group(DecodedBlock& d, const u8* rec) {
  const Ref first = rd32(rec + REC_RESULT);
  if (!first) return;
  for (u32 k = 0; k < rec[REC_EXTRA]; ++k) own_slot(d, rettable, first + k * sizeof(VarEntry));
}

// What a record tells of the slots and words that belong to one run of its
// block: the initialisation of its temporaries (grouped, or one by one when
// compiled without the grouping, as a type's init whose extra count is the
// type plus one), and the parameter words its element records rewrite.
void note_owned(DecodedBlock& d, const u8* rec, Region r) {
  const u32 h = rd32(rec + REC_HANDLER);
  if (h == H__alltmpinits) return own_group(d, rec);
  if (h == H__arrdynelem) {
    const Ref word = rd32(rec + REC_RESULT);
    if (word >= r.lo && word <= r.hi - 4) d.own_words.push_back(word);
    return;
  }
  const u32 type = rec[REC_EXTRA] - 1u;
  if (type < TY_COUNT && h == typent[type].init)
    for (u32 k = 0; k < rec[REC_COUNT]; ++k) own_slot(d, rettable, par_ref(rec + REC_PARAMS, k));
}

// A step that ends the run: what follows it cannot be read as records.
Step bad_step() {
  Step s{};
  s.kind = Step::BAD;
  return s;
}

// Whether a word names a slot of the group [first, end): then *k is that
// slot, or ACROSS for a word that straddles slots (a damaged program).
constexpr u32 ACROSS = ~0u;
bool on_group(Ref ref, Ref first, Ref end, u32* k) {
  if (ref + sizeof(VarEntry) <= first || ref >= end) return false;
  const bool whole = ref >= first && (ref - first) % sizeof(VarEntry) == 0;
  *k = whole ? (ref - first) / sizeof(VarEntry) : ACROSS;
  return true;
}

}  // namespace

bool enters_blocks(Step::Kind k) {
  return k == Step::EXEC || k == Step::IF || k == Step::CALL_BLOCK || k == Step::SWITCH ||
         k == Step::LOOP || k == Step::FOR;
}

bool runs_block_at(Step::Kind k, u32 p) {
  switch (k) {
    case Step::IF: return p == 1 || p == 2;
    case Step::EXEC: return true;
    case Step::LOOP: return p == 0;
    case Step::FOR: return p == 4;
    case Step::SWITCH: return p >= 1;
    case Step::CALL_BLOCK: return p == 0;
    default: return false;
  }
}

// The handlers that, whenever they succeed, have written their result's
// value word and nothing else but value words of their parameters: no
// slot's flags, no block run. Some of them read operands beyond the ones
// they need; that only makes the test for keeping a group stricter.
bool value_handler(u32 h) {
  switch (h) {
    case H_l_sin: case H_l_cos: case H_l_tan: case H_l_atan: case H_l_exp: case H_l_asin:
    case H_l_acos: case H_l_cotan: case H_l_atan2: case H_l_pow: case H_l_sqrt:
    case H_l_sqrt2p2: case H_l_repsqrt: case H_l_log: case H_l_log10: case H_l_floor:
    case H_l_ceil: case H_l_frexp: case H_l_ldexp: case H_l_modf: case H_l_sign: case H_l_min:
    case H_l_max: case H_l_sigmoid: case H_l_sqr: case H_l_rep: case H_l_rad: case H_l_grad:
    case H_l_sinusoid: case H_l_cosinusoid:
    case H_l_mulassgn: case H_l_divassgn:
    case H_log_no: case H_l_and: case H_l_or:
    case H_l_abs: case H_bitinvert: case H_l_bitor: case H_l_bitand: case H_l_bitandnot:
    case H_l_bitxor: case H_l_shiftleft: case H_l_shiftright:
    case H_l_bitorass: case H_l_bitandass: case H_l_bitandnotass: case H_l_shilftrass:
    case H_l_shifrghtrass: case H_log_invert: case H_l_rand: case H_l_strlen: case H_l_sizeof:
      return true;
    default:
      return false;
  }
}

// A conversion between numbers and truth values, which writes its result's
// value word and nothing else: parameters the conversion and its source.
static_assert(C_c_str_var < C_l_logint && C_c_var_str < C_l_logint,
              "the conversions from and to text come first");
bool number_conversion(const Step& s) {
  if (rd32(s.rec() + REC_HANDLER) != H_convcall || s.nparams() != 2) return false;
  const u32 id = par_ref(s.params, 0);
  return id >= C_l_logint && id < C_COUNT;
}

bool text_declaration(const Step& s) {
  return s.kind == Step::CALL && rd32(s.rec() + REC_HANDLER) == H_mvarinit &&
         s.result == TY_STR && s.nparams() == 1 && par_ref(s.params, 0) != END_MARK;
}

bool group_step(const Step& s) {
  const u32 h = rd32(s.rec() + REC_HANDLER);
  if ((h != H__alltmpinits && h != H_mvardel) || s.nparams() != 0 || !s.result || !s.temps)
    return false;
  for (const VarEntry *v = S(s.result), *e = v + s.temps; v != e; ++v)
    if ((v->flags & V_ARRAY) || (!in_slot(v->type) && v->type != TY_STR)) return false;
  return true;
}

bool text_conversion(const Step& s) {
  if (rd32(s.rec() + REC_HANDLER) != H_convcall || s.nparams() != 2) return false;
  const u32 id = par_ref(s.params, 0);
  return id == C_c_str_var || id == C_c_var_str;
}

bool inits_group(const Step& s) {
  return s.kind == Step::INIT_TEMPS || s.kind == Step::INIT_STRS ||
         (s.kind == Step::CALL && rd32(s.rec() + REC_HANDLER) == H__alltmpinits &&
          group_step(s));
}

bool group_alone(const DecodedBlock& d) {
  return d.renews && d.own_words.empty() && d.own_spans.size() == 1 &&
         d.own_spans[0].first == d.steps[0].result &&
         d.own_spans[0].bytes == d.steps[0].temps * sizeof(VarEntry);
}

namespace {

// The initialisation and deletion of one group of temporaries, numbers,
// truth values and at least one str, with no named variable to delete.
bool strings_pair(const Step& init, const Step& del) {
  if (!optimtmpvarinit || !init.result || !init.temps) return false;
  if (rd32(init.rec() + REC_HANDLER) != H__alltmpinits || init.nparams() != 0) return false;
  if (rd32(del.rec() + REC_HANDLER) != H_mvardel || del.nparams() != 0) return false;
  bool texts = false;
  for (const VarEntry *v = S(init.result), *e = v + init.temps; v != e; ++v) {
    if (v->type == TY_STR)
      texts = true;
    else if (!in_slot(v->type))
      return false;
  }
  return texts;
}

// Whether a block's group may be kept (DecodedBlock::keeps) as far as its
// first and last steps tell: a group of numbers and truth values that the
// block renews, alone or with the named variables that it declares.
bool keeps_ok(const DecodedBlock& d) {
  return !d.strings && (d.renews || !d.declared.empty());
}

// Whether such a block keeps its group (DecodedBlock::keeps). Its
// middle steps are looked at in order: a step reads its parameters first,
// so each of them on the group must have been some earlier step's result.
// Only the kinds listed here may take part. They change no slot's flags,
// and all but the steps that run blocks write their result whenever they
// succeed. "call" does not when its block returns nothing: its result is
// set to 0 first (Step::fresh), unless a step before has written it. The
// blocks they run have temporaries of their own: the compiler gives every
// block its own group, and "par@" writes only variables. An assignment's
// fallback may give its variable a new type, so its variable and its
// result stay off the group, as does the word an element access writes.
bool keeps_group(DecodedBlock& d) {
  const Step& init = d.steps[0];
  const Ref first = init.result, end = first + init.temps * sizeof(VarEntry);
  std::vector<bool> written(init.temps, false);
  std::vector<Step*> fresh;  // calls whose result has not been written yet
  for (u32 i = 1; i + 1 < d.nsteps; ++i) {
    const Step& s = d.steps[i];
    u32 from = 0;  // the first parameter word that names a slot
    bool runs_blocks = false;
    u32 k;
    switch (s.kind) {
      case Step::PLUS: case Step::MUL: case Step::MINUS: case Step::DIV: case Step::DIV_POW2:
      case Step::MOD:
      case Step::PLUS_ASSIGN: case Step::MINUS_ASSIGN: case Step::INC: case Step::DEC:
      case Step::COMPARE: case Step::ASSIGN: case Step::ELEMENT: case Step::PARAM:
      case Step::BREAKIF: case Step::CONTIF: case Step::RETURN:
      case Step::COMPARE_IF: case Step::COMPARE_BREAKIF:  // (a copy's steps are fused)
        break;
      case Step::EXEC: case Step::IF: case Step::CALL_BLOCK: case Step::SWITCH:
      case Step::LOOP: case Step::FOR:
        runs_blocks = true;
        break;
      case Step::CONVERT:
        from = 1;
        break;
      // A declaration writes its named variable; its result word is a type.
      case Step::DECLARE:
        if (s.nparams() == 0 || on_group(par_ref(s.params, 0), first, end, &k)) return false;
        continue;
      case Step::CALL:
        if (number_conversion(s))
          from = 1;
        else if (!value_handler(rd32(s.rec() + REC_HANDLER)))
          return false;
        break;
      default:
        return false;
    }
    for (u32 p = from; p < s.nparams(); ++p) {
      if (!on_group(par_ref(s.params, p), first, end, &k)) continue;
      if (k == ACROSS || (s.kind == Step::ASSIGN && p == 0) || !written[k]) return false;
    }
    // These three have no result of their own ("return" delivers to the
    // call's).
    if (s.kind == Step::BREAKIF || s.kind == Step::CONTIF || s.kind == Step::RETURN) continue;
    if (!on_group(s.result, first, end, &k)) continue;
    // An element access writes a word, which must not be one of the slots.
    if (k == ACROSS || s.kind == Step::ASSIGN || s.kind == Step::ELEMENT) return false;
    if (s.kind == Step::CALL_BLOCK && !written[k]) {
      fresh.push_back(&d.steps[i]);
      written[k] = true;
    } else if (!runs_blocks) {
      written[k] = true;
    }
  }
  for (Step* s : fresh) s->fresh = 1;
  return true;
}

// Whether a run of the block can start no other run of any block, so that
// no run of it starts while one is under way: none of its steps runs a
// block or processes events (which may run the key handler's block; no
// other handler runs one). A run may still start inside another at its
// entry, where events are processed, but before its first step, which is
// as good as before the run. Nor does any step switch tracing on or off,
// which a block run in place (place_leaf) never sees happen.
bool runs_no_block(const DecodedBlock& d) {
  for (u32 i = 0; i < d.nsteps; ++i) {
    const Step& s = d.steps[i];
    if (enters_blocks(s.kind)) return false;
    if (s.kind == Step::CALL) {
      const u32 h = rd32(s.rec() + REC_HANDLER);
      if (h == H_l_processevents || h == H_l_trace) return false;
    }
  }
  return true;
}

// Whether the block has a record that cannot run: a damaged program
// file's block ends in a BAD step.
bool bad_step(const DecodedBlock& d) {
  for (u32 i = 0; i < d.nsteps; ++i)
    if (d.steps[i].kind == Step::BAD) return true;
  return false;
}

// A copy of the block's steps that ends in `end` instead of END. A renewal
// of the group is the block's last step, which goes on to END without a
// dispatch: there it takes END's place, as `renew` (holds 1 for texts), or
// as `end` itself when it has nothing to do but prime the group and `end`
// sees to that (a loop's rounds of a block that keeps its group).
const Step* steps_in_place(const DecodedBlock& d, std::vector<Step>& store, Step::Kind end,
                           Step::Kind renew, bool end_keeps) {
  store.assign(d.steps, d.steps + d.nsteps + 1);
  Step::Kind end_kind = end;
  if (d.nsteps > 0) {
    const Step::Kind k = d.steps[d.nsteps - 1].kind;
    if (k == Step::RENEW_TEMPS || k == Step::RENEW_STRS) {
      store.pop_back();
      if (!(end_keeps && d.keeps)) end_kind = renew;
      store.back().holds = k == Step::RENEW_STRS;
    }
    // Run in place, a block deletes its named variables: its rounds step
    // through their declarations, and no other step looks for a prime. A
    // call's entry looks for one, as a plain entry does.
    if (k == Step::RENEW_VARS && end != Step::CALL_END && end != Step::CALL_KEEP) {
      Step& del = store[d.nsteps - 1];
      del.kind = Step::DEL_VARS;
      del.code = step_code(Step::DEL_VARS);
    }
  }
  // A "return" leaves a block run in place, or one that an "if" or a
  // "call" entered through its own steps, knowing where the block was
  // entered from.
  const Step::Kind leaves = end == Step::LEAF_END || end == Step::LEAF_KEEP   ? Step::RETURN_LEAF
                            : end == Step::NEST_END || end == Step::NEST_KEEP ? Step::RETURN_NEST
                            : end == Step::CALL_END || end == Step::CALL_KEEP ? Step::RETURN_CALL
                                                                              : Step::RETURN;
  if (leaves != Step::RETURN)
    for (Step& s : store)
      if (s.code && s.code == step_code(Step::RETURN)) s.code = step_code(leaves);
  // An "if" right before the end of the steps that an "if" enters may end
  // the block first (IF_TAIL), unless that end renews texts, which may
  // fail for want of memory: the failure must come after the "if".
  const bool texts = d.nsteps > 0 && d.steps[d.nsteps - 1].kind == Step::RENEW_STRS;
  if ((end == Step::NEST_END || end == Step::NEST_KEEP) && !texts && store.size() >= 2) {
    Step& tail = store[store.size() - 2];
    if (tail.kind == Step::IF) {
      tail.holds = 1;
      if (tail.code && tail.code == step_code(Step::IF_LEAF)) tail.code = step_code(Step::IF_TAIL);
    }
  }
  Step& last = store.back();
  last.kind = end_kind;
  last.code = step_code(end_kind);
  last.index = static_cast<u16>(d.nsteps);
  return store.data() + (d.start - d.steps);
}

// A block without its copies of its steps (see place_leaf).
void drop_step_copies(DecodedBlock& d) {
  d.leaf_store.clear();
  d.round_store.clear();
  d.body_store.clear();
  d.nest_store.clear();
  d.call_store.clear();
  d.leaf_start = d.round_start = d.round_next = d.body_start = d.nest_start = d.call_start =
      nullptr;
}

// Whether the copies of the block's steps end by only priming its group,
// which the block keeps (see steps_in_place).
bool ends_kept(const DecodedBlock& d) {
  return d.keeps && d.nsteps > 0 && d.steps[d.nsteps - 1].kind == Step::RENEW_TEMPS;
}

// The steps that a "call" enters the block through.
void place_call_steps(DecodedBlock& d, bool kept) {
  d.call_start = steps_in_place(d, d.call_store, kept ? Step::CALL_KEEP : Step::CALL_END,
                                Step::CALL_RENEW, kept);
}

// The steps that an "if" enters a block that runs blocks through.
void place_nest_steps(DecodedBlock& d, bool kept) {
  d.nest_start = steps_in_place(d, d.nest_store, kept ? Step::NEST_KEEP : Step::NEST_END,
                                Step::NEST_RENEW, kept);
}

void place_leaf(DecodedBlock& d) {
  drop_step_copies(d);
  if (bad_step(d)) return;
  // A sound block that runs blocks goes round as a loop's body from its
  // own end (body_start); one that runs none runs in place instead, for an
  // "if" or "exec" (leaf_start) and for a loop's rounds (round_start).
  // Either may be called. A group that the block keeps needs only priming
  // at the end.
  const bool kept = ends_kept(d);
  place_call_steps(d, kept);
  if (!runs_no_block(d)) {
    d.body_start = steps_in_place(d, d.body_store, kept ? Step::BODY_KEEP : Step::BODY_END,
                                  Step::BODY_RENEW, kept);
    place_nest_steps(d, kept);
    return;
  }
  d.leaf_start = steps_in_place(d, d.leaf_store, kept ? Step::LEAF_KEEP : Step::LEAF_END,
                                Step::LEAF_RENEW, kept);
  // (A "for" runs a body of one compound assignment faster still.)
  if (!d.single) {
    d.round_start = steps_in_place(d, d.round_store, Step::ROUND_END, Step::ROUND_RENEW, true);
    d.round_next = d.round_start + d.renews;
  }
}

// A block's runs are counted when a run has state of its own that another
// run under way at the same time would overwrite, and such a run may start.
bool counts_runs(const DecodedBlock& d) {
  return (!d.own_slots.empty() || !d.own_words.empty()) && !runs_no_block(d) &&
         may_start_inside_itself(d.at);
}

// Steps that run as one where a record's result is what the next record
// tests. The second step keeps its own kind, and reads its word as ever
// (from its copy, Step::ops): a block may be entered at it, and an element
// record may rewrite its word.
void fuse_pairs(DecodedBlock& d) {
  for (u32 i = 0; i + 1 < d.nsteps; ++i) {
    Step& s = d.steps[i];
    const Step& next = d.steps[i + 1];
    if (s.kind != Step::COMPARE || !s.result || next.nparams() < 1 ||
        par_ref(next.params, 0) != s.result)
      continue;
    if (next.kind == Step::IF && next.nparams() >= 2)
      s.kind = Step::COMPARE_IF;
    else if (next.kind == Step::BREAKIF)
      s.kind = Step::COMPARE_BREAKIF;
  }
}

// The code that runs a step: its kind's, or code for the commonest form
// of its record, which tests for no other: arithmetic, bit operations,
// shifts and "&&" and "||" of two operands, "?" and "par#" with a result,
// assignments and steps of a variable without one, and each comparison
// with a result.
Step::Kind code_kind(const Step& s) {
  if ((s.kind == Step::COMPARE && s.result) || s.kind == Step::COMPARE_IF ||
      s.kind == Step::COMPARE_BREAKIF) {
    // LT, LE, GT, GE, EQ, NE, in that order, from each kind's first.
    static_assert(Step::NE_TO == Step::LT_TO + 5 && Step::NE_IF == Step::LT_IF + 5 &&
                  Step::NE_BREAKIF == Step::LT_BREAKIF + 5);
    const Step::Kind first = s.kind == Step::COMPARE      ? Step::LT_TO
                             : s.kind == Step::COMPARE_IF ? Step::LT_IF
                                                          : Step::LT_BREAKIF;
    using namespace arith;
    switch (s.holds) {
      case HOLDS_LT: return first;
      case HOLDS_LE: return static_cast<Step::Kind>(first + 1);
      case HOLDS_GT: return static_cast<Step::Kind>(first + 2);
      case HOLDS_GE: return static_cast<Step::Kind>(first + 3);
      case HOLDS_EQ: return static_cast<Step::Kind>(first + 4);
      case HOLDS_NE: return static_cast<Step::Kind>(first + 5);
      default: return s.kind;
    }
  }
  if (!s.result) {
    switch (s.kind) {
      case Step::ASSIGN: return Step::ASSIGN_ONLY;
      case Step::PLUS_ASSIGN: return Step::PLUS_ONLY;
      case Step::MINUS_ASSIGN: return Step::MINUS_ONLY;
      case Step::INC: return Step::INC_ONLY;
      case Step::DEC: return Step::DEC_ONLY;
      default: return s.kind;
    }
  }
  if (s.kind == Step::PARAM) return Step::PARAM_TO;
  if (s.kind == Step::CALL && s.nparams() == 3 && rd32(s.rec() + REC_HANDLER) == H_l_ifassign)
    return Step::CHOOSE;
  if (s.nparams() != 2) return s.kind;
  if (s.kind == Step::CALL) {
    switch (rd32(s.rec() + REC_HANDLER)) {
      case H_l_and: return Step::AND2;
      case H_l_or: return Step::OR2;
      case H_l_bitor: return Step::BITOR2;
      case H_l_bitand: return Step::BITAND2;
      case H_l_bitxor: return Step::BITXOR2;
      case H_l_shiftleft: return Step::SHL2;
      case H_l_shiftright: return Step::SHR2;
      default: return Step::CALL;
    }
  }
  switch (s.kind) {
    case Step::PLUS: return Step::PLUS2;
    case Step::MUL: return Step::MUL2;
    case Step::MINUS: return Step::MINUS2;
    case Step::DIV: return Step::DIV2;
    case Step::MOD: return Step::MOD2;
    default: return s.kind;
  }
}

// Whether `next` is an ASSIGN without a result that copies the result of
// s, a step with one, into a variable: s then runs it (the *_SET codes).
bool assigned_next(const Step& s, const Step& next) {
  return next.kind == Step::ASSIGN && !next.result && next.nparams() == 2 &&
         par_ref(next.params, 1) == s.result;
}

// The code of a step of two operands with a result that the next step
// assigns to a variable: code that runs both, so that the value goes on
// at hand rather than through its slot (see PLUS_SET). The same for a
// remainder that the next step compares for equality (MOD_EQ_TO), as
// `(i % 3) == 0` does.
Step::Kind pair_code_kind(const Step& s, const Step& next) {
  const Step::Kind k = code_kind(s);
  if (k == Step::MOD2 && next.nparams() == 2 && par_ref(next.params, 0) == s.result) {
    switch (code_kind(next)) {
      case Step::EQ_TO: return Step::MOD_EQ_TO;
      case Step::NE_TO: return Step::MOD_NE_TO;
      case Step::EQ_IF: return Step::MOD_EQ_IF;
      case Step::NE_IF: return Step::MOD_NE_IF;
      default: return k;
    }
  }
  if (!assigned_next(s, next)) return k;
  switch (k) {
    case Step::PLUS2: return Step::PLUS_SET;
    case Step::MUL2: return Step::MUL_SET;
    case Step::MINUS2: return Step::MINUS_SET;
    case Step::DIV2: return Step::DIV_SET;
    case Step::MOD2: return Step::MOD_SET;
    default: return k;
  }
}

// Whether the block word of a loop or of an "exec" of one block names a
// block constant (Step::fixed). No record that the compiler writes changes
// a constant ("par@" refuses one), so it holds the same block for the whole
// run, and the step need not look at the slot again between the rounds or
// runs of that block. (A damaged program file whose records change a
// constant anyway has the step go on running the block that it held.) The
// words of a record after an element record are rewritten at every run.
u8 fixed_block(const Step& s, const Step* before) {
  if (before && before->kind == Step::ELEMENT) return 0;
  u32 p;
  switch (s.kind) {
    case Step::LOOP: p = 0; break;
    case Step::FOR: p = 4; break;
    case Step::EXEC: p = s.nparams() == 1 ? 0 : ~0u; break;
    default: return 0;
  }
  if (p >= s.nparams() || !table_slot(cnstable, par_ref(s.params, p))) return 0;
  const VarEntry* v = P(s.params, p);
  return v->type == TY_BLOCK && (v->flags & (V_CONST | V_CODE | V_EMPTY)) == (V_CONST | V_CODE);
}

// "par#" steps with a result whose index word names a number constant
// small enough for Step::holds run as PARAM_K (PARAM_SET when the next step
// assigns the result to a variable), unless an element record of the block
// writes that word (the operand its twin is: see link_twins).
// No record that the compiler writes changes a constant.
void constant_indices(DecodedBlock& d) {
  std::vector<bool> rewritten(d.nsteps);
  for (u32 i = 0; i < d.nsteps; ++i)
    if (d.steps[i].kind == Step::ELEMENT) rewritten[i + d.steps[i].twin / sizeof(Step)] = true;
  for (u32 i = 0; i < d.nsteps; ++i) {
    Step& s = d.steps[i];
    if (s.kind != Step::PARAM || !s.result || rewritten[i] ||
        !table_slot(cnstable, par_ref(s.params, 0)))
      continue;
    const VarEntry* v = P(s.params, 0);
    if ((v->type == TY_INT || v->type == TY_UINT) && v->value < 250 &&
        (v->flags & (V_CONST | V_EMPTY | V_ARRAY)) == V_CONST) {
      s.holds = static_cast<u8>(v->value);
      s.code = step_code(assigned_next(s, d.steps[i + 1]) ? Step::PARAM_SET : Step::PARAM_K);
    }
  }
  for (u32 i = 0; i + 1 < d.nsteps; ++i)
    if (d.steps[i].code == step_code(Step::PARAM_K) &&
        d.steps[i + 1].code == step_code(Step::PARAM_K))
      d.steps[i].code = step_code(Step::PARAM_K2);
}

// A block whose first step initialises the group of temporaries that its
// clean-up deletes (numbers, truth values and texts), and whose next steps
// declare the named variables that the clean-up deletes with them, each
// once: those go to d.declared (see there), and the clean-up's kind
// becomes RENEW_VARS. The clean-up must be the last step, which no element
// record before it points elsewhere. The variables are those of the
// program's table, or for a copy (`copy`), slots of its own.
void note_declarations(DecodedBlock& d, bool copy) {
  if (d.renews || !d.cleanup || d.nsteps < 3 || d.cleanup_step.kind != Step::DEL_VARS) return;
  Step& first = d.steps[0];
  Step& last = d.steps[d.nsteps - 1];
  const bool texts = first.kind != Step::INIT_TEMPS;
  if (!optimtmpvarinit || !inits_group(first) || last.kind != Step::DEL_VARS ||
      last.rec() != mem + d.cleanup - 4 || last.result != first.result ||
      last.temps != first.temps || d.steps[d.nsteps - 2].kind == Step::ELEMENT)
    return;
  std::vector<Ref> declared;
  for (u32 i = 1; i + 1 < d.nsteps &&
                  (d.steps[i].kind == Step::DECLARE || text_declaration(d.steps[i]));
       ++i) {
    const Ref w = par_ref(d.steps[i].params, 0);
    const bool named = copy ? std::binary_search(d.own_slots.begin(), d.own_slots.end(), w)
                            : table_slot(vartable, w);
    if (!named || (S(w)->flags & (V_TEMP | V_CONST))) break;
    declared.push_back(w);
  }
  const size_t k = declared.size();
  if (k == 0 || k != last.nparams()) return;
  std::vector<Ref> deleted;
  for (u32 p = 0; p < k; ++p) deleted.push_back(par_ref(last.params, p));
  std::sort(deleted.begin(), deleted.end());
  std::vector<Ref> each = declared;
  std::sort(each.begin(), each.end());
  if (each != deleted || std::adjacent_find(each.begin(), each.end()) != each.end()) return;
  bool named_texts = false;
  for (u32 i = 0; i < k; ++i) {
    d.declared.push_back({declared[i], d.steps[1 + i].result});
    named_texts |= d.steps[1 + i].result == TY_STR;
  }
  last.kind = d.cleanup_step.kind = Step::RENEW_VARS;
  last.code = step_code(Step::RENEW_VARS);
  // A group that holds texts is initialised by its handler, which leaves
  // a primed group's texts alone (INIT_STRS).
  if (texts) {
    first.kind = Step::INIT_STRS;
    first.code = step_code(Step::INIT_STRS);
  }
  d.strings = texts;
  last.holds = d.cleanup_step.holds = texts || named_texts;
  d.prime_skip = prime_of(1 + static_cast<u32>(k));
}

// Each ELEMENT step's twin: the operand of a later step that its word is,
// with the code that writes it at a place of its own when that step is at
// most three ahead. (The word of an element record that a damaged program
// file points elsewhere is read by its step as it was when the block was
// decoded.)
void link_twins(DecodedBlock& d) {
  for (u32 i = 0; i < d.nsteps; ++i) {
    Step& e = d.steps[i];
    if (e.kind != Step::ELEMENT) continue;
    e.twin = offsetof(Step, ops) + sizeof(Ref);  // its own spare word
    const u8* const word = mem + e.result;
    for (u32 j = i + 1; j < d.nsteps; ++j) {
      const Step& t = d.steps[j];
      if (!t.params || word < t.params || word >= t.params + 4 * t.nparams()) continue;
      const u32 k = static_cast<u32>(word - t.params);
      if (k % 4 == 0 && k / 4 < 2 && !enters_blocks(t.kind) && t.kind != Step::ELEMENT) {
        e.twin = static_cast<u32>((j - i) * sizeof(Step) + offsetof(Step, ops) + k);
        if (j - i <= 3)
          e.code = step_code(static_cast<Step::Kind>(Step::ELEMENT_A1 + 2 * (j - i - 1) + k / 4));
      }
      break;
    }
  }
}

void finish(DecodedBlock& d) {
  d.nsteps = static_cast<u32>(d.step_store.size());
  d.step_store.emplace_back().kind = Step::END;
  d.steps = d.step_store.data();
  d.start = d.steps + d.idle_init;
  own_spans(d);
  d.single = nullptr;
  const u32 lead = !d.step_store.empty() && d.step_store.front().kind == Step::IDLE_INIT;
  if (d.nsteps == lead + 1) {
    const Step& s = d.steps[lead];
    if ((s.kind == Step::PLUS_ASSIGN || s.kind == Step::MINUS_ASSIGN) && !s.result &&
        s.nparams() >= 2)
      d.single = &s;
  }
  d.renews = d.strings = false;
  d.primed = false;
  if (d.nsteps >= 2 && d.cleanup) {
    Step& first = d.steps[0];
    Step& last = d.steps[d.nsteps - 1];
    const bool pair = last.rec() == mem + d.cleanup - 4 && first.result == last.result &&
                      first.temps == last.temps;
    if (pair && first.kind == Step::INIT_TEMPS && last.kind == Step::DEL_TEMPS &&
        d.cleanup_step.kind == Step::DEL_TEMPS) {
      d.renews = true;
      last.kind = Step::RENEW_TEMPS;
    } else if (pair && strings_pair(first, last)) {
      d.renews = d.strings = true;
      first.kind = Step::INIT_STRS;
      last.kind = d.cleanup_step.kind = Step::RENEW_STRS;
    }
  }
  d.declared.clear();
  d.renewal = DecodedBlock::RENEWAL_UNKNOWN;
  d.renews_at = DecodedBlock::NEVER;
  d.prime_skip = prime_of(1);
  note_declarations(d, false);
  d.keeps = keeps_ok(d) && keeps_group(d);
  d.group_only = !d.strings && group_alone(d);
  d.owns = counts_runs(d);
  d.runs = d.owns ? 0 : DecodedBlock::UNCOUNTED;
  d.run_base = 0;
  fuse_pairs(d);
  // The kinds are settled.
  for (u32 i = 0; i <= d.nsteps; ++i) {
    Step& s = d.steps[i];
    s.index = static_cast<u16>(i);
    s.code = step_code(i < d.nsteps ? pair_code_kind(s, d.steps[i + 1]) : code_kind(s));
    if (enters_blocks(s.kind)) {
      s.entered = s.entered_else = never_entered();
      s.fixed = fixed_block(s, i ? &d.steps[i - 1] : nullptr);
    } else {
      take_operands(s);
    }
  }
  link_twins(d);
  constant_indices(d);
  place_leaf(d);
}

// The records up to the end marker; a record that is not sound (only a
// damaged program file has one) becomes a BAD step, and decoding ends there.
void decode_into(DecodedBlock& d, const u8* blk, Region r) {
  d.idle_init = false;
  d.cleanup = rd32(blk);
  if (d.cleanup) {
    const u8* cleanrec = mem + d.cleanup - 4;
    if (d.cleanup < 4 || !sound_record(cleanrec, r)) {
      d.cleanup = 0;
      d.step_store.push_back(bad_step());
      return finish(d);
    }
    d.cleanup_step = decode_step(cleanrec);
    if (rd32(cleanrec + REC_HANDLER) == H_mvardel) {
      own_group(d, cleanrec);
      for (u32 k = 0; k < cleanrec[REC_COUNT]; ++k)
        own_slot(d, vartable, par_ref(cleanrec + REC_PARAMS, k));
    }
  }
  const u8* rec = blk + 4;
  for (;;) {
    if (at_end_mark(rec, r)) break;
    if (!sound_record(rec, r) || d.step_store.size() == MAX_BLOCK_STEPS) {
      d.step_store.push_back(bad_step());
      break;
    }
    d.step_store.push_back(decode_step(rec));
    note_owned(d, rec, r);
    rec += rec_size(rec);
  }
  d.idle_init = !d.step_store.empty() && d.step_store.front().kind == Step::IDLE_INIT;
  finish(d);
}

// The blocks outside the code page: the empty block, and any other, which
// only a damaged program can name.
const DecodedBlock* outside_block(Ref blk) {
  static DecodedBlock empty, damaged;
  if (!empty.steps) {
    finish(empty);
    empty.at = END_BLOCK;
    empty.quiet = empty.leaf_start != nullptr;
    damaged.step_store.push_back(bad_step());
    finish(damaged);
  }
  return blk == END_BLOCK ? &empty : &damaged;
}

}  // namespace

void take_operands(Step& s) {
  if (enters_blocks(s.kind) || s.kind == Step::ELEMENT || !s.params) return;
  for (u32 i = 0; i < 2; ++i) s.ops[i] = i < s.nparams() ? par_ref(s.params, i) : 0;
}

namespace {

void reread_twins(const Step* steps, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const Step& e = steps[i];
    if (e.kind == Step::ELEMENT) twin_of(e) = rd32(mem + e.result);
  }
}

}  // namespace

void reread_element_words(const DecodedBlock& d) {
  reread_twins(d.steps, d.nsteps);
  for (const std::vector<Step>* v :
       {&d.leaf_store, &d.round_store, &d.body_store, &d.nest_store, &d.call_store})
    reread_twins(v->data(), v->size());
}

const DecodedBlock* never_entered() {
  static const DecodedBlock* const never = [] {
    static DecodedBlock d;
    d.step_store.push_back(bad_step());
    finish(d);
    return &d;
  }();
  return never;
}

const DecodedBlock* decode_block(Ref blk) {
  const u32 off = blk - decoded_base;
  if (off >= decoded_span || decoded_span - off < 4) {
    if (const DecodedBlock* copy = copy_placed_at(blk)) return copy;
    return outside_block(blk);
  }
  DecodedBlock& d = pool.emplace_back();
  d.at = blk;
  decode_into(d, mem + blk, {codepage.base, codepage.end});
  if (d.leaf_start || d.nest_start) {
    const u32 room = quiet_room(blk);
    d.quiet = room != 0 && room <= MAX_QUIET_ROOM;
  }
  decoded_at[off] = &d;
  filled.push_back(off);
  return &d;
}

bool code_page_records(Ref blk, std::vector<const u8*>& recs) {
  const Region r{codepage.base, codepage.end};
  if (blk - r.lo >= r.hi - r.lo || r.hi - blk < 4) return false;
  if (const Ref cleanup = rd32(mem + blk)) {
    if (cleanup < 4 || !sound_record(mem + cleanup - 4, r)) return false;
    recs.push_back(mem + cleanup - 4);
  }
  for (const u8* rec = mem + blk + 4; !at_end_mark(rec, r); rec += rec_size(rec)) {
    if (!sound_record(rec, r) || recs.size() > MAX_BLOCK_STEPS) return false;
    recs.push_back(rec);
  }
  return true;
}

DecodedBlock& new_decoded(const DecodedBlock* like) {
  if (!like) return pool.emplace_back();
  DecodedBlock& d = pool.emplace_back(*like);
  drop_step_copies(d);  // its steps would be like's
  return d;
}

void place_entry_steps(DecodedBlock& d) {
  drop_step_copies(d);
  if (bad_step(d) || runs_no_block(d)) return;
  const bool kept = ends_kept(d);
  place_call_steps(d, kept);
  place_nest_steps(d, kept);
}

void decode_records(DecodedBlock& d, Ref blk, Ref lo, Ref hi) {
  d.at = blk;
  decode_into(d, mem + blk, {lo, hi});
}

void own_these(DecodedBlock& d, std::vector<Ref> slots) {
  d.own_slots = std::move(slots);
  own_spans(d);
  d.owns = counts_runs(d);
  d.runs = d.owns ? 0 : DecodedBlock::UNCOUNTED;
  // A copy's variables are its own: nothing else names them, and each
  // depth has a copy of its own, so every run of the copy may renew them.
  note_declarations(d, true);
  if (!d.declared.empty()) {
    d.renewal = DecodedBlock::RENEWAL_YES;
    d.renews_at = 1;  // adopt counts the copy of a tree's block at 2
    // Its declarations are known only now: the steps that run in place
    // are copied again, with the calls that keeping the group marks.
    d.keeps = keeps_ok(d) && keeps_group(d);
    if (d.keeps) place_leaf(d);
  }
}

void release_primed() {
  for (DecodedBlock& d : pool) {
    if (d.primed && d.strings) release_strings(d.steps[0].result, d.steps[0].temps);
    drop_prime(d);
  }
}

void forget_runs() {
  for (DecodedBlock& d : pool) {
    d.runs = d.owns ? 0 : DecodedBlock::UNCOUNTED;
    drop_prime(d);
  }
}

void clear_decoded_blocks() {
  release_copies();
  forget_reentry();
  forget_quiet_rooms();
  for (const u32 off : filled) table[off] = nullptr;
  filled.clear();
  pool.clear();
  decoded_base = codepage.base;
  decoded_span = codepage.end - codepage.base;
  if (decoded_span != table_span) {
    table.reset(static_cast<const DecodedBlock**>(
        std::calloc(decoded_span ? decoded_span : 1, sizeof(const DecodedBlock*))));
    if (!table) {  // a quarter of a megabyte, before the program runs
      std::fputs("No memory\n", stderr);
      std::exit(1);
    }
    table_span = decoded_span;
  }
  decoded_at = table.get();
}

}  // namespace qv
