// The drawing operations on the off-screen picture, and "flush" to the widget.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "host/twidget.h"
#include "host/window.h"
#include "qt_app.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

class Draw : public testing::Test, WithApp {
 protected:
  QPixmap picture{480, 272};
  QPainter painter;

  void SetUp() override {
    fresh_env();
    picture.fill(Qt::black);
    ASSERT_TRUE(painter.begin(&picture));
    painter.setPen(QPen(Qt::white, 0, Qt::SolidLine));
    display = &painter;
    display_buffer = &picture;
  }
  void TearDown() override {
    painter.end();
    display = nullptr;
    display_buffer = nullptr;
  }

  VarEntry* u(u32 v) { return new_const(TY_UINT, v); }
  VarEntry* i(i32 v) { return new_const(TY_INT, static_cast<u32>(v)); }
  u32 op(u32 handler, std::initializer_list<VarEntry*> params) {
    return call(handler, nullptr, params);
  }
  QRgb at(int x, int y) const { return picture.toImage().pixel(x, y) & 0xFFFFFF; }
  QRgb pen() const { return painter.pen().color().rgb() & 0xFFFFFF; }
  // Lit pixels of the picture.
  std::vector<QPoint> lit() const {
    QImage img = picture.toImage();
    std::vector<QPoint> out;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if ((img.pixel(x, y) & 0xFFFFFF) != 0) out.emplace_back(x, y);
    return out;
  }
};

constexpr QRgb RED = 0xFF0000, GREEN = 0x00FF00, WHITE = 0xFFFFFF, BLACK = 0;

}  // namespace

TEST_F(Draw, PointUsesThePenThatColorSet) {
  EXPECT_EQ(op(H__drawPoint, {i(3), i(4)}), 1u);
  EXPECT_EQ(at(3, 4), WHITE) << "the pen starts white";
  EXPECT_EQ(op(H__setPen, {u(255), u(0), u(0)}), 1u);
  EXPECT_EQ(op(H__drawPoint, {i(10), i(10)}), 1u);
  EXPECT_EQ(at(10, 10), RED);
  EXPECT_EQ(at(11, 10), BLACK);
  EXPECT_EQ(at(10, 11), BLACK);
  EXPECT_EQ(lit().size(), 2u);
}

TEST_F(Draw, ComponentsAbove255LeaveThePenAndStillSucceed) {
  op(H__setPen, {u(255), u(0), u(0)});
  struct Case { u32 handler; u32 r, g, b; } cases[] = {
      {H__setPen, 256, 0, 0}, {H__setPen, 0, 256, 0}, {H__setPen, 0, 0, 0xFFFFFFFF},
      {H__drawPixel, 0, 0, 300}, {H__drawPixel, 1000, 0, 0}};
  for (const Case& c : cases) {
    u32 ok = c.handler == H__setPen ? op(c.handler, {u(c.r), u(c.g), u(c.b)})
                                    : op(c.handler, {u(c.r), u(c.g), u(c.b), u(5), u(5)});
    EXPECT_EQ(ok, 1u);
    EXPECT_EQ(pen(), RED) << c.r << " " << c.g << " " << c.b;
  }
  EXPECT_TRUE(lit().empty()) << "a refused pixel draws nothing";
  // An accepted pixel draws and keeps its colour as the pen.
  EXPECT_EQ(op(H__drawPixel, {u(0), u(255), u(0), u(20), u(21)}), 1u);
  EXPECT_EQ(at(20, 21), GREEN);
  EXPECT_EQ(pen(), GREEN);
  op(H__drawPoint, {i(30), i(30)});
  EXPECT_EQ(at(30, 30), GREEN);
}

TEST_F(Draw, CircleMatchesQtsIntegerEllipseAndTakesExtremeValues) {
  // A circle is the ellipse inscribed in the square of side d at (x, y):
  // the same pixels as Qt's integer ellipse, negative sizes included.
  struct Case { i32 x, y, d; } same[] = {{100, 100, 50}, {3, 4, 1}, {200, 50, -30}, {-20, -20, 60}};
  for (const Case& c : same) {
    picture.fill(Qt::black);
    op(H__drawCircle, {i(c.x), i(c.y), i(c.d)});
    QImage ours = picture.toImage();
    picture.fill(Qt::black);
    painter.drawEllipse(c.x, c.y, c.d, c.d);
    EXPECT_EQ(ours, picture.toImage()) << c.x << " " << c.y << " " << c.d;
  }
  // Edges that do not fit in int: no overflow (the sanitizer build checks).
  const i32 lo = INT32_MIN, hi = INT32_MAX;
  for (Case c : {Case{240, 136, hi}, Case{lo, hi, lo}, Case{hi, hi, hi}, Case{-hi, 0, hi}})
    EXPECT_EQ(op(H__drawCircle, {i(c.x), i(c.y), i(c.d)}), 1u);
  EXPECT_EQ(op(H__drawLine, {i(lo), i(lo), i(hi), i(hi)}), 1u);
  EXPECT_EQ(op(H__drawPoint, {i(lo), i(hi)}), 1u);
}

TEST_F(Draw, LineAndClipping) {
  EXPECT_EQ(op(H__drawLine, {u(0), u(100), u(479), u(100)}), 1u);
  for (int x = 0; x < 480; ++x) ASSERT_EQ(at(x, 100), WHITE) << x;
  EXPECT_EQ(lit().size(), 480u);
  // Off the picture: nothing, and no failure. uint coordinates reach the
  // painter as signed numbers, so 0xFFFFFFFF is -1.
  EXPECT_EQ(op(H__drawPoint, {i(-1), i(5)}), 1u);
  EXPECT_EQ(op(H__drawPoint, {i(480), i(5)}), 1u);
  EXPECT_EQ(op(H__drawPoint, {i(5), i(272)}), 1u);
  EXPECT_EQ(op(H__drawLine, {u(0xFFFFFFFF), u(0xFFFFFFFF), u(0xFFFFFFFF), u(50)}), 1u);
  EXPECT_EQ(lit().size(), 480u);
}

TEST_F(Draw, ClearallBlackensEverythingAndKeepsThePen) {
  op(H__setPen, {u(0), u(255), u(0)});
  op(H__drawLine, {u(0), u(0), u(479), u(271)});
  op(H__drawCircle, {u(100), u(100), u(50)});
  ASSERT_FALSE(lit().empty());
  EXPECT_EQ(op(H__clearall, {}), 1u);
  EXPECT_TRUE(lit().empty());
  EXPECT_EQ(pen(), GREEN);
}

TEST_F(Draw, FlushShowsThePictureInTheWidget) {
  alreadyrun = 1;  // the widget's first paint must not start a driver here
  TWidget w(nullptr, nullptr);
  w.resize(480, 272);
  drawwindow = &w;
  op(H__setPen, {u(255), u(0), u(0)});
  op(H__drawPoint, {i(10), i(10)});
  QImage before = w.grab().toImage();
  EXPECT_NE(before.pixel(10, 10) & 0xFFFFFF, RED) << "nothing reaches the widget before flush";
  EXPECT_EQ(op(H__flushDisplay, {}), 1u);
  QImage after = w.grab().toImage();
  EXPECT_EQ(after.pixel(10, 10) & 0xFFFFFF, RED);
  EXPECT_EQ(after.pixel(11, 10) & 0xFFFFFF, BLACK);
  // Later drawing stays in the picture until the next flush.
  op(H__drawPoint, {i(12), i(10)});
  EXPECT_EQ(w.grab().toImage().pixel(12, 10) & 0xFFFFFF, BLACK);
  drawwindow = nullptr;
  alreadyrun = 0;
}
