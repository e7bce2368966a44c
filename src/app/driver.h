// The command-line driver: switches, loading or compiling, running, and
// every report the process prints.
#pragma once

#include <string>

#include "../runtime/final_exit.h"
#include "../runtime/run_requests.h"
#include "../runtime/qv.h"

namespace qv {

constexpr u8 END_OF_TEXT = 0x1A;

extern const char* const usage_text;
extern std::string ctb;    // compilation speed text
extern std::string cbuff;  // call speed text

int _main(int argc, char** argv);
[[noreturn]] void nopars();
Ref load_text(const char* path);
long compl_prog(const char* path, Ref* text);
void load_compiled(const char* path);
[[noreturn]] void report_error(u32 code, Ref text);
[[noreturn]] void runtime_error(u32 code, Ref text, bool loaded);
std::string report_time(long start);
[[noreturn]] void fatal(const std::string& text);

// The report texts, formatted without ending the process (for tests).
std::string format_compile_error(u32 code, Ref text, Ref where);
std::string format_runtime_error(u32 code, Ref text, Ref where, bool loaded);

// Milliseconds of processor time.
long clock_ms();

// Ends the run at once with a run-time error of `code` and no location
// (lent to the host as end_run_now).
[[noreturn]] void end_run_from_outside(u32 code);
// Called once the program is compiled or loaded, just before it runs (the
// host loads the window here for a program that needs it). May be null.
extern void (*before_run_hook)();

}  // namespace qv
