// Source text -> compile: any text ends in a compile error or a code page.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qvfuzz;
  if (size > 65536) return 0;
  once();
  next_input();
  optimtmpvarinit = size && (data[0] & 1) ? 0 : 1;
  Ref text = place_text(data, size);
  if (!text) return 0;
  compile(text);
  arena_free(text, static_cast<u32>(size + 1));
  return 0;
}
