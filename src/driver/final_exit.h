// The one way the process ends.
#pragma once

namespace qv {

// Flushes the standard streams and ends the process with `status`, without
// running destructors: the driver may end it from deep inside a paint event
// whose Qt objects must not be torn down under it. The sanitizer build
// first releases every value the run still holds and checks for leaks: a
// live arena block that no table owns, or heap memory nothing refers to,
// is reported and turns the status into 23.
[[noreturn]] void final_exit(int status);

}  // namespace qv
