// Ends of a run that the window system causes: the window closed, the
// display gone.
#pragma once

class QWidget;
class QString;

namespace qv {

// Makes closing `top` end the run at its next event processing.
void watch_window_close(QWidget* top);

// Records that the display connection broke; the run ends at once.
void note_display_lost();

// The executor's event hook: processes events and, when the run must end,
// stops it at the next record.
void pump_at_block_entry();

// True for the toolkit's complaint that the display connection broke,
// after which it ends the process itself.
bool display_lost_message(const QString& msg);

}  // namespace qv
