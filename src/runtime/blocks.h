// Blocks as values, the loop levels and the block parameter stack.
//
// A "call" pushes one frame onto callstack, bottom to top:
//   argument slots (first argument lowest), the result slot (0 when the
//   call's value is not used), n = number of the record's parameters.
// callstack.next addresses the top word. The word at callstack.base is 0 and
// never written, so a top word of 0 means that no call is active. With a
// call active, argument i lies n - i words below the top and the result slot
// one word below it.
#pragma once

#include "env.h"
#include "errcodes.h"
#include "qv.h"
#include "variables.h"

namespace qv {

// Number of active "call"s.
extern u16 block_nesty;
constexpr u32 MAX_CALL_NESTING = 65535;

// After one iteration of a loop: 1 when the loop must stop (a level is
// consumed or passed outward), 0 when it goes on.
u32 _brk_cont();

// The parameter stack's top word: n of the innermost call, 0 without one.
inline u32 top_word() { return rd32(mem + callstack.next); }
inline Ref frame_word(u32 below_top) { return rd32(mem + callstack.next - 4 * below_top); }

// Where the innermost call's arguments lie: the word of argument 0 and
// how many there are (0 also without a call). "par#" reads its word from
// here, without first reading the frame's n and working back from the top;
// the stack's pushes keep it, and a call's end puts back the one it found.
struct InnerFrame {
  Ref first;
  u32 count;
};
extern InnerFrame inner_frame;

inline void frame_pushed(Ref first, u32 n) { inner_frame = {first, n - 1}; }
// The arguments of the call whose frame is at the top `top`, or none.
inline void frame_at_top(Ref top) {
  const u32 n = rd32(mem + top);
  inner_frame = {top - 4 * n, n ? n - 1 : 0};
}

// Slot of argument `index` of the innermost call, or 0 when that call has
// no such argument (also when no call is active).
inline Ref argument(u32 index) {
  if (index >= inner_frame.count) return 0;
  return rd32(mem + inner_frame.first + 4 * index);
}

// "par#": the value of an argument of the innermost call, or the default
// that the second parameter gives for a missing one. The words are the
// record's first two: the index's slot and, with two parameters, the
// default's.
[[gnu::always_inline]] inline bool param_source(Ref index, Ref default_slot, u32 count, Ref* src) {
  if (inner_frame.count == 0) return fail(E_NO_PARAMS);
  *src = argument(S(index)->value);
  if (!*src) {
    if ((count & 0xFF) < 2) return fail(E_NO_PARAM);
    *src = default_slot;
  }
  return true;
}
[[gnu::always_inline]] inline u32 param_value(Ref result, Ref index, Ref default_slot, u32 count) {
  Ref src;
  if (!param_source(index, default_slot, count, &src)) return 0;
  return result ? deliver(S(src), S(result)) : 1;
}

// "return": leaves every loop up to the innermost call (level -1) and
// delivers the value of the slot that the record's first word names, if
// it has one, to the call's result slot.
[[gnu::always_inline]] inline u32 return_value(Ref value, u32 count) {
  if (top_word() == 0) return fail(E_NO_RESULT);
  brk_level = -1;
  const Ref dest = frame_word(1);
  if (dest && (count & 0xFF)) return deliver(S(value), S(dest));
  return 1;
}

}  // namespace qv
