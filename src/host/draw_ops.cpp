// The drawing operations as the program calls them: they go to the window
// library. Without the window there is no picture, and they do what they
// do on a run with no picture: nothing, successfully.
#include "../runtime/handlers.h"
#include "window_ops.h"

namespace qv {

const WindowOps* window_ops = nullptr;

u32 _flushDisplay(Ref r, const u8* p, u32 n) { return window_ops ? window_ops->flush(r, p, n) : 1; }
u32 _clearall(Ref r, const u8* p, u32 n) { return window_ops ? window_ops->clearall(r, p, n) : 1; }
u32 _setPen(Ref r, const u8* p, u32 n) { return window_ops ? window_ops->set_pen(r, p, n) : 1; }
u32 _drawPixel(Ref r, const u8* p, u32 n) {
  return window_ops ? window_ops->draw_pixel(r, p, n) : 1;
}
u32 _drawPoint(Ref r, const u8* p, u32 n) {
  return window_ops ? window_ops->draw_point(r, p, n) : 1;
}
u32 _drawLine(Ref r, const u8* p, u32 n) { return window_ops ? window_ops->draw_line(r, p, n) : 1; }
u32 _drawCircle(Ref r, const u8* p, u32 n) {
  return window_ops ? window_ops->draw_circle(r, p, n) : 1;
}

}  // namespace qv
