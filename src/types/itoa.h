// The integer-to-text routine behind the int and uint text forms and the
// float text form's exponent.
#pragma once

#include "../runtime/qv.h"

namespace qv {

// Writes `value` (negative when is_signed and the sign bit is set) in
// decimal, NUL-terminated. Returns the number of characters written
// (without the NUL). `out` needs 12 bytes.
u32 qv_itoa(u32 value, bool is_signed, char* out);

}  // namespace qv
