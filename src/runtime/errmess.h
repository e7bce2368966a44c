#pragma once

#include "errcodes.h"
#include "qv.h"

namespace qv {

// One message for each code of errcodes.h, at the code's index.
constexpr u32 ERRMESS_COUNT = E_COUNT;
extern const char* const errmess[ERRMESS_COUNT];

// The message of a code; codes outside the catalogue read as code 1's.
const char* error_text(u32 code);

}  // namespace qv
