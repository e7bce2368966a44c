#pragma once

#include "qv.h"

namespace qv {

constexpr u32 ERRMESS_COUNT = 80;

// The run ends because its window was closed, or because the display
// server went away.
constexpr u32 E_WINDOW_CLOSED = 78;
constexpr u32 E_DISPLAY_LOST = 79;
extern const char* const errmess[ERRMESS_COUNT];

// The message of a code; codes outside the catalogue read as code 1's.
const char* error_text(u32 code);

}  // namespace qv
