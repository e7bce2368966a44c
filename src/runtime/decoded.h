// Decoded blocks: a block's records read once into a compact list of steps,
// which the executor runs instead of reading each record's layout again on
// every run. A step keeps the record's handler, result word and counts, and
// a kind (step_kinds.h) that tells the executor what to do with it: the
// decoder is where operations are specialised, the executor's loop has one
// piece of code per kind.
//
// Records never change while a program runs, except for parameter words,
// which element access rewrites: a step reads its first two from its own
// copy (Step::ops), which the element access writes too, and any others
// from the record. So a block is decoded once per run, the first time it
// runs, and the copy holds until the next program is compiled or loaded.
#pragma once

#include <vector>

#include "executor.h"
#include "qv.h"
#include "step_kinds.h"
#include "variables.h"

namespace qv {

struct Step {
  enum Kind : u8 {
#define QV_STEP_ENUM(k) k,
    QV_STEP_KINDS(QV_STEP_ENUM)
#undef QV_STEP_ENUM
    KIND_COUNT
  };
  // The fields are as narrow as their values allow: a deep recursion runs
  // a copy of a block's steps per depth, and the fewer cache lines they
  // take, the fewer of them a return to an outer depth finds gone. The
  // narrow ones come first, which a block's deletion record (DecodedBlock::
  // cleanup_step) keeps with the fields that every entry of the block reads.
  Ref result;  // for the temporaries' steps: the first one
  u16 count;   // the handler's count word
  u16 index;   // its place in the block: the records run before it
  Kind kind;
  u8 temps;    // for the temporaries' steps: how many
  u8 holds;    // for a comparison: the orders it holds for (see arith.h);
               // for DIV_POW2: the divisor's exponent; for LEAF_RENEW: 1
               // when the group holds texts (RENEW_STRS); for an IF: 1
               // when its block ends right after it (IF_TAIL)
  // For a "call" in a block that keeps its group (DecodedBlock::keeps):
  // its result starts at 0, as in a renewed group, so that a block that
  // returns nothing leaves 0 there.
  u8 fresh;
  // For a loop, or an "exec" of one block: 1 when its block word names a
  // block constant (fixed_block in decoded.cpp), whose block its cache then
  // holds for good once it has entered it.
  u8 fixed;
  const u8* params;  // the record's parameter words
  // Where the executor's plain loop runs the step's kind (step_code), so
  // that a step goes on to the next one with a single jump.
  mutable const void* code;
  union {
    // For a step that runs blocks: the block it entered last, which is
    // most often the one it enters next (a slot may change, so its place
    // is compared first).
    mutable const struct DecodedBlock* entered;
    // For any other step: its first two parameter words, read once when
    // the block is decoded, so that an operand is one load from the step
    // away rather than two. Element records rewrite words at run time: an
    // ELEMENT step writes its word's copy here too (see `twin`).
    mutable Ref ops[2];
    // For an ELEMENT step: where the copy of its word lies, the operand
    // of a later step of the block, in bytes from this step. Relative, so
    // that it holds in every copy of the steps. Without one (a word past
    // the first two, or of a step that reads its words from the record),
    // the step's own spare word, so that the write needs no test. (The
    // code of an ELEMENT whose twin is one to three steps ahead has that
    // place in it: a store whose place comes from a load of this word let
    // the step that reads the copy run ahead of it, and start again when
    // the store came; bubble sort ran 5 % slower so.)
    u32 twin;
  };
  union {
    // For a step that runs no block: the record's handler.
    OpHandler handler;
    // For an "if" with two blocks: the second block it entered last,
    // cached apart from the first, as an "if" in a loop often goes either
    // way. (A step that runs blocks is called as a handler only where a
    // block starts while a level is pending, through its record.)
    mutable const struct DecodedBlock* entered_else;
  };

  const u8* rec() const { return params - REC_PARAMS; }
  u32 nparams() const { return count & 0xFF; }
  // The handler of a step that runs no block, as the record says to call it.
  u32 call() const { return handler(result, params, count); }
};
static_assert(sizeof(Step) == 48);

// The steps of a block, END's not counted, as many as a step's index can
// number: a block of the code page has far fewer (a record takes
// REC_PARAMS bytes at least). Records past them decode as a BAD step.
constexpr u32 MAX_BLOCK_STEPS = 0xFFFE;

// A block starts on a cache line, so that the fields that its entries and
// ends read take as few as they can (see cleanup_step).
struct alignas(64) DecodedBlock {
  Ref at;             // the block's place, as a block value names it
  Ref cleanup;        // the block's clean-up word
  // The block starts with an initialisation of no temporaries (an IDLE_INIT
  // step), which a plain entry steps over: it is counted all the same.
  bool idle_init;
  // Whether a run of the block has state of its own (see block_runs.h)
  // and may start another run of it: only then are its runs under way
  // counted. A block whose steps run no block has nothing to count, nor
  // has one that none of the blocks its runs may run can start again
  // (reentry.h).
  bool owns;
  // The block's first step initialises the group of number temporaries
  // that its clean-up deletes, as blocks compiled with the grouped
  // initialisation do. Then a run's clean-up leaves the group as the next
  // run's first step would, which is all the two do between runs, and
  // `primed` says so until that step (which a plain entry steps over);
  // the group's values are the block's own, which nothing reads between
  // its runs.
  bool renews;
  // The group renewed holds str temporaries too (the steps INIT_STRS and
  // RENEW_STRS, or RENEW_VARS for a block that renews its named variables
  // with it: see `declared`). A renewed text is an empty one in a zeroed
  // buffer of the standard size, as a new initialisation would give it, in
  // the storage it had; a primed group holds that storage until its next
  // run or the end of the run of the program (release_primed).
  bool strings;
  // Beyond that, a run of the block cannot tell the group's values from 0:
  // each of the group's slots is written as a step's result before any
  // step reads it, and no step empties one (see keeps_group). Then the
  // clean-up leaves the group as it is. So does the renewal of a block
  // that declares named variables (`declared`): a recursive one with
  // eight temporaries spent a fifth of each call setting them to 0.
  bool keeps;
  mutable bool primed;
  // The block's runs are quiet (quiet_blocks.h) and take at most
  // MAX_QUIET_ROOM places on the stack of places, and it runs in place or
  // through its nest_start: an "if" may end the block it is the last step
  // of before it enters this one (IF_TAIL).
  bool quiet = false;
  // What a plain entry of a primed block steps over, in bytes of steps
  // (prime_of), so that the entry takes one addition: the first step for a
  // renewed group (see start_in), or the first step and the declarations
  // for a block that renews its named variables too (`declared`). A prime
  // dropped without stepping over those steps must delete the variables
  // (drop_prime), which the steps then declare anew.
  u64 prime_skip;  // (a word as wide as a place: added with no extension)
  // Whether those variables are renewed: decided at the second end of an
  // outermost run, when the blocks of the tree can be looked at (a block
  // that runs once, as the program's own block does, would gain nothing
  // from the look at the whole code page).
  enum Renewal : u8 { RENEWAL_UNKNOWN, RENEWAL_ONCE, RENEWAL_YES, RENEWAL_NO };
  mutable Renewal renewal;
  // The runs under way (`runs`) at which the end of a run renews them, so
  // that the end tests one word: 1, the outermost run, once the block is
  // known to renew them; 2 for the copy of a recursive block for a depth,
  // whose run counts as an inner one and is its depth's only run; NEVER
  // otherwise.
  static constexpr u32 NEVER = ~0u;
  mutable u32 renews_at;
  // The block's own slots are exactly the group that it renews: every end
  // of a run passes its clean-up, which deletes them all (or fails), and
  // the slots hold numbers and truth values, which own nothing. So an
  // outer run's values come back without a look at what the slots held
  // (see block_runs.h).
  bool group_only;
  // The runs under way of a block that owns state; UNCOUNTED for one that
  // does not. That is one run: a block whose steps run no block has at
  // most one run under way where its steps run, so its end may leave its
  // group renewed as an outermost run's end does (see end_group).
  static constexpr u32 UNCOUNTED = 1;
  mutable u32 runs;
  // Where the parameter stack stood when the latest run under way began:
  // only frames above it can name the block's own slots.
  mutable Ref run_base;
  u32 nsteps;  // one per record, the idle initialisation included
  const Step* start;  // where a plain entry starts: past the idle initialisation
  // A block that runs no other block runs in place: the "if" or "exec"
  // that runs it goes on through these steps, the block's own with
  // LEAF_END for END, and back, with nothing noted on the stack of places;
  // a level that its steps set leaves it as it would leave any block, and
  // then the step that ran it (left_in_place). Only its place in the
  // nesting tells the two ways apart, and the entry still tests that. Null
  // for any other block. Its steps start at the same index as in `steps`,
  // so that a primed group's initialisation is stepped over alike.
  // When the block renews its group, the renewal, its last step, ends it
  // there: LEAF_RENEW.
  const Step* leaf_start = nullptr;
  // A block that runs blocks runs an "if"'s entry through these steps,
  // the block's own with NEST_END for END (NEST_RENEW for its group's
  // renewal), which knows that the entry on the stack of places is an
  // "if"'s, and goes back to it without asking END whether the block is a
  // loop's body or the host step's, or block_done what kind of step
  // entered it. Null whenever body_start is, except in a recursive block's
  // copy, which has these and call_start alone (place_entry_steps).
  const Step* nest_start = nullptr;
  // The same for a "call" that enters the block, in every sound block: the
  // steps end in CALL_END (CALL_RENEW), which knows that the entry on the
  // stack of places is a call's and ends the call, and a "return" in them
  // leaves the block and ends the call at once (RETURN_CALL). A block that
  // renews its named variables renews them here too, as a plain entry's
  // steps do, and ends as they end.
  const Step* call_start = nullptr;
  // A block runs inside itself on copies, one per depth, when it can (see
  // block_copies.h): a copy's records are the block's, with every word
  // that names one of its own slots naming a slot of the copy's own
  // instead, so an inner run leaves the outer run's values where they are
  // (see block_runs.h). `home` is the block that a copy stands in for, at
  // the copy's depth: its runs are counted there. A copy's records and
  // slots lie in the arena at copy_at. A block's home is null.
  const DecodedBlock* home = nullptr;
  // A block that does not renew its group on its own, as `renews` says,
  // but whose first step initialises the group, whose next steps each
  // declare a named number, truth or str variable, and whose clean-up
  // (RENEW_VARS) deletes exactly those and the group: those variables, in
  // the order of their declarations, with the type each takes (empty for
  // any other block). A text among them, or in the group, is renewed as
  // an empty text in its own storage (RENEW_VARS holds 1; `strings` says
  // whether the group holds one). A block called over and over with
  // variables of its own (`int a; int b;`) would spend much of each run
  // declaring and deleting them: when nothing outside the block's tree
  // names them (tree_is_closed, block_copies.h), no one can tell them
  // deleted from declared and 0 between runs, and the end of an outermost
  // run renews them with the group (end_named), as does every end of a run
  // of a recursive block's copy, whose slots are its own.
  struct Declared {
    Ref var;
    u32 type;
  };
  std::vector<Declared> declared;
  // The deletion record comes last of the fields that the entries and
  // ends of runs read: its own that they read (kind, result, temps, holds)
  // come first in it, and end the block's second cache line. A deep
  // recursion runs a copy of the block per depth, whose two lines are then
  // all of the block that a call, its "if"s and its end touch: with a
  // third, ackermann missed the first-level cache a third more often. The
  // loop's fields follow (a loop's body stays in the cache round after
  // round), then what decoding and copying use, the storage of the steps
  // above among it.
  Step cleanup_step;  // the record at `cleanup`, when that is not 0
  // As leaf_start, for a "for" or "loop" that runs the block as its body,
  // round after round, in place: the steps end in ROUND_END (or
  // ROUND_RENEW), which starts the next round. Null also for a body that
  // DecodedBlock::single describes.
  const Step* round_start = nullptr;
  // Where the rounds after the first start: past the initialisation of the
  // group, which the end of a round renews (ROUND_RENEW) or keeps as it is
  // (ROUND_END, for a block that keeps its group), without priming the
  // group in between; the group is primed when the rounds end.
  const Step* round_next = nullptr;
  // A block that runs blocks runs a loop's rounds through these steps, the
  // block's own with BODY_END for END (BODY_RENEW for its group's renewal):
  // the loop enters it as it enters any block, noted on the stack of
  // places, and BODY_END starts the next round from there, without asking
  // END whether the block is a loop's body. Null for a block that runs in
  // place (round_start), and for one with a record that cannot run.
  const Step* body_start = nullptr;
  Step* steps;        // then END
  // A block of one compound assignment ("+=", "-=") with no result, after
  // an idle initialisation or alone: that step. A "for" with such a body
  // runs its rounds without stepping through it.
  const Step* single;
  Ref copy_at = 0;    // (see home)
  u32 copy_bytes = 0;
  u32 copy_slots = 0;  // the bytes of its slots, which come first
  std::vector<Step> leaf_store;
  std::vector<Step> round_store;
  std::vector<Step> body_store;
  std::vector<Step> nest_store;
  std::vector<Step> call_store;
  std::vector<Step> step_store;
  // What one run owns: its temporaries and named variables, as runs of
  // adjacent slots in the order of their places, and the parameter words
  // that its element records rewrite.
  struct Span {
    Ref first;
    u32 bytes;
  };
  std::vector<Ref> own_slots;  // while decoding: in the order seen
  std::vector<Span> own_spans;
  u32 own_bytes;  // the spans' bytes together
  std::vector<Ref> own_words;
  // The block whose records a copy's steps mirror, one for one: a copy's
  // step is traced as that block's. Null for a block of the code page.
  const DecodedBlock* origin = nullptr;
  // The block's copies made so far, for the depths in order.
  mutable std::vector<const DecodedBlock*> copies;
  // Whether the block's inner runs may run on copies: not looked at yet,
  // yes, or no (they set the outer run's values aside).
  enum Copying : u8 { COPYING_UNKNOWN, COPYING_YES, COPYING_NO };
  mutable Copying copying = COPYING_UNKNOWN;
};

// Where the executor's plain loop runs steps of `kind`: null when it
// dispatches on the kind instead (a build without computed goto).
const void* step_code(Step::Kind kind);

// What the cache of a step that runs blocks holds before its first entry:
// a block at place 0, where no block lies, so that it never matches and
// the cache needs no test of its own for being empty. (A damaged slot that
// names place 0 gets a block that cannot run, as it would from
// decode_block.)
const DecodedBlock* never_entered();
// The operand that an ELEMENT step keeps up to date.
inline Ref& twin_of(const Step& e) {
  return *reinterpret_cast<Ref*>(const_cast<char*>(reinterpret_cast<const char*>(&e)) + e.twin);
}
// A step's ops as its record's words are now (a step that runs blocks, or
// an ELEMENT step, keeps what the union holds for it).
void take_operands(Step& s);
// The ops that the block's ELEMENT steps keep up to date, in every copy of
// its steps, read again from the words (which a run set aside wrote back).
void reread_element_words(const DecodedBlock& d);

// The decoded form of the block at `blk`, decoded on its first run. A
// block outside the code page is the empty block, or one that cannot run.
const DecodedBlock* decode_block(Ref blk);

// Per code-page byte, the block that starts there: null when not seen yet.
extern const DecodedBlock** decoded_at;
extern Ref decoded_base;
extern u32 decoded_span;

inline const DecodedBlock* decoded_block(Ref blk) {
  const u32 off = blk - decoded_base;
  if (off >= decoded_span) [[unlikely]] return decode_block(blk);
  const DecodedBlock* d = decoded_at[off];
  if (!d) [[unlikely]] return decode_block(blk);
  return d;
}

// What the decoder reads from a record without decoding its block, for the
// looks at the blocks that a run may run (reentry.h, block_copies.h): the
// kind of step a record's handler makes (CALL for one not run inline);
// whether steps of a kind run blocks, and whether their parameter p names
// one they run; and the records of the code page's block at `blk`, its
// clean-up's first, appended to `recs`: false where one is not whole (a
// damaged program file).
Step::Kind handler_kind(u32 h);
bool enters_blocks(Step::Kind k);
bool runs_block_at(Step::Kind k, u32 p);
bool code_page_records(Ref blk, std::vector<const u8*>& recs);

// Used by the block copies (block_copies.h): a new entry of the decoded
// blocks, a copy of `like` when given, which lives until they are all
// forgotten; and the decoding of the records of a block at `blk`, which
// must lie in [lo, hi).
DecodedBlock& new_decoded(const DecodedBlock* like);
// The steps that an "if" or a "call" enters a copy's block through
// (nest_start, call_start), made from the copy's own steps: a copy of a
// block that runs blocks needs no others, as a loop's rounds never run on
// a copy's steps (see body_start).
void place_entry_steps(DecodedBlock& d);
void decode_records(DecodedBlock& d, Ref blk, Ref lo, Ref hi);
// The slots that a run of d owns, when they lie outside the tables where
// the decoder looks for them (a copy's slots).
void own_these(DecodedBlock& d, std::vector<Ref> slots);

// Whether `ref` names an entry of the table: a run may set such a slot
// aside (records of a loaded program are not trusted to).
struct TableHead;
bool table_slot(const TableHead& t, Ref ref);

// The handlers that write their result's value word and nothing else (see
// decoded.cpp), and the conversions between numbers and truth values.
bool value_handler(u32 h);
bool number_conversion(const Step& s);
// The steps of blocks that work on texts, which write their result's text
// and nothing else: a declaration of one str variable with no first
// value; the initialisation or deletion of a group of temporaries that
// holds numbers, truth values and texts, and no array; the conversions
// between texts and numbers (the operations on texts: copyable_handler in
// block_copies.cpp).
bool text_declaration(const Step& s);
bool group_step(const Step& s);
bool text_conversion(const Step& s);
// A first step that initialises its block's group of temporaries.
bool inits_group(const Step& s);
// Whether d's own slots are just the group that its first step initialises
// and its clean-up renews (numbers and truth values, and texts when
// d.strings): DecodedBlock::group_only, texts aside.
bool group_alone(const DecodedBlock& d);

// Forgets every decoded block: the code page is about to change.
void clear_decoded_blocks();

// Counts no run of any block as under way and no group as primed (a
// run-time error ended the runs, or the values were erased).
void forget_runs();

// Gives back the texts of the groups left primed and deletes the named
// variables left renewed, and no block is primed: the program's run is
// over.
void release_primed();

// DecodedBlock::prime_skip for n steps, and the step past those of a
// primed block.
constexpr u32 prime_of(u32 steps) { return steps * static_cast<u32>(sizeof(Step)); }
inline const Step* past_prime(const DecodedBlock& b, const Step* s) {
  return reinterpret_cast<const Step*>(reinterpret_cast<const char*>(s) + b.prime_skip);
}

// A prime dropped where the primed steps run after all (a traced entry, a
// record run as a handler, a run set aside before its first step): the
// variables that a renewal left declared are deleted, as they were before
// the first run, so that the steps can declare them (a text gives its
// storage back).
inline void drop_prime(const DecodedBlock& b) {
  if (b.primed)
    for (const DecodedBlock::Declared& d : b.declared) {
      VarEntry* v = S(d.var);
      if (d.type == TY_STR) release_strings(d.var, 1);
      v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
    }
  b.primed = false;
}

}  // namespace qv
