// The last flush of standard output, with a report of lost output.
#pragma once

namespace qv {

// Flushes standard output. When it or any earlier write to it failed,
// prints "\nError writing standard output: <reason>" on standard error and
// returns false.
bool flush_stdout_checked();

}  // namespace qv
