// Temporary files of an atomic save ("<target>.qvsave-XXXXXX") that a
// killed save left behind.
#pragma once

namespace qv {

// What a save's temporary file is named after its target, before mkstemp's
// six characters.
inline constexpr const char* TEMP_MARKER = ".qvsave-";

// Holds the temporary file `fd` as in use for as long as it stays open.
void mark_temp_in_use(int fd);

// Deletes the temporary files of `target` that no running save holds.
void remove_stale_temps(const char* target);

}  // namespace qv
