// Compiled-program files: the code and data sections of a compiled program.
#pragma once

#include "../runtime/qv.h"

namespace qv {

// Writes the compiled program to `path`. 1 on success; 0 on failure with
// errno (or if_c_error) telling why.
u32 save_program(const char* path);

// Loads a compiled program into freshly initialised tables. Non-zero on
// success; 0 with if_c_error set (or 0 and errno) on failure.
u32 load_program(const char* path, int mode);

// Writes the program just compiled from `source_path` next to it, with the
// extension ".cp"; a file that cannot be written ends the process.
void save_compiled(const char* source_path);

}  // namespace qv
