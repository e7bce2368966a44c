// The drawing widget: runs the driver once the window is first painted and
// takes the keys that reach a QV program's key handler.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace qv {

class TWidget : public QWidget {
 public:
  // open_sound: opens the sound input, as the window made at start does.
  TWidget(QWidget* parent, const char* name, bool open_sound = true);

  // Puts the off-screen picture on the screen ("flush").
  void show_picture(const QPixmap& picture);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void run_driver();
  QPixmap shown_;  // what the last "flush" put on the screen
};

// Command line of the process, for the driver.
extern int app_argc;
extern char** app_argv;

}  // namespace qv
