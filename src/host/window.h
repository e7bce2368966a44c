// The process's window, its off-screen picture and the event pump.
#pragma once

class QPainter;
class QPixmap;
class QWidget;
class QApplication;

#include "window_ops.h"

namespace qv {

extern QWidget* drawwindow;
extern QPainter* display;
extern QPixmap* display_buffer;
extern int alreadyrun;
extern QApplication* _a;

}  // namespace qv

#include <QtGlobal>

namespace qv {
// Start-up helpers of main().
void quiet_messages(QtMsgType type, const QMessageLogContext& ctx, const QString& msg);
// True when the connection to the X display has broken.
bool display_connection_broken();
}  // namespace qv
