// The array checks of "getsignal" and "getfft", which come before any
// recording: with the device closed, arrays that pass them reach the
// recording and fail there instead. The programs under sound/ run the real
// capture path end to end (samples, spectra, and the common refusals).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/sound.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

// An array variable of n uint elements, all holding 7.
VarEntry* new_array(u32 n) {
  VarEntry* v = new_var(TY_UINT);
  Ref head = arena_calloc(sizeof(ArrHead));
  Ref data = arena_calloc((n + 1) * 12);
  *at<ArrHead>(head) = ArrHead{data, data, data + n * 12, data + n * 12, 12, 0};
  for (u32 i = 0; i < n; ++i) *S(data + 12 * i) = VarEntry{7, TY_UINT, V_ELEM};
  v->value = head;
  v->flags = V_ARRAY;
  return v;
}

const std::string NOT_ARRAYS = "\n2 arrays must be given for signal values\n\n";
const std::string BAD_SIZE =
    "\nArrays for signal must have power of 2 integers\n"
    "and be the same size not more than 2^16 entries for signal or 2^14 for FFT\n\n";
const std::string RECORDING = "Can't get sound data\n";

// A refusal prints its diagnostic and fails with code 0, which the run
// reports as 1; the arrays keep their values.
TEST(Sound, ArrayChecksComeBeforeTheRecording) {
  fresh_env();
  closesound();
  ASSERT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, 1024)}), 1u);
  VarEntry* scalar = new_var(TY_UINT);
  struct Case {
    const char* what;
    u32 handler;
    std::vector<VarEntry*> params;
    const std::string& out;
  };
  const Case cases[] = {
      {"2^17 elements", H_getsignal, {new_array(131072)}, BAD_SIZE},
      {"second not an array", H_getsignal, {new_array(8), scalar}, NOT_ARRAYS},
      {"getfft with one array", H_getfft, {new_array(8)}, NOT_ARRAYS},
      {"getfft with 3 elements", H_getfft, {new_array(3), new_array(3)}, BAD_SIZE},
      {"2^16 elements", H_getsignal, {new_array(65536)}, RECORDING},
      {"getfft with 2^14 elements", H_getfft, {new_array(16384), new_array(16384)}, RECORDING},
  };
  for (const Case& c : cases) {
    if_c_error = 99;
    std::vector<u32> refs;
    for (VarEntry* p : c.params) refs.push_back(ref_of(p));
    testing::internal::CaptureStdout();
    u32 ok = handlers[c.handler](0, reinterpret_cast<const u8*>(refs.data()),
                                 static_cast<u32>(refs.size()));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.what;
    EXPECT_EQ(ok, 0u) << c.what;
    EXPECT_EQ(if_c_error, 0u) << c.what;
    const VarEntry* first = c.params[0];
    EXPECT_EQ(S(at<ArrHead>(first->value)->data)->value, 7u) << c.what;
  }
}

}  // namespace
