// A save writes "<target>.qvsave-XXXXXX" and renames it into place (a
// picture "<target>.qvpic-XXXXXX"); a process killed on the way (kill -9,
// a stop signal, a power cut) leaves that file behind. The next write of
// the same target removes such files, and only those: the marker in the
// name keeps a user's own "prog.cp.backup" out of reach (six letters after
// the target's name are no sign that qvrun made a file, and a copy of a
// program file even starts as a save does). A writer holds a lock on its
// temporary file while it writes, and the lock dies with its process, so
// a file whose lock can be taken belongs to no running writer.
#include "stale_temps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

namespace qv {

namespace {

constexpr size_t SUFFIX_LEN = 6;  // the X's of mkstemp's template

// "<base><marker>" and six letters or digits, as mkstemp names them.
bool is_temp_of(const char* name, const std::string& base, const char* marker) {
  if (std::strncmp(name, base.c_str(), base.size()) != 0) return false;
  const size_t marked = std::strlen(marker);
  if (std::strncmp(name + base.size(), marker, marked) != 0) return false;
  const char* suffix = name + base.size() + marked;
  if (std::strlen(suffix) != SUFFIX_LEN) return false;
  for (const char* p = suffix; *p; ++p)
    if (!std::isalnum(static_cast<unsigned char>(*p))) return false;
  return true;
}

}  // namespace

void mark_temp_in_use(int fd) { flock(fd, LOCK_EX | LOCK_NB); }

void remove_stale_temps(const char* target, const char* marker) {
  const std::string path = target;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return;
  DIR* d = opendir(dir.c_str());
  if (!d) return;  // the save itself will report what is wrong
  while (const dirent* e = readdir(d)) {
    if (!is_temp_of(e->d_name, base, marker)) continue;
    const std::string candidate = dir + (slash == std::string::npos ? "/" : "") + e->d_name;
    const int fd = open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlink(candidate.c_str());
    close(fd);
  }
  closedir(d);
}

}  // namespace qv
