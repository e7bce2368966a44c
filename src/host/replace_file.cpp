#include "replace_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "stale_temps.h"

namespace qv {

namespace {

sigset_t only_sigpipe() {
  sigset_t s;
  sigemptyset(&s);
  sigaddset(&s, SIGPIPE);
  return s;
}

// mkstemp makes its file private; a user's own files are made with the
// umask's bits.
mode_t user_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

// Without O_NONBLOCK a named pipe that no one reads would hold the open
// for ever; with it such an open fails (ENXIO), and the writes that
// follow wait as usual.
int FileReplacement::open_in_place(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const sigset_t sigpipe = only_sigpipe();
  holding_sigpipe_ = pthread_sigmask(SIG_BLOCK, &sigpipe, &mask_before_) == 0;
  return fd;
}

int FileReplacement::start(const char* target, const char* marker, bool sweep) {
  finish(-1, false);
  target_ = target;
  struct stat st {};
  if (lstat(target, &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(target, nullptr);
    // A link to a file not there yet: opening through it makes the file.
    if (!real) return fd_ = open_in_place(target);
    target_ = real;
    std::free(real);
  }
  if (stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return fd_ = open_in_place(target_.c_str());
  if (sweep) remove_stale_temps(target_.c_str(), marker);
  temp_ = temp_template(target_, marker);
  fd_ = mkstemp(temp_.data());
  if (fd_ < 0) {
    temp_.clear();
    return -1;
  }
  mark_temp_in_use(fd_);
  return fd_;
}

int FileReplacement::finish(int err, bool durable) {
  if (fd_ < 0) return err;
  if (!temp_.empty() && !err &&
      (fchmod(fd_, user_file_mode()) != 0 || (durable && fsync(fd_) != 0)))
    err = errno;
  if (close(fd_) != 0 && !err) err = errno;
  fd_ = -1;
  if (holding_sigpipe_) {
    // The write's own SIGPIPE, if it raised one, is taken here.
    const sigset_t sigpipe = only_sigpipe();
    sigset_t pending;
    const timespec now{};
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE))
      sigtimedwait(&sigpipe, nullptr, &now);
    pthread_sigmask(SIG_SETMASK, &mask_before_, nullptr);
    holding_sigpipe_ = false;
  }
  if (temp_.empty()) return err;
  if (!err && std::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err) unlink(temp_.c_str());
  temp_.clear();
  return err;
}

}  // namespace qv
