// Key presses reaching a QV handler block while the program pumps events.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <memory>

#include "host/twidget.h"
#include "host/window.h"
#include "qt_app.h"
#include "support/qv_test.h"

namespace qv {
extern Ref anykeyevent;
extern signed char keypressed;
extern int keyprocessing;
}  // namespace qv

using namespace qvtest;

namespace {

constexpr Ref KBCODE_TAG = 7;  // position word of the handler's "kbcode" record
TWidget* the_widget = nullptr;

class Keys : public testing::Test, WithApp {
 protected:
  std::unique_ptr<TWidget> widget;
  CodeBuilder cb;
  VarEntry *code = nullptr, *count = nullptr;  // what the handler read with "kbcode"; its runs

  void SetUp() override {
    fresh_env();
    alreadyrun = 1;  // no driver from the widget's first paint
    the_widget = (widget = std::make_unique<TWidget>(nullptr, nullptr)).get();
    _a = &test_app();
    process_events_hook = processevents;
    anykeyevent = keypressed = keyprocessing = 0;
    code = new_var(TY_INT);
    count = new_var(TY_INT);
  }
  void TearDown() override {
    QCoreApplication::removePostedEvents(widget.get());
    widget.reset();
    _execute = _executor;
    _trace_hook = nullptr;
    _a = nullptr;
    process_events_hook = nullptr;
    anykeyevent = doprocesskeys = alreadyrun = _tracing_on = 0;
  }

  void press(int key, const QString& text) {
    QCoreApplication::postEvent(widget.get(),
                                new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
  }
  u32 pump() { return call(H_l_processevents, nullptr, {}); }
  // The code of the run-time error that a pump ends the run with; 0 for none.
  u32 pump_error() {
    try {
      pump();
    } catch (const RunError& e) {
      return e.code;
    }
    return 0;
  }
  i32 kbcode() {
    VarEntry* r = new_temp(TY_INT);
    return call(H_l_kbcode, r, {}), as_int(r->value);
  }
  // A handler of these records; by default it notes the key and counts its run.
  void set_handler(std::initializer_list<u32> handlers = {H_l_kbcode, H_l_inc}) {
    Ref b = cb.begin_block();
    for (u32 h : handlers)
      h == H_l_kbcode ? cb.record(h, ref_of(code), {}, 0, KBCODE_TAG)
                      : h == H_l_inc ? cb.record(h, 0, {ref_of(count)}) : cb.record(h, 0, {});
    cb.end_block();
    ASSERT_EQ(call(H_l_onanykeysetevent, nullptr, {cb.block_slot(b)}), 1u);
  }
};

}  // namespace

// Without a handler a key is dropped; with one, "kbcode" gives the key's
// Latin-1 character sign-extended, 0 for a key without text.
TEST_F(Keys, KeyCodesAreSignExtendedCharacters) {
  press(Qt::Key_A, "a");
  EXPECT_EQ(pump(), 1u);
  EXPECT_EQ(kbcode(), 0);
  set_handler();
  struct Case { int key; QString text; i32 want; } cases[] = {
      {Qt::Key_Eacute, QString(QChar(0xE9)), -23}, {Qt::Key_Left, QString(), 0},
      {Qt::Key_Space, " ", 32}, {Qt::Key_Z, "z", 'z'}};
  u32 runs = 0;
  for (const Case& c : cases) {
    press(c.key, c.text);
    pump();
    EXPECT_EQ(count->value, ++runs);
    EXPECT_EQ(kbcode(), c.want) << c.key;
    EXPECT_EQ(as_int(code->value), c.want) << c.key;
  }
  EXPECT_EQ(keyprocessing, 0);
}

TEST_F(Keys, HandlerRunsOncePerKeyAndKeysDuringItAreLost) {
  set_handler();
  // While the handler for "a" runs, "b" reaches the widget (as it would
  // through the pumping of one of the handler's blocks).
  _execute = _exectrace;
  _tracing_on = 1;
  _trace_hook = [](Ref tag, const u8*, int) {
    if (tag != KBCODE_TAG || keypressed != 'a') return;
    QKeyEvent b(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b");
    QCoreApplication::sendEvent(the_widget, &b);
  };
  press(Qt::Key_A, "a");
  pump();
  EXPECT_EQ(count->value, 1u);
  EXPECT_EQ(kbcode(), 'a');
  // Keys queued one after the other each get their run.
  press(Qt::Key_C, "c");
  press(Qt::Key_D, "d");
  pump();
  EXPECT_EQ(count->value, 3u);
  EXPECT_EQ(kbcode(), 'd');
}

// A "break" stays in the handler; an error ends the run after the pump,
// and the next pump is an ordinary one.
TEST_F(Keys, BreakStaysInTheHandlerAndAnErrorEndsTheRun) {
  set_handler({H_l_inc, H_l_break});
  brk_level = 0;
  press(Qt::Key_A, "a");
  pump();
  EXPECT_EQ(count->value, 1u);
  EXPECT_EQ(brk_level, 0);
  set_handler({H_NONE});  // a record that always fails
  press(Qt::Key_A, "a");
  EXPECT_EQ(pump_error(), 71u);
  EXPECT_EQ(keyprocessing, 0);
  EXPECT_NO_THROW(pump());
}

// Events are processed as blocks start, also while the program leaves a
// block with a level pending: the handler runs to its end all the same,
// and the program's level outlives it.
TEST_F(Keys, APendingLevelWaitsForTheHandler) {
  set_handler({H_l_inc, H_l_inc});
  brk_level = 1;
  cont_level = 2;
  press(Qt::Key_A, "a");
  pump();
  EXPECT_EQ(count->value, 2u);
  EXPECT_EQ(brk_level, 1);
  EXPECT_EQ(cont_level, 2);
  brk_level = cont_level = 0;
}

// A handler whose variable no longer holds a block (the block that
// declared it has ended) ends the run with 60 at the next pump, leaving
// the program's levels as they were.
TEST_F(Keys, AHandlerThatCannotStartEndsTheRun) {
  set_handler();
  S(anykeyevent)->flags |= V_EMPTY;
  brk_level = 0;
  press(Qt::Key_A, "a");
  EXPECT_EQ(pump_error(), 60u);
  EXPECT_EQ(brk_level, 0);
  EXPECT_EQ(keyprocessing, 0);
}

// With automatic processing on, every block start lets a pending key through.
TEST_F(Keys, AutomaticProcessingAtEveryBlockStart) {
  set_handler();
  VarEntry* program = cb.block_slot(cb.begin_block());
  cb.end_block();
  press(Qt::Key_A, "a");
  _execute = _exectrace;  // tracing enters blocks the slow way too
  _tracing_on = 1;
  ASSERT_EQ(call(H_l_bl_exec, nullptr, {program}), 1u);
  EXPECT_EQ(count->value, 0u) << "off: the key waits";
  ASSERT_EQ(call(H_l_processevents, new_temp(TY_BOOL), {new_const(TY_BOOL, 1)}), 1u);
  EXPECT_EQ(count->value, 0u) << "switching it on processes nothing itself";
  ASSERT_EQ(call(H_l_bl_exec, nullptr, {program}), 1u);
  EXPECT_EQ(count->value, 1u);
}
