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

#include <climits>
#include <cctype>
#include <cstring>
#include <string>

namespace qv {

namespace {

constexpr size_t SUFFIX_LEN = 6;  // the X's of mkstemp's template

// The start of the temporary files' names of a target named `name`: the
// name, cut short to leave room for the marker and mkstemp's letters.
std::string temp_base(const std::string& name, const char* marker) {
  const size_t room = NAME_MAX - std::strlen(marker) - SUFFIX_LEN;
  return name.substr(0, room);
}

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

std::string temp_template(const std::string& target, const char* marker) {
  const size_t slash = target.rfind('/');
  const size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  return target.substr(0, name_at) + temp_base(target.substr(name_at), marker) + marker +
         std::string(SUFFIX_LEN, 'X');
}

void mark_temp_in_use(int fd) { flock(fd, LOCK_EX | LOCK_NB); }

void remove_stale_temps(const char* target, const char* marker) {
  const std::string path = target;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return;
  const std::string base = temp_base(name, marker);
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
