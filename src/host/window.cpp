// Process entry, the window and the first-paint start of the driver.
#include "window.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "../driver/driver.h"
#include "../driver/executor.h"
#include "sound.h"
#include "twidget.h"

namespace qv {

QWidget* drawwindow = nullptr;
QPainter* display = nullptr;
QPixmap* display_buffer = nullptr;
int alreadyrun = 0;
QApplication* _a = nullptr;
int app_argc = 0;
char** app_argv = nullptr;

constexpr int PIC_W = 480, PIC_H = 272;

TWidget::TWidget(QWidget* parent, const char* name) : QWidget(parent) {
  if (name) setObjectName(QString::fromLatin1(name));
  __winopensound();
  setFocusPolicy(Qt::StrongFocus);
}

void TWidget::show_picture(const QPixmap& picture) {
  shown_ = picture;
  repaint();
}

// Qt 6 paints only inside paint events, so the picture that "flush" copied
// is drawn here; the driver itself starts from the event loop right after
// the first paint, not inside it, so that "flush" can repaint at once.
void TWidget::paintEvent(QPaintEvent*) {
  if (!shown_.isNull()) {
    QPainter p(this);
    p.drawPixmap(0, 0, shown_);
  }
  if (alreadyrun) return;
  alreadyrun = 1;
  QTimer::singleShot(0, this, [this] { run_driver(); });
}

void TWidget::run_driver() {
  QPainter painter;
  QPixmap picture(PIC_W, PIC_H);
  display = &painter;
  display_buffer = &picture;
  picture.fill(Qt::black);
  if (!painter.begin(&picture)) std::puts("\nerror begining\n");
  painter.setPen(QPen(Qt::white, 0, Qt::SolidLine));
  painter.setBackground(QBrush(Qt::black));
  _main(app_argc, app_argv);
  painter.end();
  display = nullptr;
  display_buffer = nullptr;
  std::puts("\nFinished\n");
  final_exit(0);
}

// Qt's own warnings are not part of the program's output.
void quiet_messages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

// Without a display server, draw off screen so qvrun still runs.
void choose_platform() {
  if (std::getenv("QT_QPA_PLATFORM")) return;
  const char* x11 = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  if ((x11 && *x11) || (wl && *wl)) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace qv
