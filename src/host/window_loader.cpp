// Finding and loading the window library, and the look at the compiled
// program that tells whether a run needs it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../runtime/env.h"
#include "../runtime/final_exit.h"
#include "../runtime/executor.h"
#include "../runtime/handlers.h"
#include "window_ops.h"

#ifndef QV_WINDOW_LIBRARY
#define QV_WINDOW_LIBRARY "libqvwindow.so"
#endif
// The installed library's folder, relative to the executable's.
#ifndef QV_WINDOW_LIBRARY_DIR
#define QV_WINDOW_LIBRARY_DIR "../lib/qv"
#endif

namespace qv {

namespace {

std::string executable_dir() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return ".";
  path.resize(static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool needs_window(u32 handler) {
  switch (handler) {
    case H__flushDisplay:
    case H__clearall:
    case H__setPen:
    case H__drawPixel:
    case H__drawPoint:
    case H__drawLine:
    case H__drawCircle:
    case H_l_onanykeysetevent:
    case H_l_processevents:
      return true;
    default:
      return false;
  }
}

}  // namespace

const WindowOps& load_window_library() {
  if (window_ops) return *window_ops;
  // Beside the executable in the build tree, in its own folder once
  // installed.
  const std::string dir = executable_dir();
  std::string error = "no " QV_WINDOW_LIBRARY " beside " + dir;
  for (const std::string& path : {dir + "/" QV_WINDOW_LIBRARY,
                                  dir + "/" QV_WINDOW_LIBRARY_DIR "/" QV_WINDOW_LIBRARY}) {
    if (access(path.c_str(), F_OK) != 0) continue;
    // The library registers its operations as it loads.
    if (dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) && window_ops) return *window_ops;
    const char* why = dlerror();
    error = why ? why : path + ": registers no window";
    break;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "qvrun: cannot load the window library: %s\n", error.c_str());
  final_exit(1);
}

// The code page holds the blocks one after the other: a word for the
// block's clean-up, its records, and the end mark. Anything that does not
// read as such keeps the window, as a run always had it.
bool program_uses_window() {
  const Ref end = codepage.first;
  Ref p = codepage.base;
  auto fits = [&](u32 n) { return p <= end && end - p >= n; };
  while (p < end) {
    if (!fits(4)) return true;
    p += 4;
    for (;;) {
      if (!fits(4)) return true;
      if (rd32(mem + p) == END_MARK) {
        p += 4;
        break;
      }
      if (!fits(REC_PARAMS)) return true;
      if (needs_window(rd32(mem + p + REC_HANDLER))) return true;
      const u32 size = REC_PARAMS + 4 * u32{mem[p + REC_COUNT]};
      if (!fits(size)) return true;
      p += size;
    }
  }
  return false;
}

}  // namespace qv
