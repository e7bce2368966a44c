#pragma once

#include "qv.h"

namespace qv {

constexpr u32 ERRMESS_COUNT = 78;
extern const char* const errmess[ERRMESS_COUNT];

// The message of a code; codes outside the catalogue read as code 1's.
const char* error_text(u32 code);

}  // namespace qv
