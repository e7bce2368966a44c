// The drawing operations of the window library: everything paints into the off-screen picture,
// which reaches the window on "flush".
#include <QPainter>
#include <QPixmap>

#include "../runtime/handlers.h"
#include "picture_file.h"
#include "twidget.h"
#include "window.h"
#include "window_ops.h"

namespace qv {

namespace {

i32 arg(const u8* params, unsigned i) { return as_int(P(params, i)->value); }

// Components above 255 leave the pen as it is.
bool set_pen(const u8* params) {
  u32 r = P(params, 0)->value, g = P(params, 1)->value, b = P(params, 2)->value;
  if (r > 255 || g > 255 || b > 255) return false;
  display->setPen(QPen(QColor(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b)), 0,
                       Qt::SolidLine));
  return true;
}

}  // namespace

u32 win_flushDisplay(Ref, const u8*, u32) {
  if (display_buffer && drawwindow)
    static_cast<TWidget*>(drawwindow)->show_picture(display_buffer->copy());
  save_picture_file();
  return 1;
}

u32 win_clearall(Ref, const u8*, u32) {
  if (display) display->fillRect(0, 0, 480, 272, QBrush(Qt::black, Qt::SolidPattern));
  return 1;
}

u32 win_setPen(Ref, const u8* params, u32) {
  if (display) set_pen(params);
  return 1;
}

u32 win_drawPixel(Ref, const u8* params, u32) {
  if (display && set_pen(params)) display->drawPoint(arg(params, 3), arg(params, 4));
  return 1;
}

u32 win_drawPoint(Ref, const u8* params, u32) {
  if (display) display->drawPoint(arg(params, 0), arg(params, 1));
  return 1;
}

u32 win_drawLine(Ref, const u8* params, u32) {
  if (display)
    display->drawLine(arg(params, 0), arg(params, 1), arg(params, 2), arg(params, 3));
  return 1;
}

// The rectangle is given in floating point: the integer one computes its
// right and bottom edges in int, which overflows for large values. Qt turns
// an integer rectangle into this same one before drawing.
u32 win_drawCircle(Ref, const u8* params, u32) {
  const qreal r = arg(params, 2);
  if (display) display->drawEllipse(QRectF(arg(params, 0), arg(params, 1), r, r));
  return 1;
}

}  // namespace qv
