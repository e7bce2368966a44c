// The drawing operations on the off-screen picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "host/window.h"
#include "qt_app.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

constexpr QRgb RED = 0xFF0000, GREEN = 0x00FF00, WHITE = 0xFFFFFF;

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
  // An operation on constants of these values (the handlers read the words).
  static u32 op(u32 handler, std::initializer_list<i64> args) {
    std::vector<u32> words;
    for (i64 a : args) words.push_back(ref_of(new_const(TY_INT, u32(a))));
    return handlers[handler](0, reinterpret_cast<const u8*>(words.data()), u32(words.size()));
  }
  QRgb at(int x, int y) const { return picture.toImage().pixel(x, y) & 0xFFFFFF; }
  QRgb pen() const { return painter.pen().color().rgb() & 0xFFFFFF; }
  int lit() const {
    QImage img = picture.toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) != 0;
    return n;
  }
};

}  // namespace

// A point takes the pen (white at first, then what "color" set); components
// above 255 leave the pen as it was, and a pixel with them draws nothing;
// an accepted pixel draws and keeps its colour as the pen.
TEST_F(Draw, PointsPixelsAndThePen) {
  EXPECT_EQ(op(H__drawPoint, {3, 4}), 1u);
  EXPECT_EQ(at(3, 4), WHITE);
  EXPECT_EQ(op(H__setPen, {255, 0, 0}), 1u);
  EXPECT_EQ(op(H__drawPoint, {10, 10}), 1u);
  EXPECT_EQ(at(10, 10), RED);
  for (auto c : {std::vector<i64>{256, 0, 0}, {0, 256, 0}, {0, 0, 0xFFFFFFFF}}) {
    EXPECT_EQ(op(H__setPen, {c[0], c[1], c[2]}), 1u);
    EXPECT_EQ(op(H__drawPixel, {c[0], c[1], c[2], 5, 5}), 1u);
    EXPECT_EQ(pen(), RED) << c[0] << " " << c[1] << " " << c[2];
  }
  EXPECT_EQ(lit(), 2) << "the two points, no refused pixel";
  EXPECT_EQ(op(H__drawPixel, {0, 255, 0, 20, 21}), 1u);
  EXPECT_EQ(at(20, 21), GREEN);
  EXPECT_EQ(op(H__drawPoint, {30, 30}), 1u);
  EXPECT_EQ(at(30, 30), GREEN);
  EXPECT_EQ(lit(), 4);
}

// Drawing off the picture draws nothing and does not fail, also at the
// ends of int (the sanitizer build checks for overflow). Where circles and
// lines fall, and "flush" to the widget: window/xvfb.
TEST_F(Draw, ClippingAndClearall) {
  const i64 lo = INT32_MIN, hi = INT32_MAX;
  for (auto args : {std::vector<i64>{-1, 5}, {480, 5}, {5, 272}, {lo, hi}})
    EXPECT_EQ(op(H__drawPoint, {args[0], args[1]}), 1u);
  for (auto a : {std::vector<i64>{-1, -1, -1, 50}, {lo, lo, hi, hi}})
    EXPECT_EQ(op(H__drawLine, {a[0], a[1], a[2], a[3]}), 1u);
  for (auto c : {std::vector<i64>{240, 136, hi}, {lo, hi, lo}, {hi, hi, hi}, {-hi, 0, hi}})
    EXPECT_EQ(op(H__drawCircle, {c[0], c[1], c[2]}), 1u);
  picture.fill(Qt::black);
  EXPECT_EQ(op(H__drawLine, {-1, -1, -1, 50}), 1u);
  EXPECT_EQ(lit(), 0);
  // "clearall" blackens everything and keeps the pen.
  op(H__setPen, {0, 255, 0});
  op(H__drawLine, {0, 0, 479, 271});
  ASSERT_GT(lit(), 0);
  EXPECT_EQ(op(H__clearall, {}), 1u);
  EXPECT_EQ(lit(), 0);
  EXPECT_EQ(pen(), GREEN);
}
