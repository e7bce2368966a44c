// Writing a file that replaces another as a whole: a program file saved
// with -cp, the picture that QV_PICTURE names. The new content goes to a
// temporary file beside the target, which is renamed over the target once
// complete: a reader never sees half a file, and a failed or interrupted
// write leaves the older file as it was (stale_temps.h).
//
// A symbolic link is followed: the file it names is replaced and the link
// stays a link. A target that is no regular file (a device such as
// /dev/null, a named pipe, a directory) is never replaced, which would
// turn a device into a plain file: it is written in place, or the write
// fails with the reason (a pipe that no one reads, a directory).
#pragma once

#include <csignal>
#include <string>

namespace qv {

class FileReplacement {
 public:
  FileReplacement() = default;
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  ~FileReplacement() { finish(-1, false); }

  // Starts the write of `target`, whose temporary files carry `marker`;
  // `sweep` first removes those that killed writes left. The descriptor
  // to write to, or -1 with errno set.
  int start(const char* target, const char* marker, bool sweep);

  // Ends the write. `err` is 0, or the errno of a write that failed and is
  // discarded. The file becomes readable as any file the user makes, and
  // with `durable` reaches the disk before it replaces the older one.
  // 0, or the errno of what failed.
  int finish(int err, bool durable);

 private:
  int open_in_place(const char* path);

  std::string target_;  // the file replaced, links followed
  std::string temp_;    // the temporary file; empty when written in place
  int fd_ = -1;
  // While a pipe is written in place, SIGPIPE is held back: a reader that
  // goes away fails the write (EPIPE) instead of ending qvrun.
  bool holding_sigpipe_ = false;
  sigset_t mask_before_{};
};

}  // namespace qv
