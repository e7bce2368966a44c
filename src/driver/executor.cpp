// The plain and traced executor loops, the run's entry point and its error
// exit. The plain loop is the product's hot path: per record it does one
// end-marker test, one count, one indirect call, one step and the level and
// stop tests, nothing more.
#include "executor.h"

#include <cstdio>

#include "env.h"
#include "handlers.h"

namespace qv {

BlockRunner _execute = nullptr;
i32 brk_level = 0;
i32 cont_level = 0;
u32 on_stop = 0;
u32 _tracing_on = 0;
u32 _tracing_int = 0;
u32 _trace_stop = 0;
TraceHook _trace_hook = nullptr;
u64 _opcount = 0;
u32 doprocesskeys = 0;
Ref last_lexema = 0;
u32 optimtmpvarinit = 1;
u32 exec_depth = 0;
#ifdef QV_FUZZ
u64 run_step_limit = 0;
#endif
void (*process_events_hook)() = nullptr;

u32 if_c_error = 0;

namespace {

inline u32 call_record(const u8* rec) {
  u32 count = rec[REC_COUNT] | (u32{rec[REC_EXTRA]} << 8);
  return handlers[rd32(rec + REC_HANDLER)](rd32(rec + REC_RESULT), rec + REC_PARAMS, count);
}

// Keeps the nesting count right however the block is left.
struct DepthGuard {
  DepthGuard() {
    // Counted only once the block may run: a constructor that throws gets
    // no destructor call to take its count back.
    if (exec_depth >= MAX_BLOCK_DEPTH) {
      last_lexema = 0;
      execerror(53);
    }
    ++exec_depth;
  }
  ~DepthGuard() { --exec_depth; }
};

// Leaving a block because a level is pending: the temporaries of the
// operation that set it, then the block's own clean-up.
void early_exit(const u8* cur, Ref cleanup) {
  const u8* cleanrec = cleanup ? mem + cleanup - 4 : nullptr;
  if (!optimtmpvarinit && rd32(cur) != END_MARK && rd32(cur + REC_HANDLER) == H_mvardel &&
      cur != cleanrec)
    call_record(cur);
  if (cleanrec && !call_record(cleanrec)) {
    last_lexema = 0;
    execerror(if_c_error);
  }
}

[[noreturn]] void stop_run(const u8* rec) {
  on_stop = 0;
  last_lexema = rd32(rec);
  execerror(38);
}

template <bool Traced>
void run_block(VarEntry* slot) {
  DepthGuard depth;
  const u8* blk = mem + slot->value;
  const Ref cleanup = rd32(blk);
  const u8* cur = blk + 4;
  if (doprocesskeys && process_events_hook) process_events_hook();
  const u8* firstrec = cur;
  for (;;) {
    if (rd32(cur) == END_MARK) return;
    ++_opcount;
#ifdef QV_FUZZ
    if (run_step_limit && _opcount > run_step_limit) execerror(1);
#endif
    if constexpr (Traced) {
      if (_tracing_on && rd32(cur + REC_HANDLER) && _trace_hook)
        _trace_hook(rd32(cur), cur, cur == firstrec);
    }
    if (!call_record(cur)) {
      last_lexema = rd32(cur);
      execerror(if_c_error);
    }
    const u8* rec = cur;
    cur += rec_size(cur);
    // "stop" first: a block run while a level is pending (the next block
    // of an "exec") would otherwise leave early and lose the stop.
    if (on_stop) stop_run(rec);
    if (brk_level | cont_level) {
      early_exit(cur, cleanup);
      return;
    }
  }
}

}  // namespace

void _executor(VarEntry* slot) { run_block<false>(slot); }
void _exectrace(VarEntry* slot) { run_block<true>(slot); }

u32 execute(int trace) {
  _tracing_on = _tracing_int = trace ? 1 : 0;
  _trace_hook = trace_line;
  try {
    VarEntry* main = S(cnstable.base);
    if (!(main->flags & V_EMPTY)) {
      _execute = trace ? _exectrace : _executor;
      _execute(main);
      erase_consts();
    }
  } catch (const RunError& e) {
    exec_depth = 0;
    return e.code ? e.code : 1;
  }
  return 0;
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
