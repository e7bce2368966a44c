// Which display the window goes to, decided before the toolkit loads.
#pragma once

namespace qv {

// Picks the toolkit's platform: off screen, with one line on standard
// error, when the display that the environment names cannot be opened.
void choose_platform();

// Closes the connection by which choose_platform found the X display
// usable, once the toolkit has its own.
void release_display_probe();

// True when the toolkit will draw off screen, where no one sees a window.
bool drawing_off_screen();

// The toolkit could not start on the platform chosen (a platform the user
// named that is missing or cannot work here, a display that failed after
// all): qvrun starts again, from the same arguments, off screen, with one
// line on standard error. Nothing of the run has happened yet. Off screen
// already, there is nothing to fall back on: the line, and exit status 1.
[[noreturn]] void restart_off_screen(char** argv);

// True when the X connection (an xcb_connection_t) has broken.
bool xcb_connection_broken(void* connection);

}  // namespace qv
