#include "final_exit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arena.h"
#include "arena_guard.h"
#include "block_copies.h"
#include "env.h"

#if QV_ARENA_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace qv {

namespace {

#if QV_ARENA_GUARD
// The arena check follows LeakSanitizer's own switch, so that
// ASAN_OPTIONS=detect_leaks=0 turns off both.
bool leaks_checked() {
  const char* opts = std::getenv("ASAN_OPTIONS");
  return !(opts && std::strstr(opts, "detect_leaks=0"));
}

// Everything values own goes back, as at the end of a failed run; what is
// then still live in the arena was lost by whoever allocated it.
int check_leaks(int status) {
  if (!leaks_checked()) return status;
  erase_allvars();
  release_copies();
  if (arena_report_leaks()) status = guard::LEAK_EXIT_STATUS;
  std::fflush(stderr);
#if QV_ARENA_ASAN
  __lsan_do_leak_check();  // ends the process itself when it finds a leak
#endif
  return status;
}
#else
int check_leaks(int status) { return status; }
#endif

}  // namespace

void final_exit(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  status = check_leaks(status);
  std::_Exit(status);
}

}  // namespace qv
