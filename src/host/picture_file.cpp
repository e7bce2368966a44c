// The picture as a PNG file, for a drawing seen without a screen: when
// QV_PICTURE names a file, every "flush" and the end of the run write the
// off-screen picture there. Each write goes to a temporary file beside the
// target that is renamed into place, so that a reader never sees half a
// picture (replace_file.h).
#include "picture_file.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "replace_file.h"
#include "stale_temps.h"
#include "window.h"

namespace qv {

namespace {

constexpr const char* PICTURE_VARIABLE = "QV_PICTURE";

bool complained = false;  // a failing target is reported once, not per flush

void complain(const char* path, int err) {
  if (complained) return;
  complained = true;
  // On a line of its own: the progress words before it end without one.
  std::fprintf(stderr, "\nCannot write picture %s: %s\n", path, std::strerror(err ? err : EIO));
}

// 0 or the errno of the failure. The first write of a run removes what
// killed runs' writes left beside the target; the later ones have no
// cause to look.
int write_png(const QImage& image, const char* path) {
  static bool swept = false;
  FileReplacement out;
  const int fd = out.start(path, PICTURE_MARKER, !swept);
  swept = true;
  if (fd < 0) return errno;
  int err = 0;
  {
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.flush())
      err = errno ? errno : EIO;
  }
  return out.finish(err, false);
}

}  // namespace

void save_picture_file() {
  const char* path = std::getenv(PICTURE_VARIABLE);
  if (!path || !*path || !display_buffer) return;
  errno = 0;
  if (int err = write_png(display_buffer->toImage(), path)) complain(path, err);
}

}  // namespace qv
