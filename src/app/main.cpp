// Process entry. With a screen to show it on, or a picture file to write,
// the window comes first, as the toolkit wants it, and the driver runs from
// its first paint. Off screen nobody sees a window: the driver runs at
// once, and the window library loads only for a program that draws, takes
// keys or processes events.
#include <malloc.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver.h"
#include "../runtime/final_exit.h"
#include "../runtime/output_check.h"
#include "../host/display_probe.h"
#include "../host/sound.h"
#include "../host/stop_signals.h"
#include "../host/window_ops.h"

namespace {

int app_argc = 0;
char** app_argv = nullptr;

// The locale that setlocale(category, "") would take: LC_ALL, then the
// category's own variable, then LANG.
const char* user_locale(const char* category) {
  for (const char* name : {"LC_ALL", category, "LANG"})
    if (const char* v = std::getenv(name); v && *v) return v;
  return "C";
}

// Whether the locale named behaves as the "C" locale that every process
// starts in, for what qvrun calls: C.UTF-8 differs only for multibyte
// characters, which qvrun never converts, and has no message catalogues
// (unless LANGUAGE names others).
bool acts_as_c(const char* name) {
  if (std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) return true;
  if (std::strcmp(name, "C.UTF-8") != 0 && std::strcmp(name, "C.utf8") != 0) return false;
  const char* language = std::getenv("LANGUAGE");
  return !language || !*language;
}

bool picture_file_wanted() {
  const char* path = std::getenv("QV_PICTURE");
  return path && *path;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  catch_stop_signals();  // first: before any thread starts
  // The threads that open and read the sound device allocate little: one
  // heap for all spares each of them a heap of its own, a reservation of
  // 64 MB mapped, trimmed and faulted in at every start.
  mallopt(M_ARENA_MAX, 1);
  run_driver = _main;
  end_run_now = end_run_from_outside;
  choose_platform();
  if (argc <= 1) nopars();  // no window needed to say how to call us
  if (!drawing_off_screen() || picture_file_wanted()) {
    start_stop_waiter();
    return load_window_library().run_with_window(argc, argv);
  }
  // The toolkit's application takes the user's locale for every category;
  // what the program's output can depend on here is the categories of the
  // functions that the process calls without a window: character classes
  // and case, the writing and reading of numbers, and the texts of system
  // errors. Loading only those saves the others' files at every start,
  // and a locale that behaves as the one the process starts in is not
  // loaded at all (its files cost about 0.3 ms).
  if (!acts_as_c(user_locale("LC_CTYPE")) || !acts_as_c(user_locale("LC_NUMERIC")) ||
      !acts_as_c(user_locale("LC_MESSAGES"))) {
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_NUMERIC, "");
    std::setlocale(LC_MESSAGES, "");
  }
  winopensound();      // its worker stays to wait for the stop signals...
  start_stop_waiter();  // ...unless the device did not answer in time
  app_argc = argc;
  app_argv = argv;
  before_run_hook = [] {
    if (program_uses_window()) load_window_library().open_window(app_argc, app_argv);
  };
  _main(argc, argv);
  std::puts("\nFinished\n");
  final_exit(flush_stdout_checked() ? 0 : 1);
}
