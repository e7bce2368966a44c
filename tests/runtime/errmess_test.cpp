// The error catalogue: every named code has its message, at its number.
#include <gtest/gtest.h>

#include <string>

#include "runtime/errcodes.h"
#include "runtime/errmess.h"

using namespace qv;

TEST(ErrorCatalogue, EveryCodeHasAMessage) {
  EXPECT_STREQ(error_text(E_NONE), "");
  for (u32 code = 1; code < E_COUNT; ++code) {
    ASSERT_NE(errmess[code], nullptr) << code;
    EXPECT_NE(std::string(errmess[code]), "") << code;
  }
}

// Names and numbers that users see in reports and tests pin.
TEST(ErrorCatalogue, NamesMeetTheirMessages) {
  EXPECT_STREQ(error_text(E_NO_MEMORY), "Not enougth memory or error unknown");
  EXPECT_STREQ(error_text(E_PARSTACK), "Block parameters stack overflow");
  EXPECT_STREQ(error_text(E_BAD_TYPE), "Not an allowed type for operation");
  EXPECT_STREQ(error_text(E_STOP), "STOP operation executed");
  EXPECT_STREQ(error_text(E_INDEX_BRACE), "Index brace ] expected");
  EXPECT_STREQ(error_text(E_NESTING), "Too deeply nested calls");
  EXPECT_STREQ(error_text(E_NOT_INIT), "Variable or array not initialized");
  EXPECT_STREQ(error_text(E_PROG_LABEL), "Bad program label");
  EXPECT_STREQ(error_text(E_TOO_MANY_DATA), "Too many datas");
  EXPECT_STREQ(error_text(E_MUST_RETURN), "Function must return value");
  EXPECT_STREQ(error_text(E_WINDOW_CLOSED), "Window closed, run stopped");
  EXPECT_STREQ(error_text(E_DISPLAY_LOST), "Display connection lost");
  EXPECT_EQ(E_DISPLAY_LOST + 1u, ERRMESS_COUNT);
}

TEST(ErrorCatalogue, CodesOutsideReadAsCodeOne) {
  EXPECT_STREQ(error_text(E_COUNT), error_text(E_NO_MEMORY));
  EXPECT_STREQ(error_text(0xFFFFFFFFu), error_text(E_NO_MEMORY));
}
