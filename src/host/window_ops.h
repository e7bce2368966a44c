// The window library (libqvwindow.so) and the rest of qvrun. The toolkit
// costs most of a short run's time just to load, so a run that has no
// screen to show a window on and whose program neither draws nor takes
// keys never loads it. The drawing operations and the event pump reach the
// window through the table below, which the library fills in as it loads.
#pragma once

#include "../runtime/qv.h"

namespace qv {

struct WindowOps {
  OpHandler flush, clearall, set_pen, draw_pixel, draw_point, draw_line, draw_circle;
  // Delivers pending window-system events once.
  void (*pump)();
  // The process with its window from the start: creates the application
  // and the window, and runs the driver from the first paint. Never returns.
  int (*run_with_window)(int argc, char** argv);
  // Creates the application and the window for a run that started
  // without them, once its program is compiled or loaded.
  void (*open_window)(int argc, char** argv);
};

// Null until the window library is loaded (or linked in).
extern const WindowOps* window_ops;

// Loads the window library that lies next to the executable, once. Ends
// the process with a message when it cannot be loaded.
const WindowOps& load_window_library();

// True when the program in the code page draws, processes events or sets
// a key handler: the operations that need the window.
bool program_uses_window();

// Delivers pending window-system events once, when the window is there;
// first shows what the program printed.
void processevents();

// Runs the key handler for a key typed into the window (0 for a key
// without text).
void key_typed(signed char key);

// The drawing operations, as the window library implements them.
u32 win_flushDisplay(Ref result, const u8* params, u32 count);
u32 win_clearall(Ref result, const u8* params, u32 count);
u32 win_setPen(Ref result, const u8* params, u32 count);
u32 win_drawPixel(Ref result, const u8* params, u32 count);
u32 win_drawPoint(Ref result, const u8* params, u32 count);
u32 win_drawLine(Ref result, const u8* params, u32 count);
u32 win_drawCircle(Ref result, const u8* params, u32 count);

}  // namespace qv
