// Temporary files of an atomic write ("<target><marker>XXXXXX") that a
// killed process left behind.
#pragma once

#include <string>

namespace qv {

// What a temporary file is named after its target, before mkstemp's six
// characters: a program file's save, a picture's write.
inline constexpr const char* SAVE_MARKER = ".qvsave-";
inline constexpr const char* PICTURE_MARKER = ".qvpic-";

// mkstemp's template for a temporary file of `target`:
// "<target><marker>XXXXXX", the target's own name cut short where the
// whole would be longer than a file's name may be.
std::string temp_template(const std::string& target, const char* marker);

// Holds the temporary file `fd` as in use for as long as it stays open.
void mark_temp_in_use(int fd);

// Deletes the temporary files of `target` with `marker` that no running
// process holds.
void remove_stale_temps(const char* target, const char* marker);

}  // namespace qv
