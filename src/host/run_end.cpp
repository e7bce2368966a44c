// Ends of a run that come from the window system rather than the program:
// the user closes the window, or the display server goes away. Either way
// the program's output so far is kept and the run ends with a report of
// the system's own kind, at the place where it stood.
#include "run_end.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstring>

#include "../runtime/run_requests.h"
#include "../runtime/errmess.h"
#include "../runtime/executor.h"
#include "display_probe.h"
#include "window.h"

namespace qv {

namespace {

// Sees the close of the top-level window. The window still closes: the
// run notices at its next event processing.
class CloseWatch : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close && !run_end_code) run_end_code = E_WINDOW_CLOSED;
    return false;
  }
};

// A window destroyed behind the toolkit's back (a tool that destroys it
// rather than asking it to close) sends only the X server's note of the
// destruction, which the toolkit does not turn into a close.
class DestroyWatch : public QAbstractNativeEventFilter {
 public:
  explicit DestroyWatch(QWidget* top) : top_(top) {}

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t" || run_end_code) return false;
    // xcb's destroy-notify event: its type in the low 7 bits of the first
    // byte, the destroyed window's id at byte 8.
    constexpr std::uint8_t DESTROY_NOTIFY = 17;
    constexpr size_t WINDOW_AT = 8;
    const auto* bytes = static_cast<const std::uint8_t*>(message);
    if ((bytes[0] & 0x7F) != DESTROY_NOTIFY) return false;
    std::uint32_t window;
    std::memcpy(&window, bytes + WINDOW_AT, sizeof window);
    if (top_->testAttribute(Qt::WA_WState_Created) && window == top_->winId())
      run_end_code = E_WINDOW_CLOSED;
    return false;
  }

 private:
  QWidget* top_;
};

}  // namespace

void watch_window_close(QWidget* top) {
  top->installEventFilter(new CloseWatch(top));
  QCoreApplication::instance()->installNativeEventFilter(new DestroyWatch(top));
}

bool display_lost_message(const QString& msg) {
  return msg.contains(QLatin1String("X11 connection broke"));
}

bool display_connection_broken() {
  auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return app && xcb_connection_broken(app->connection());
}

}  // namespace qv
