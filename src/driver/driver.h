// The command-line driver: switches, loading or compiling, running, and
// every report the process prints.
#pragma once

#include <string>

#include "final_exit.h"
#include "qv.h"

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
[[noreturn]] void cancel(const std::string& text);

// The report texts, formatted without ending the process (for tests).
std::string format_compile_error(u32 code, Ref text, Ref where);
std::string format_runtime_error(u32 code, Ref text, Ref where, bool loaded);

// Milliseconds of processor time.
long clock_ms();

// A request from outside the program to end the run (its window closed,
// the display gone): the code that the stop it raised reports instead of
// "STOP operation executed". 0 when nothing asked.
extern u32 run_end_code;
// Ends the run at once with a run-time error of `code` and no location,
// from a place that knows no record (the toolkit's own exit path).
[[noreturn]] void end_run_now(u32 code);
// Called once as the process ends, before output is flushed (the host
// writes its picture file here). May be null.
extern void (*run_end_hook)();

// Set by "-cp": the compiled program is written next to the source.
extern bool save_requested;

}  // namespace qv
