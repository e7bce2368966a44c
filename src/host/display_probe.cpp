// Which display the window goes to. The toolkit aborts the process when
// the display that the environment names cannot be opened, so the display
// is tried here first, and a dead one means drawing off screen, as with
// no display at all. libxcb is loaded at run time: the toolkit's X plugin
// uses it anyway, and qvrun does not need it to build or to run off screen.
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display_probe.h"

namespace qv {

namespace {

// The three calls of libxcb that the probe needs.
struct Xcb {
  void* (*connect)(const char* name, int* screen) = nullptr;
  int (*has_error)(void* connection) = nullptr;
  void (*disconnect)(void* connection) = nullptr;
};

const Xcb* xcb() {
  static const Xcb loaded = [] {
    Xcb x;
    void* lib = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!lib) return x;
    x.connect = reinterpret_cast<decltype(x.connect)>(dlsym(lib, "xcb_connect"));
    x.has_error = reinterpret_cast<decltype(x.has_error)>(dlsym(lib, "xcb_connection_has_error"));
    x.disconnect = reinterpret_cast<decltype(x.disconnect)>(dlsym(lib, "xcb_disconnect"));
    if (!x.connect || !x.has_error || !x.disconnect) x = Xcb{};
    return x;
  }();
  return loaded.connect ? &loaded : nullptr;
}

// An X server resets when its last client leaves, and refuses connections
// for a moment while it does (a virtual server that other programs come and
// go on, in a test run, which a loaded machine makes slower): a refusal is
// tried again a few times, over about 300 ms, before the display counts as
// dead.
constexpr int X_RETRIES = 5;
constexpr useconds_t X_FIRST_PAUSE_US = 10000;  // doubled at each retry

// The probe's connection stays open until the toolkit has its own, so that
// the probe leaving does not itself reset the server under the toolkit.
void* probe_connection = nullptr;

bool x_display_opens(const char* name) {
  const Xcb* x = xcb();
  if (!x) return false;
  for (int retry = 0;; ++retry) {
    void* c = x->connect(name, nullptr);
    if (c && x->has_error(c) == 0) {
      probe_connection = c;
      return true;
    }
    if (c) x->disconnect(c);
    if (retry == X_RETRIES) return false;
    usleep(X_FIRST_PAUSE_US << retry);
  }
}

// A Wayland display is a socket, named absolutely or inside the user's
// runtime folder; a compositor is there when the socket accepts.
bool wayland_display_opens(const char* name) {
  std::string path = name;
  if (path.empty() || path[0] != '/') {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir) return false;
    path = std::string(dir) + "/" + path;
  }
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

bool named(const char* v) { return v && *v; }

void say_display_unusable(const char* name) {
  std::fprintf(stderr, "Cannot open display %s, drawing off screen\n", name);
}

}  // namespace

void choose_platform() {
  // The user's own choice; an empty one is no choice, which the toolkit
  // would read as its own default.
  if (named(std::getenv("QT_QPA_PLATFORM"))) return;
  unsetenv("QT_QPA_PLATFORM");
  const char* x11 = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  if (named(wl) && wayland_display_opens(wl)) return;
  if (named(x11) && x_display_opens(x11)) {
    // Not the dead Wayland display, which the toolkit would try first.
    if (named(wl)) setenv("QT_QPA_PLATFORM", "xcb", 1);
    return;
  }
  if (named(x11) || named(wl))
    say_display_unusable(named(x11) ? x11 : wl);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void release_display_probe() {
  if (!probe_connection) return;
  xcb()->disconnect(probe_connection);
  probe_connection = nullptr;
}

bool drawing_off_screen() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform && std::strcmp(platform, "offscreen") == 0;
}

void restart_off_screen(char** argv) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const char* x11 = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  if (named(platform))
    std::fprintf(stderr, "Cannot start window platform %s, drawing off screen\n", platform);
  else
    say_display_unusable(named(wl) ? wl : named(x11) ? x11 : "");
  if (!drawing_off_screen()) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::fflush(nullptr);
    execv("/proc/self/exe", argv);
    std::perror("qvrun");
  }
  _exit(1);
}

bool xcb_connection_broken(void* connection) {
  const Xcb* x = xcb();
  return x && connection && x->has_error(connection) != 0;
}

}  // namespace qv
