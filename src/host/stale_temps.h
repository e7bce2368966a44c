// Temporary files of an atomic save ("<target>.XXXXXX") that a killed
// save left behind.
#pragma once

namespace qv {

// Holds the temporary file `fd` as in use for as long as it stays open.
void mark_temp_in_use(int fd);

// Deletes the temporary files of `target` that no running save holds.
void remove_stale_temps(const char* target);

}  // namespace qv
