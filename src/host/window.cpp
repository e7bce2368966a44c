// Process entry, the window and the first-paint start of the driver.
#include "window.h"

#include <QApplication>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "../driver/driver.h"
#include "../driver/errmess.h"
#include "../driver/executor.h"
#include "../driver/output_check.h"
#include "run_end.h"
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
  final_exit(flush_stdout_checked() ? 0 : 1);
}

// Qt's own warnings are not part of the program's output. The one about
// a broken display connection comes just before the toolkit ends the
// process: the run ends first, with its report.
void quiet_messages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (display_lost_message(msg) && QThread::currentThread() == qApp->thread())
    end_run_now(E_DISPLAY_LOST);
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

}  // namespace qv
