// The process's window, its off-screen picture and the event pump.
#pragma once

class QPainter;
class QPixmap;
class QWidget;
class QApplication;

namespace qv {

extern QWidget* drawwindow;
extern QPainter* display;
extern QPixmap* display_buffer;
extern int alreadyrun;
extern QApplication* _a;

// Delivers pending window-system events once.
void processevents();

}  // namespace qv

#include <QtGlobal>

namespace qv {
// Start-up helpers of main().
void quiet_messages(QtMsgType type, const QMessageLogContext& ctx, const QString& msg);
void choose_platform();
}  // namespace qv
