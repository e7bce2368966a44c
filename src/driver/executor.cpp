// The plain and traced executor loops, the run's entry point and its error
// exit. The plain loop is the product's hot path: per record it does one
// end-marker test, one count, one indirect call, one step and the level and
// stop tests, nothing more.
#include "executor.h"
#include "executor_loop.h"

#include <cstdio>

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
#ifdef QV_FUZZ
u64 run_step_limit = 0;
u64 run_steps = 0;
#endif
void (*process_events_hook)() = nullptr;

u32 if_c_error = 0;


void _executor(VarEntry* slot) { run_block<false>(slot); }
void _exectrace(VarEntry* slot) { run_block<true>(slot); }

u32 execute(int trace) {
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
    exec_depth = 0;
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
