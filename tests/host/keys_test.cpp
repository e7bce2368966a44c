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
  VarEntry* code = nullptr;   // what the handler read with "kbcode"
  VarEntry* count = nullptr;  // how often the handler ran

  void SetUp() override {
    fresh_env();
    alreadyrun = 1;  // no driver from the widget's first paint
    widget = std::make_unique<TWidget>(nullptr, nullptr);
    the_widget = widget.get();
    _a = &test_app();
    process_events_hook = processevents;
    anykeyevent = 0;
    keypressed = 0;
    keyprocessing = 0;
    code = new_var(TY_INT);
    count = new_var(TY_INT);
  }
  void TearDown() override {
    QCoreApplication::removePostedEvents(widget.get());
    widget.reset();
    the_widget = nullptr;
    _execute = _executor;
    _tracing_on = 0;
    _trace_hook = nullptr;
    _a = nullptr;
    process_events_hook = nullptr;
    anykeyevent = 0;
    doprocesskeys = 0;
    alreadyrun = 0;
  }

  void press(int key, const QString& text) {
    QCoreApplication::postEvent(widget.get(),
                                new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
  }
  u32 pump() { return call(H_l_processevents, nullptr, {}); }
  i32 kbcode() {
    VarEntry* r = new_temp(TY_INT);
    call(H_l_kbcode, r, {});
    return as_int(r->value);
  }

  // The usual handler: note the key and count the run.
  VarEntry* counting_handler() {
    Ref b = cb.begin_block();
    cb.record(H_l_kbcode, ref_of(code), {}, 0, KBCODE_TAG);
    cb.record(H_l_inc, 0, {ref_of(count)});
    cb.end_block();
    return cb.block_slot(b);
  }
  void set_handler(VarEntry* block) { ASSERT_EQ(call(H_l_onanykeysetevent, nullptr, {block}), 1u); }
};

}  // namespace

TEST_F(Keys, WithoutHandlerKeysAreDropped) {
  press(Qt::Key_A, "a");
  EXPECT_EQ(pump(), 1u);
  EXPECT_EQ(keypressed, 0);
  EXPECT_EQ(kbcode(), 0);
  EXPECT_EQ(keyprocessing, 0);
}

TEST_F(Keys, HandlerRunsOncePerKeyAndKeysDuringItAreLost) {
  set_handler(counting_handler());
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
  EXPECT_EQ(code->value, u32{'a'});
  EXPECT_EQ(kbcode(), 'a');
  EXPECT_EQ(keyprocessing, 0);
  // Keys queued one after the other each get their run.
  press(Qt::Key_C, "c");
  press(Qt::Key_D, "d");
  pump();
  EXPECT_EQ(count->value, 3u);
  EXPECT_EQ(kbcode(), 'd');
}

TEST_F(Keys, KeyCodesAreSignExtendedCharacters) {
  set_handler(counting_handler());
  struct Case { int key; QString text; i32 want; } cases[] = {
      {Qt::Key_Eacute, QString(QChar(0xE9)), -23},
      {Qt::Key_Left, QString(), 0},
      {Qt::Key_Space, " ", 32},
      {Qt::Key_Z, "z", 'z'}};
  u32 runs = 0;
  for (const Case& c : cases) {
    press(c.key, c.text);
    pump();
    EXPECT_EQ(count->value, ++runs);
    EXPECT_EQ(kbcode(), c.want) << c.key;
    EXPECT_EQ(as_int(code->value), c.want) << c.key;
  }
}

TEST_F(Keys, BreakInTheHandlerDoesNotReachTheProgram) {
  Ref b = cb.begin_block();
  cb.record(H_l_inc, 0, {ref_of(count)});
  cb.record(H_l_break, 0, {});
  cb.end_block();
  set_handler(cb.block_slot(b));
  brk_level = 0;
  press(Qt::Key_A, "a");
  pump();
  EXPECT_EQ(count->value, 1u);
  EXPECT_EQ(brk_level, 0);
}

TEST_F(Keys, ErrorInTheHandlerEndsTheRunAfterThePump) {
  Ref b = cb.begin_block();
  cb.record(H_NONE, 0, {});  // a record that always fails
  cb.end_block();
  set_handler(cb.block_slot(b));
  press(Qt::Key_A, "a");
  u32 code_seen = 0;
  try {
    pump();
  } catch (const RunError& e) {
    code_seen = e.code;
  }
  EXPECT_EQ(code_seen, 71u);
  EXPECT_EQ(keyprocessing, 0);
  // The error is gone with the throw: the next pump is an ordinary one.
  EXPECT_NO_THROW(pump());
}

// With automatic processing on, every block start lets a pending key through.
TEST_F(Keys, AutomaticProcessingAtEveryBlockStart) {
  set_handler(counting_handler());
  Ref b = cb.begin_block();
  cb.end_block();
  VarEntry* program = cb.block_slot(b);
  press(Qt::Key_A, "a");
  ASSERT_EQ(call(H_l_bl_exec, nullptr, {program}), 1u);
  EXPECT_EQ(count->value, 0u) << "off: the key waits";
  ASSERT_EQ(call(H_l_processevents, new_temp(TY_BOOL), {new_const(TY_BOOL, 1)}), 1u);
  EXPECT_EQ(count->value, 0u) << "switching it on processes nothing itself";
  ASSERT_EQ(call(H_l_bl_exec, nullptr, {program}), 1u);
  EXPECT_EQ(count->value, 1u);
}
