// Source text -> compile -> run with a bounded number of records. Any text
// ends in a compile error with the code page rewound, or compiles to a
// code page whose every block ends in its end marker, made of records with
// handlers of the registry, its temporaries typed; the program then ends
// in an error report or a normal end. The first byte's low bits choose the
// temporaries mode and the traced executor.
#include "fuzz_common.h"
#include "runtime/errcodes.h"
#include "runtime/handlers.h"

namespace {

using namespace qv;

bool block_well_formed(Ref block) {
  if (block < codepage.base || block + 4 > codepage.first) return false;
  for (Ref cur = block + 4; cur + 4 <= codepage.first; cur += rec_size(mem + cur)) {
    if (rd32(mem + cur) == END_MARK) return true;
    if (rd32(mem + cur + REC_HANDLER) >= H_COUNT) return false;
  }
  return false;
}

void check_compiled(u32 code) {
  if (code >= E_COUNT || (code && codepage.first != codepage.base)) __builtin_trap();
  for (Ref e = cnstable.base; !code && e < cnstable.next; e += 12) {
    const VarEntry* c = S(e);
    if (c->type == TY_BLOCK && ((c->flags & V_TEMP) || !block_well_formed(c->value)))
      __builtin_trap();
  }
  for (Ref e = rettable.base; !code && optimtmpvarinit && e < rettable.next; e += 12)
    if (S(e)->type >= TY_COUNT) __builtin_trap();  // a temporary left without a type
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qvfuzz;
  if (size > 65536) return 0;
  once();
  next_input();
  optimtmpvarinit = size && (data[0] & 1) ? 0 : 1;
  Ref text = place_text(data, size);
  if (!text) return 0;
  const u32 code = compile(text);
  check_compiled(code);
  // Programs that wait for keys would stall; long ones take too long.
  if (code == 0 && size <= 16384 && !waits(data, size)) {
    run_step_limit = 20000;
    execute(size && (data[0] & 2) ? 1 : 0);
    run_step_limit = 0;
  }
  arena_free(text, static_cast<u32>(size + 1));
  return 0;
}
