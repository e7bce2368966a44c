// Shared set-up of the fuzz targets: one environment for the whole fuzzing
// process, emptied again before every input.
#pragma once

#include <cstdio>
#include <cstring>

#include "compiler/compiler.h"
#include "driver/arena.h"
#include "driver/driver.h"
#include "driver/env.h"
#include "driver/executor.h"
#include "host/window.h"

#include <QImage>
#include <QPainter>

namespace qvfuzz {

using namespace qv;

inline void once() {
  static bool done = [] {
    // Program output is not what is being tested; a traced run that stops
    // for a key reads end of input instead of waiting at a terminal.
    if (!std::freopen("/dev/null", "w", stdout)) return false;
    if (!std::freopen("/dev/null", "r", stdin)) return false;
    // The drawing operations paint into a picture of the drawing area's
    // size, as in the window; no window is needed for that.
    static QImage picture(480, 272, QImage::Format_RGB32);
    static QPainter painter(&picture);
    display = &painter;
    return cenv_init(200, 200, 200, 200, 2048) == 1;
  }();
  (void)done;
}

// Once the tables are emptied, the arena holds what it held before the
// first input: a block still live beyond that was lost by the last input
// (the sanitizer build lists where it was allocated).
inline void check_arena() {
  static const u32 at_rest = (arena_keep_all_live(), arena_live_blocks());
  if (arena_live_blocks() == at_rest) return;
  arena_report_leaks();
  __builtin_trap();
}

// Empties the tables and puts the run-time switches at rest before every
// input.
inline void next_input() {
  cenv_reset();
  check_arena();
  qv::reset_run_state();
  copcount = 0;
}

// Inputs that would only wait (for the clock, the sound card or a key)
// teach the fuzzer nothing and stall it.
inline bool waits(const uint8_t* data, size_t size) {
  static const char* const words[] = {"delay", "getsignal", "getfft"};
  for (const char* w : words)
    if (memmem(data, size, w, std::strlen(w))) return true;
  return false;
}

// Copies the input into the arena as a program text ended by 0x1A.
inline Ref place_text(const uint8_t* data, size_t size) {
  Ref text = arena_alloc(static_cast<u32>(size + 1));
  if (!text) return 0;
  std::memcpy(mem + text, data, size);
  mem[text + size] = END_OF_TEXT;
  return text;
}

}  // namespace qvfuzz
