#include "driver.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "../runtime/arena.h"
#include "../runtime/env.h"
#include "../runtime/errmess.h"
#include "../runtime/executor.h"
#include "../runtime/final_exit.h"
#include "../runtime/output_check.h"
#include "../compiler/compiler.h"
#include "../compiler/listing.h"
#include "../host/progfile.h"

namespace qv {

const char* const usage_text =
    "TRELLIMAX TEST\n\nUsage: QVRUN FILENAME.EXT\n\nWhere FILENAME.EXT should be right QV program\n";
std::string ctb = "too large, cannot measure";
std::string cbuff = "is huge value, cannot report";
void (*before_run_hook)() = nullptr;

namespace {

// The run under way, for an end that comes from outside the program.
Ref run_text = 0;
bool run_loaded = false;
// Whether the program has started to run: only a run has an end of its
// own to record (the picture), not a source that did not compile or load.
bool run_started = false;

bool contains(const char* s, const char* part) { return std::strstr(s, part) != nullptr; }

[[noreturn]] void end_process(int status) {
  if (run_started && run_end_hook) run_end_hook();
  flush_stdout_checked();
  final_exit(status);
}

// Line number and start of the line that holds `where`; cuts the text
// after that line.
struct Location { u32 line; Ref line_start; };

Location locate(Ref text, Ref where) {
  Location loc{1, text};
  for (Ref p = text; p < where; ++p)
    if (mem[p] == '\n') { ++loc.line; loc.line_start = p; }
  Ref p = where;
  while (mem[p] != '\n' && mem[p] != END_OF_TEXT && mem[p] != 0) ++p;
  mem[p] = 0;
  return loc;
}

std::string caret_line(long blanks) {
  return std::string(blanks > 0 ? static_cast<size_t>(blanks) : 0, ' ') + "^";
}

std::string printf_string(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string printf_string(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  std::vsnprintf(out.data(), out.size() + 1, fmt, ap2);
  va_end(ap2);
  return out;
}

// True when `where` lies inside the loaded program text.
bool in_text(Ref text, Ref where) {
  if (!text || where < text) return false;
  for (Ref p = text; p <= where; ++p)
    if (mem[p] == END_OF_TEXT && p < where) return false;
  return true;
}

}  // namespace

long clock_ms() {
  return static_cast<long>(static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC);
}

void fatal(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  end_process(1);
}

void nopars() {
  std::fputs(usage_text, stderr);
  end_process(1);
}

Ref load_text(const char* path) {
  // Opened without waiting: a named pipe without a writer would otherwise
  // block here for ever; it is refused below as having no size.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  FILE* f = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (!f) {
    std::perror(path);
    end_process(1);
  }
  // errno is set here for every refusal: whatever an earlier call left in
  // it would otherwise be printed as the reason.
  struct stat st {};
  int refused = 0;
  if (fstat(fileno(f), &st) != 0)
    refused = errno;
  else if (S_ISDIR(st.st_mode))
    refused = EISDIR;
  else if (!S_ISREG(st.st_mode))
    refused = EINVAL;  // a pipe or device has no size to read up to
  else if (st.st_size >= 0x7FFFFFFF)
    refused = EFBIG;
  if (refused) {
    errno = refused;
    std::perror(path);
    end_process(1);
  }
  u32 size = static_cast<u32>(st.st_size);
  Ref text = arena_alloc(size + 1);
  if (!text) {
    std::fputs("No memory\n", stderr);
    end_process(1);
  }
  errno = 0;
  size_t got = size ? std::fread(mem + text, 1, size, f) : 0;
  if (got == 0) {
    if (errno == 0) errno = ENODATA;
    std::perror(path);
    arena_free(text, size + 1);
    end_process(1);
  }
  mem[text + got] = END_OF_TEXT;
  arena_keep(text);  // error reports point into it until the process ends
  std::fclose(f);
  return text;
}

long compl_prog(const char* path, Ref* text) {
  *text = load_text(path);
  if (!cenv_init(200, 200, 200, 200, 2048)) fatal("Cannot initialize compiler environment\n");
  if_c_error = E_NONE;
  std::fputs("\nCompiling... ", stderr);
  long start = clock_ms();
  u32 code = compile(*text);
  if (code) report_error(code, *text);
  long stop = clock_ms();
  if (stop != start)
    ctb = printf_string("%10.2f op/sec", static_cast<double>(copcount) / ((stop - start) / 1000.0));
  return stop - start;
}

void load_compiled(const char* path) {
  if (!cenv_init(200, 200, 200, 200, 2048)) fatal("Cannot initialize environment\n");
  std::fputs("Loading... ", stderr);
  std::fflush(stderr);
  errno = 0;
  if (!load_program(path, 0)) {
    int err = errno;
    const char* why = if_c_error ? error_text(if_c_error) : std::strerror(err);
    fatal(printf_string("Error while loading (%u): %s\nFile: %s\n", static_cast<u32>(err), why,
                         path));
  }
}

std::string format_compile_error(u32 code, Ref text, Ref where) {
  if (!in_text(text, where)) where = text;
  Location loc = locate(text, where);
  const char* line = reinterpret_cast<const char*>(mem + loc.line_start);
  return printf_string("\nError %u (line %u): %s\n%s\n%s\n", code, loc.line, error_text(code),
                       line, caret_line(static_cast<long>(where) - loc.line_start - 1).c_str());
}

std::string format_runtime_error(u32 code, Ref text, Ref where, bool loaded) {
  if (loaded || !in_text(text, where))
    return printf_string("\nRUN-TIME error %u (line %s): %s\n%s\n%s\n", code, "no location",
                         error_text(code), "", "");
  Location loc = locate(text, where);
  const char* line = reinterpret_cast<const char*>(mem + loc.line_start);
  std::string num = std::to_string(loc.line);
  return printf_string("\nRUN-TIME error %u (line %s): %s\n%s\n%s\n", code, num.c_str(),
                       error_text(code), line,
                       caret_line(static_cast<long>(where) - loc.line_start - 2).c_str());
}

void end_run_from_outside(u32 code) {
  last_lexema = 0;
  runtime_error(code, run_text, run_loaded);
}

void report_error(u32 code, Ref text) { fatal(format_compile_error(code, text, last_lexema)); }

void runtime_error(u32 code, Ref text, bool loaded) {
  fatal(format_runtime_error(code, text, last_lexema, loaded));
}

std::string report_time(long start) {
  long now = clock_ms();
  double secs = (now - start) / 1000.0;
  if (now != start)
    cbuff = printf_string("%.2f op/sec", static_cast<double>(_opcount) / secs);
  u32 used = codepage.first - codepage.base;
  u32 per_op = copcount ? static_cast<u32>(used / copcount) : 0;
  return printf_string(
      "\n%llu operations compiled\nAverage compilation speed %s\nCode used %u bytes (about %u "
      "byte/op), %u bytes in code page free\n\nExecution time %.2f sec, \n\n%llu calls, average "
      "call speed %s\n\n",
      static_cast<unsigned long long>(copcount), ctb.c_str(), used, per_op,
      codepage.end - codepage.first, secs, static_cast<unsigned long long>(_opcount),
      cbuff.c_str());
}

int _main(int argc, char** argv) {
  if (argc <= 1) nopars();
  const char* path = argv[1];
  if (contains(path, "-o")) {
    list_funcs();
    return 0;
  }
  bool loaded = contains(path, ".cp");
  bool tracing = false;
  bool save = false;  // "-cp": the compiled program is written next to the source
  if (!loaded) {
    for (int i = 1; i < argc; ++i) {
      if (contains(argv[i], "-t"))
        tracing = true;
      else if (contains(argv[i], "-noptmp"))
        optimtmpvarinit = 0;
      if (i > 1 && contains(argv[i], "-cp")) save = true;
    }
  }
  Ref text = 0;
  if (loaded)
    load_compiled(path);
  else
    compl_prog(path, &text);
  if (save) save_compiled(path);
  run_text = text;
  run_loaded = loaded;
  if (before_run_hook) before_run_hook();
  run_started = true;
  std::fputs("Running...", stderr);
  if (tracing) std::puts("\n");
  long start = loaded ? 0 : clock_ms();
  if (u32 code = execute(tracing ? 1 : 0)) {
    // A stop that the host requested reports its own reason.
    if (code == E_STOP && run_end_code) code = run_end_code;
    runtime_error(code, text, loaded);
  }
  fatal(loaded ? std::string() : report_time(start));
}

}  // namespace qv
