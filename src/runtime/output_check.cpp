// Output that never reached its destination (a full disk, /dev/full, a
// closed terminal) must not pass silently: the end of the process says so
// on standard error, which may still be writable.
#include "output_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qv {

bool flush_stdout_checked() {
  errno = 0;
  int err = std::fflush(stdout) != 0 ? errno : 0;
  // An earlier failed write leaves the stream's error flag; its errno is
  // long gone by now.
  if (!err && std::ferror(stdout)) err = EIO;
  if (!err) return true;
  std::fprintf(stderr, "\nError writing standard output: %s\n", std::strerror(err ? err : EIO));
  std::clearerr(stdout);
  return false;
}

}  // namespace qv
