// The array checks of "getsignal" and "getfft", which come before any
// recording: with the device closed, arrays that pass them reach the
// recording and fail there instead. The programs under sound/ run the real
// capture path end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/sound.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

// An array variable of n uint elements, all holding 7.
VarEntry* new_array(u32 n) {
  VarEntry* v = new_var(TY_UINT);
  Ref head = arena_calloc(sizeof(ArrHead)), data = arena_calloc((n + 1) * 12);
  *at<ArrHead>(head) = ArrHead{data, data, data + n * 12, data + n * 12, 12, 0};
  for (u32 i = 0; i < n; ++i) *S(data + 12 * i) = VarEntry{7, TY_UINT, V_ELEM};
  v->value = head;
  v->flags = V_ARRAY;
  return v;
}

// A refusal prints its diagnostic and fails with code 0, which the run
// reports as 1; the arrays keep their values.
TEST(Sound, ArrayChecksComeBeforeTheRecording) {
  const std::string not_arrays = "\n2 arrays must be given for signal values\n\n",
                    bad_size = "\nArrays for signal must have power of 2 integers\nand be the same "
                               "size not more than 2^16 entries for signal or 2^14 for FFT\n\n",
                    recording = "Can't get sound data\n";
  fresh_env();
  closesound();
  ASSERT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, 1024)}), 1u);
  struct Case { u32 handler; std::vector<VarEntry*> params; const std::string& out; } cases[] = {
      {H_getsignal, {new_array(131072)}, bad_size},
      {H_getsignal, {new_array(8), new_var(TY_UINT)}, not_arrays},
      {H_getfft, {new_array(8)}, not_arrays},
      {H_getfft, {new_array(4), new_array(8)}, bad_size},
      {H_getfft, {new_array(3), new_array(3)}, bad_size},
      {H_getsignal, {new_array(65536)}, recording},
      {H_getfft, {new_array(16384), new_array(16384)}, recording},
  };
  for (const Case& c : cases) {
    if_c_error = 99;
    std::vector<u32> refs;
    for (VarEntry* p : c.params) refs.push_back(ref_of(p));
    testing::internal::CaptureStdout();
    const u32 ok = handlers[c.handler](0, reinterpret_cast<const u8*>(refs.data()), u32(refs.size()));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.handler << " " << refs.size();
    EXPECT_EQ(ok, 0u);
    EXPECT_EQ(if_c_error, 0u);
    EXPECT_EQ(S(at<ArrHead>(c.params[0]->value)->data)->value, 7u);
  }
}

}  // namespace
