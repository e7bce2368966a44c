// The picture as a PNG file, for a drawing seen without a screen: when
// QV_PICTURE names a file, every "flush" and the end of the run write the
// off-screen picture there. Each write goes to a temporary file beside the
// target that is renamed into place, so that a reader never sees half a
// picture (replace_file.h).
#include "picture_file.h"

#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// All of `bytes` to fd: 0 or the errno of the failure.
int write_all(int fd, const QByteArray& bytes) {
  const char* p = bytes.constData();
  for (qsizetype left = bytes.size(); left > 0;) {
    const ssize_t n = write(fd, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    p += n;
    left -= n;
  }
  return 0;
}

// 0 or the errno of the failure. The first write of a run removes what
// killed runs' writes left beside the target; the later ones have no
// cause to look. The picture is encoded in memory first: the encoder
// prints its own complaint when a write fails under it, and the failure
// is reported here, once, in qvrun's words.
int write_png(const QImage& image, const char* path) {
  static bool swept = false;
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return ENOMEM;
  }
  FileReplacement out;
  const int fd = out.start(path, PICTURE_MARKER, !swept);
  swept = true;
  if (fd < 0) return errno;
  return out.finish(write_all(fd, bytes), false);
}

}  // namespace

void save_picture_file() {
  const char* path = std::getenv(PICTURE_VARIABLE);
  if (!path || !*path || !display_buffer) return;
  errno = 0;
  if (int err = write_png(display_buffer->toImage(), path)) complain(path, err);
}

}  // namespace qv
