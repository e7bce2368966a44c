// Source text -> compile -> run with a bounded number of records: any
// program ends in an error report or a normal end. The first byte's low
// bits choose the temporaries mode and the traced executor.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qvfuzz;
  if (size > 16384 || waits(data, size)) return 0;
  once();
  next_input();
  optimtmpvarinit = size && (data[0] & 1) ? 0 : 1;
  Ref text = place_text(data, size);
  if (!text) return 0;
  if (compile(text) == 0) {
    run_step_limit = 20000;
    execute(size && (data[0] & 2) ? 1 : 0);
    run_step_limit = 0;
  }
  arena_free(text, static_cast<u32>(size + 1));
  return 0;
}
