// The window library: the application, the window and the first-paint
// start of the driver, and what the rest of qvrun reaches through its
// operation table.
#include "window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "../runtime/final_exit.h"
#include "../runtime/run_requests.h"
#include "../runtime/errmess.h"
#include "../runtime/executor.h"
#include "../runtime/output_check.h"
#include "display_probe.h"
#include "run_end.h"
#include "picture_file.h"
#include "sound.h"
#include "twidget.h"
#include "window_ops.h"

namespace qv {

QWidget* drawwindow = nullptr;
QPainter* display = nullptr;
QPixmap* display_buffer = nullptr;
int alreadyrun = 0;
QApplication* _a = nullptr;
int app_argc = 0;
char** app_argv = nullptr;
// While the application is made at start, on the platform chosen.
static bool starting_toolkit = false;

constexpr int PIC_W = 480, PIC_H = 272;

TWidget::TWidget(QWidget* parent, const char* name, bool open_sound) : QWidget(parent) {
  if (name) setObjectName(QString::fromLatin1(name));
  if (open_sound) winopensound();
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
  qv::run_driver(app_argc, app_argv);
  painter.end();
  display = nullptr;
  display_buffer = nullptr;
  std::puts("\nFinished\n");
  final_exit(flush_stdout_checked() ? 0 : 1);
}

void TWidget::keyPressEvent(QKeyEvent* event) {
  if (event->type() != QEvent::KeyPress) return;
  QByteArray text = event->text().toLatin1();
  key_typed(text.isEmpty() ? 0 : static_cast<signed char>(text.at(0)));
}

// Qt's own warnings are not part of the program's output. The one about
// a broken display connection comes just before the toolkit ends the
// process: the run ends first, with its report.
void quiet_messages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  // The toolkit cannot start on its platform, and would abort the process.
  if (type == QtFatalMsg && starting_toolkit) restart_off_screen(app_argv);
  if (display_lost_message(msg) && qApp && QThread::currentThread() == qApp->thread())
    end_run_now(E_DISPLAY_LOST);
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

namespace {

void pump() {
  // The toolkit ends the process itself when it finds the display gone;
  // the run ends here first, with its report.
  if (!_a) return;
  if (display_connection_broken())
    note_display_lost();
  else
    QApplication::processEvents();
}

// Qt gets only the program name, so that it never takes a QV argument
// for one of its own options.
int qt_argc = 1;

// The drawing widget inside the top-level window; it opens the sound
// input when asked to.
void fill_window(QApplication* app, QWidget* top, bool open_sound) {
  auto* w = new TWidget(top, nullptr, open_sound);
  drawwindow = w;
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, Qt::black);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
  w->resize(480, 272);
  w->move(10, 10);
  top->resize(500, 292);
  watch_window_close(top);
  top->show();
  _a = app;
  process_events_hook = pump_at_block_entry;
  run_end_hook = save_picture_file;
}

int run_with_window(int argc, char** argv) {
  qInstallMessageHandler(quiet_messages);
  app_argc = argc;
  app_argv = argv;
  starting_toolkit = true;
  QApplication app(qt_argc, argv);
  starting_toolkit = false;
  release_display_probe();
  // A platform without a screen (a frame buffer that is not there) would
  // end the process when the window is shown, after the start lines.
  if (!QGuiApplication::primaryScreen()) restart_off_screen(argv);
  QWidget top;
  fill_window(&app, &top, true);
  return app.exec();
}

// The driver is already running: the window gets the picture that the
// first paint would have given it, and the run goes on. The sound input
// is open already.
void open_window(int argc, char** argv) {
  qInstallMessageHandler(quiet_messages);
  app_argc = argc;
  app_argv = argv;
  alreadyrun = 1;
  // Never destroyed: the process ends with the run.
  auto* app = new QApplication(qt_argc, argv);
  release_display_probe();
  auto* picture = new QPixmap(PIC_W, PIC_H);
  auto* painter = new QPainter;
  display = painter;
  display_buffer = picture;
  picture->fill(Qt::black);
  if (!painter->begin(picture)) std::puts("\nerror begining\n");
  painter->setPen(QPen(Qt::white, 0, Qt::SolidLine));
  painter->setBackground(QBrush(Qt::black));
  fill_window(app, new QWidget, false);
}

const WindowOps ops{win_flushDisplay, win_clearall,   win_setPen, win_drawPixel,
                    win_drawPoint,    win_drawLine,   win_drawCircle, pump,
                    run_with_window,  open_window};

// Whoever loads or links the library gets the window with it.
[[maybe_unused]] const bool registered = (window_ops = &ops, true);

}  // namespace

}  // namespace qv
