// Which display the window goes to, decided before the toolkit loads.
#pragma once

namespace qv {

// Picks the toolkit's platform: off screen, with one line on standard
// error, when the display that the environment names cannot be opened.
void choose_platform();

// True when the toolkit will draw off screen, where no one sees a window.
bool drawing_off_screen();

// True when the X connection (an xcb_connection_t) has broken.
bool xcb_connection_broken(void* connection);

}  // namespace qv
