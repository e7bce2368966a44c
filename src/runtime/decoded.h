// Decoded blocks: a block's records read once into a compact list of steps,
// which the executor runs instead of reading each record's layout again on
// every run. A step keeps the record's handler, result word and counts; the
// commonest operations (arithmetic, comparisons, element access,
// assignment, the temporaries' records, the parameter operations of called
// blocks and the operations that run blocks) are marked so that the
// executor does them inline.
//
// Records never change while a program runs, except for parameter words,
// which element access rewrites and which a step therefore reads from the
// record every time. So a block is decoded once per run, the first time it
// runs, and the copy holds until the next program is compiled or loaded.
#pragma once

#include <vector>

#include "executor.h"
#include "qv.h"

namespace qv {

struct Step {
  enum Kind : u8 {
    CALL, INIT_TEMPS, DEL_TEMPS,
    PLUS, MUL, MINUS, DIV, MOD, PLUS_ASSIGN, MINUS_ASSIGN, ELEMENT, ASSIGN,
    INC, DEC, COMPARE, PARAM, RETURN, EXEC, CALL_BLOCK, IF,
    END,  // after the last step
  };
  OpHandler handler;
  const u8* params;  // the record's parameter words
  Ref result;  // for the temporaries' steps: the first one
  u32 count;   // the handler's count word
  Kind kind;
  u8 temps;    // for the temporaries' steps: how many
  u8 holds;    // for a comparison: the orders it holds for (see arith.h)

  const u8* rec() const { return params - REC_PARAMS; }
};

struct DecodedBlock {
  Ref cleanup;        // the block's clean-up word
  Step cleanup_step;  // its deletion record, when cleanup is not 0
  bool idle_init;     // the block starts with an initialisation of no temporaries
  // Whether a run of the block has state of its own (see block_runs.h):
  // only then are its runs under way counted.
  bool owns;
  // The runs under way of a block that owns state; from UNCOUNTED up for
  // one that does not, so that one test tells both apart.
  static constexpr u32 UNCOUNTED = 0x80000000u;
  mutable u32 runs;
  u32 nsteps;
  Step* steps;        // the records after the idle initialisation, then END
  std::vector<Step> step_store;
  // What one run owns: its temporaries and named variables, and the
  // parameter words that its element records rewrite.
  std::vector<Ref> own_slots;
  std::vector<Ref> own_words;
};

// The decoded form of the block at `blk`, or null for a block that is run
// record by record (one outside the code page or one whose records are not
// sound). Decodes the block on its first run.
const DecodedBlock* decode_block(Ref blk);

// Per code-page byte, the block that starts there: null when not seen yet,
// `undecodable` when it is walked.
extern const DecodedBlock** decoded_at;
extern Ref decoded_base;
extern u32 decoded_span;
extern const DecodedBlock undecodable;

inline const DecodedBlock* decoded_block(Ref blk) {
  const u32 off = blk - decoded_base;
  if (off >= decoded_span) [[unlikely]] return nullptr;
  const DecodedBlock* d = decoded_at[off];
  if (!d) [[unlikely]] return decode_block(blk);
  return d == &undecodable ? nullptr : d;
}

// Forgets every decoded block: the code page is about to change.
void clear_decoded_blocks();

// Counts no run of any block as under way (a run-time error ended them).
void forget_runs();

}  // namespace qv
