// The plain and traced executor loops, the run's entry point and its error
// exit. The plain executor is the product's hot path: it runs most blocks
// from their decoded steps (run_decoded_steps), the others record by
// record, and per record it does one count, one call or inline operation,
// and the level and stop tests where a record can set them, nothing more.
#include "executor.h"
#include "executor_loop.h"

#include <sys/resource.h>

#include <cstdio>

// The top of the main thread's stack, as the C library found it at start.
extern "C" void* __libc_stack_end;

#include "block_runs.h"
#include "blocks.h"
#include "decoded.h"
#include "env.h"
#include "handlers.h"

namespace qv {

BlockRunner _execute = nullptr;
RunSignals run_signals{0, 0, 0};
RunModes run_modes{0, 0};
u32 _tracing_int = 0;
u32 _trace_stop = 0;
TraceHook _trace_hook = nullptr;
u64 _opcount = 0;
Ref last_lexema = 0;
u32 optimtmpvarinit = 1;
u32 exec_depth = 0;
std::uintptr_t stack_floor = 0;
#ifdef QV_FUZZ
u64 run_step_limit = 0;
u64 run_steps = 0;
#endif
void (*process_events_hook)() = nullptr;

u32 if_c_error = 0;


namespace {

// A decoded block that a step of another one entered without a native
// call: where the caller goes on when the block is done, and what its
// operation does then.
struct Pending {
  const DecodedBlock* block;
  const Step* step;
  Ref saved;  // a "call": the parameter stack's top before its frame
  Step::Kind op;
};
// Every entry stands for a nesting level, so the depth limit bounds them.
Pending pending_stack[MAX_BLOCK_DEPTH + 1];
Pending* pending_top = pending_stack;

// The decoded form of the block in a slot that holds one, when a step
// may enter it directly: the plain executor, nothing to trace or process
// first, and room for one more level. Every other case takes the
// operation's own path, which gives the errors and the slow runs.
inline const DecodedBlock* enterable(const VarEntry* slot) {
  if ((slot->flags & V_EMPTY) || exec_depth >= MAX_BLOCK_DEPTH || _execute != _executor ||
      special_mode())
    return nullptr;
  return decoded_block(slot->value);
}

}  // namespace

// The walk's steps, with the marked operations done inline. Each step
// jumps to the next one's code by itself, so that every kind of step has
// its own dispatch branch, which predicts far better than one shared one.
// Only a call of a handler or a "return" can set a level or a stop, so the
// other steps go on without testing for one. "exec", "if" and "call" of a
// decoded block go on with that block's steps right here, its caller's
// place kept in pending_stack: a QV program's nesting costs no native
// frames then, which deep recursion would feel.
template <bool Counted>
u64 run_decoded_steps(const DecodedBlock& first) {
  static const void* const code[] = {
      &&call, &&init_temps, &&del_temps, &&plus, &&mul, &&minus, &&div, &&mod,
      &&plus_assign, &&minus_assign, &&element, &&assign, &&inc, &&dec, &&compare, &&param, &&ret,
      &&exec, &&call_block, &&if_, &&end,
  };
  static_assert(sizeof code / sizeof *code == Step::END + 1);
  Pending* const base = pending_top;
  const DecodedBlock* b = &first;
  if constexpr (Counted) run_begins(*b);
  const Step* s = b->steps;
  const DecodedBlock* callee;
  Ref saved = 0;
  u64 done;
#define QV_NEXT_STEP()   \
  do {                   \
    ++s;                 \
    fuzz_step();         \
    goto* code[s->kind]; \
  } while (0)
#define QV_CHECKED(call)                                \
  do {                                                  \
    if (!(call)) [[unlikely]] record_failed(s->rec()); \
    QV_NEXT_STEP();                                     \
  } while (0)
  fuzz_step();  // the block's entry
  fuzz_step();  // its first step
  goto* code[s->kind];
call:
  if (!s->handler(s->result, s->params, s->count)) [[unlikely]] record_failed(s->rec());
  if (signal_pending()) [[unlikely]] goto leave;
  QV_NEXT_STEP();
// The operations that run blocks: the block entered right here, or
// through the operation's own code (see run_slot).
exec:
  if ((s->count & 0xFF) == 1 && !signal_pending() && (callee = enterable(P(s->params, 0))))
    goto enter;
  if (!s->handler(s->result, s->params, s->count)) [[unlikely]] record_failed(s->rec());
  if (signal_pending()) [[unlikely]] goto leave;
  QV_NEXT_STEP();
if_: {
  const VarEntry* chosen = P(s->params, 0)->value ? P(s->params, 1)
                           : (s->count & 0xFF) >= 3 ? P(s->params, 2)
                                                    : nullptr;
  if (!chosen) QV_NEXT_STEP();
  if (!signal_pending() && (callee = enterable(chosen))) goto enter;
  if (!s->handler(s->result, s->params, s->count)) [[unlikely]] record_failed(s->rec());
  if (signal_pending()) [[unlikely]] goto leave;
  QV_NEXT_STEP();
}
call_block: {
  const u32 np = s->count & 0xFF;
  if (!call_refusal(np) && (callee = enterable(P(s->params, 0)))) {
    saved = callstack.next;
    push_frame(s->result, s->params, np);
    goto enter;
  }
  if (!s->handler(s->result, s->params, s->count)) [[unlikely]] record_failed(s->rec());
  if (signal_pending()) [[unlikely]] goto leave;
  QV_NEXT_STEP();
}
enter:
  ++exec_depth;
  *pending_top++ = {b, s, saved, s->kind};
  b = callee;
  run_begins(*b);
  s = b->steps;
  fuzz_step();  // the block's entry
  fuzz_step();  // its first step
  goto* code[s->kind];
ret:
  if (!return_value(s->params, s->count)) [[unlikely]] record_failed(s->rec());
  goto leave;
inc:
  QV_CHECKED(arith::step(s->result, s->params, s->count, true));
dec:
  QV_CHECKED(arith::step(s->result, s->params, s->count, false));
// Numbers compare here; other types through their comp, in the handler.
compare: {
  i32 c;
  if (arith::order(P(s->params, 0), P(s->params, 1), &c)) {
    if (s->result) S(s->result)->value = (s->holds >> (c + 1)) & 1;
    QV_NEXT_STEP();
  }
  QV_CHECKED(s->handler(s->result, s->params, s->count));
}
param:
  QV_CHECKED(param_value(s->result, s->params, s->count));
plus:
  QV_CHECKED(arith::fold<arith::ADD>(s->result, s->params, s->count));
mul:
  QV_CHECKED(arith::fold<arith::MUL>(s->result, s->params, s->count));
minus:
  QV_CHECKED(arith::binary<arith::SUB>(s->result, s->params));
div:
  QV_CHECKED(arith::binary<arith::DIV>(s->result, s->params));
mod:
  QV_CHECKED(arith::binary<arith::MOD>(s->result, s->params));
plus_assign:
  QV_CHECKED(arith::in_place<arith::ADD>(s->result, s->params));
minus_assign:
  QV_CHECKED(arith::in_place<arith::SUB>(s->result, s->params));
element:
  QV_CHECKED(element_into(s->result, s->params));
assign:
  QV_CHECKED(assign_in_slot(P(s->params, 0), P(s->params, 1), s->result) ||
             s->handler(s->result, s->params, s->count));
// Tracing, which a handler may have switched on, reports the temporaries:
// the handlers do that.
init_temps:
  if (_tracing_on) [[unlikely]] QV_CHECKED(s->handler(s->result, s->params, s->count));
  init_group(*s);
  QV_NEXT_STEP();
del_temps:
  QV_CHECKED(_tracing_on ? s->handler(s->result, s->params, s->count) : del_group(*s));
end:
  done = b->idle_init + b->nsteps;
  goto finished;
leave:
  done = b->idle_init + (s - b->steps) + 1;
  // "stop" first, as in the walk.
  if (on_stop) stop_run(s->rec());
  leave_decoded(*b, s->rec() + rec_size(s->rec()));
finished:
  if (pending_top == base) {
    if constexpr (Counted) run_ends(*b);
    return done;
  }
  run_ends(*b);
  // A block entered here is done: its operation finishes as it would
  // after a native run, and its caller goes on.
  _opcount += done;
  --exec_depth;
  {
    const Pending& p = *--pending_top;
    b = p.block;
    s = p.step;
    if (p.op == Step::CALL_BLOCK) {
      callstack.next = p.saved;
      --block_nesty;
      // No level leaves the called block.
      cont_level = brk_level = 0;
    }
  }
  if (signal_pending()) [[unlikely]] goto leave;
  QV_NEXT_STEP();
#undef QV_CHECKED
#undef QV_NEXT_STEP
}
template u64 run_decoded_steps<true>(const DecodedBlock&);
template u64 run_decoded_steps<false>(const DecodedBlock&);

u64 run_block_slow(Ref blk) {
  u64 n = 0;
  const DecodedBlock* d;
  if (_tracing_on || !(d = decoded_block(blk))) {
    walk_block<false>(mem + blk, n, true);
    return n;
  }
  if (doprocesskeys && process_events_hook) {
    process_events_hook();
    // A key handler that switched tracing on: its temporaries' lines.
    if (_tracing_on) [[unlikely]] {
      walk_records<false>(mem + blk, n, true);
      return n;
    }
  }
  return run_decoded_steps(*d);
}

void _executor(VarEntry* slot) { run_block<false>(slot); }
void _exectrace(VarEntry* slot) { run_block<true>(slot); }

// The main thread's stack ends its size limit below its top. (The
// thread's attributes would say the same, but finding them reads the
// process's whole memory map.) Elsewhere, or without a limit, only the
// nesting count holds.
void measure_native_stack() {
  stack_floor = 0;
  rlimit lim{};
  if (getrlimit(RLIMIT_STACK, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return;
  const auto top = reinterpret_cast<std::uintptr_t>(__libc_stack_end);
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
#ifdef QV_FUZZ
  run_steps = 0;
#endif
  try {
    VarEntry* main = S(cnstable.base);
    if (!(main->flags & V_EMPTY)) {
      _execute = trace ? _exectrace : _executor;
      _execute(main);
      erase_consts();
    }
  } catch (const RunError& e) {
    // The error may have come from inside any number of calls and blocks.
    exec_depth = 0;
    block_nesty = 0;
    callstack.next = callstack.base;
    pending_top = pending_stack;
    abandon_runs();
    return e.code ? e.code : 1;
  }
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
  exec_depth = 0;
  block_nesty = 0;
  _execute = _executor;
  pending_top = pending_stack;
  abandon_runs();
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
    if (_trace_stop) std::getchar();
  }
  size_t len = 0;
  while (text[len] && text[len] != '\n' && text[len] != 0x1A) ++len;
  std::fwrite(text, 1, len, stdout);
  std::fputc('\n', stdout);
}

}  // namespace qv
