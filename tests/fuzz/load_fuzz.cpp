// Compiled-program file -> load -> run with a bounded number of records:
// any file is refused with a code of the file's own, or loads a program
// that runs to an error report or a normal end. The checksums are not
// checked: the fuzzer could rarely get past them, and what they protect
// is the checks behind them.
#include <unistd.h>

#include "runtime/handlers.h"
#include "fuzz_common.h"
#include "host/progfile.h"
#include "host/progsect.h"

namespace {

using namespace qv;

// Loaded code that would only wait (for the clock or the sound card).
bool waits() {
  for (Ref p = codepage.base; p + 4 <= codepage.first; ++p) {
    const u32 w = rd32(mem + p);
    if (w == H_l_delay || w == H_getsignal || w == H_getfft) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qvfuzz;
  static const std::string path = "/dev/shm/qv_load_fuzz_" + std::to_string(getpid()) + ".cp";
  once();
  next_input();
  optimtmpvarinit = 1;
  qv::reader::check_sums = false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  if (!load_program(path.c_str(), 0)) {
    if (if_c_error != 1 && (if_c_error < 64 || if_c_error > 69)) __builtin_trap();
    return 0;
  }
  if (!waits()) {
    run_step_limit = 20000;
    execute(0);
    run_step_limit = 0;
  }
  return 0;
}
