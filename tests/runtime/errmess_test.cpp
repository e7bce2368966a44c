// The error catalogue: every code has its message at its number, and codes
// outside it read as code 1.
#include <gtest/gtest.h>

#include "runtime/errcodes.h"
#include "runtime/errmess.h"

using namespace qv;

TEST(ErrorCatalogue, EveryCodeHasItsMessage) {
  EXPECT_STREQ(error_text(E_NONE), "");
  for (u32 code = 1; code < E_COUNT; ++code) EXPECT_TRUE(errmess[code] && *errmess[code]) << code;
  EXPECT_EQ(E_DISPLAY_LOST + 1u, ERRMESS_COUNT);
  EXPECT_STREQ(error_text(E_NAME_NOT_FOUND), "Name not found in desired table");
  EXPECT_STREQ(error_text(E_TOO_MANY_PARAMS), "Too many parameters");
  EXPECT_STREQ(error_text(E_COUNT), error_text(E_NO_MEMORY));
  EXPECT_STREQ(error_text(0xFFFFFFFFu), "Not enougth memory or error unknown");
}
