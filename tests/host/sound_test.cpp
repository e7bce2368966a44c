// Capture through the real ALSA path: a test configuration makes "default"
// a device that records the frames of a raw file this test writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/arena.h"
#include "host/fft.h"
#include "host/sound.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

constexpr u32 TONE_BIN = 100;        // bin of the tone in a 4096-point transform
constexpr double TONE_AMP = 10000.5;  // truncates to 10000 after quantisation
constexpr i32 RIGHT_OFFSET = -3;
constexpr u32 FILE_FRAMES = 1u << 18;

char dir_name[] = "/tmp/qv_sound_XXXXXX";

std::string work_dir() {
  static bool made = [] {
    if (!mkdtemp(dir_name)) return false;
    std::atexit([] { std::filesystem::remove_all(dir_name); });
    return true;
  }();
  return made ? dir_name : "/tmp";
}

i32 left_at(u32 t) {
  return static_cast<i32>(std::lround(TONE_AMP * std::sin(2 * std::acos(-1.0) * TONE_BIN * t / 4096)));
}

// A raw file of FILE_FRAMES frames and a configuration pointing at it.
std::string write_config(bool with_device) {
  std::string raw = work_dir() + "/tone.raw";
  std::string conf = work_dir() + (with_device ? "/tone.conf" : "/empty.conf");
  if (!with_device) {
    std::ofstream(conf) << "# no devices at all\n";
    return conf;
  }
  std::vector<unsigned char> bytes;
  bytes.reserve(FILE_FRAMES * 4);
  for (u32 t = 0; t < FILE_FRAMES; ++t)
    for (i32 v : {left_at(t), RIGHT_OFFSET}) {
      u32 u = static_cast<u32>(v);
      bytes.push_back(static_cast<unsigned char>(u & 0xFF));
      bytes.push_back(static_cast<unsigned char>((u >> 8) & 0xFF));
    }
  std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
  std::ifstream in(std::string(QV_TESTS_DIR) + "/host/alsa/asoundrc.in");
  std::stringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  for (size_t at = s.find("@INFILE@"); at != std::string::npos; at = s.find("@INFILE@"))
    s.replace(at, 8, raw);
  std::ofstream(conf) << s;
  return conf;
}

// Opens the capture device afresh under the given configuration; the
// recordings then start at the file's first frame. Returns the open line.
std::string open_device(bool with_device) {
  setenv("ALSA_CONFIG_PATH", write_config(with_device).c_str(), 1);
  __closesound();
  testing::internal::CaptureStdout();
  __winopensound();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// An array variable of n uint elements, all holding `fill`.
VarEntry* new_array(u32 n, u32 fill = 7) {
  VarEntry* v = new_var(TY_UINT);
  Ref head = arena_calloc(sizeof(ArrHead));
  Ref data = arena_calloc((n + 1) * 12);
  auto* h = at<ArrHead>(head);
  *h = ArrHead{data, data, data + n * 12, data + n * 12, 12, 0};
  for (u32 i = 0; i < n; ++i) *S(data + 12 * i) = VarEntry{fill, TY_UINT, V_ELEM};
  v->value = head;
  v->flags = V_ARRAY;
  return v;
}

u32 elem(const VarEntry* arr, u32 i) { return S(at<ArrHead>(arr->value)->data + 12 * i)->value; }

// Runs a handler and returns what it printed.
std::string run(u32 handler, std::initializer_list<VarEntry*> params, u32* ok) {
  testing::internal::CaptureStdout();
  *ok = call(handler, nullptr, params);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

const std::string NOT_ARRAYS = "\n2 arrays must be given for signal values\n\n";
const std::string BAD_SIZE =
    "\nArrays for signal must have power of 2 integers\n"
    "and be the same size not more than 2^16 entries for signal or 2^14 for FFT\n\n";

class Sound : public testing::Test {
 protected:
  void SetUp() override {
    fresh_env();
    std::string line = open_device(true);
    ASSERT_EQ(line.rfind("\nDraw field created\ninput stream handler ", 0), 0u) << line;
    ASSERT_NE(line.find(", error: none\n"), std::string::npos) << line;
  }
  void TearDown() override {
    __closesound();
    unsetenv("ALSA_CONFIG_PATH");
  }
};

}  // namespace

TEST_F(Sound, GetsignalStoresZeroExtendedLeftThenRightSamples) {
  VarEntry* a = new_array(65536);
  VarEntry* b = new_array(65536);
  u32 ok = 0;
  EXPECT_EQ(run(H_getsignal, {a, b}, &ok), "");
  ASSERT_EQ(ok, 1u);
  // Every frame of a long recording, across the device's buffer refills.
  for (u32 i = 0; i < 65536; ++i) {
    ASSERT_EQ(elem(a, i), static_cast<u32>(left_at(i)) & 0xFFFF) << i;
    ASSERT_EQ(elem(b, i), 65533u) << i;
  }
  // The next recording goes on where this one ended; one array takes the
  // left channel only.
  VarEntry* c = new_array(1024);
  ASSERT_EQ(call(H_getsignal, nullptr, {c}), 1u);
  for (u32 i = 0; i < 1024; ++i) ASSERT_EQ(elem(c, i), static_cast<u32>(left_at(65536 + i)) & 0xFFFF);
}

TEST_F(Sound, BadArraysPrintTheirDiagnosticAndFailWithCodeZero) {
  VarEntry* scalar = new_var(TY_UINT);
  struct Case { const char* what; u32 handler; std::vector<VarEntry*> params; const std::string& out; };
  std::vector<Case> cases = {
      {"1000 elements", H_getsignal, {new_array(1000)}, BAD_SIZE},
      {"1024 and 512", H_getsignal, {new_array(1024), new_array(512)}, BAD_SIZE},
      {"2^17 elements", H_getsignal, {new_array(131072)}, BAD_SIZE},
      {"first not an array", H_getsignal, {scalar}, NOT_ARRAYS},
      {"second not an array", H_getsignal, {new_array(8), scalar}, NOT_ARRAYS},
      {"getfft with one array", H_getfft, {new_array(8)}, NOT_ARRAYS},
      {"getfft with 2^15 elements", H_getfft, {new_array(32768), new_array(32768)}, BAD_SIZE},
      {"getfft with 3 elements", H_getfft, {new_array(3), new_array(3)}, BAD_SIZE},
  };
  ASSERT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, 1024)}), 1u);
  for (const Case& c : cases) {
    if_c_error = 99;
    testing::internal::CaptureStdout();
    u32 count = static_cast<u32>(c.params.size());
    std::vector<u32> refs;
    for (VarEntry* p : c.params) refs.push_back(ref_of(p));
    u32 ok = handlers[c.handler](0, reinterpret_cast<const u8*>(refs.data()), count);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.what;
    EXPECT_EQ(ok, 0u) << c.what;
    EXPECT_EQ(if_c_error, 0u) << c.what;
    if (c.params[0]->flags & V_ARRAY) {
      EXPECT_EQ(elem(c.params[0], 0), 7u) << c.what;
    }
  }
}

TEST_F(Sound, InitfftChecksItsSizeAndGetfftItsTables) {
  u32 ok = 0;
  if_c_error = 0;
  EXPECT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, 16385)}), 0u);
  EXPECT_EQ(if_c_error, 39u);
  EXPECT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, 16384)}), 1u);

  // Size against the last "initfft": N in [p, 2p - 1] fits arrays of p.
  struct Case { u32 n, p, code; } cases[] = {
      {1024, 1024, 0}, {1500, 1024, 0}, {2047, 1024, 0}, {2048, 1024, 75},
      {1024, 512, 75}, {0, 1, 75}, {1, 1, 0}, {16384, 16384, 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, c.n)}), 1u);
    if_c_error = 0;
    VarEntry* a = new_array(c.p);
    VarEntry* b = new_array(c.p);
    EXPECT_EQ(run(H_getfft, {a, b}, &ok), "");
    EXPECT_EQ(ok, c.code ? 0u : 1u) << "N " << c.n << " p " << c.p;
    EXPECT_EQ(if_c_error, c.code) << "N " << c.n << " p " << c.p;
    if (c.code) {
      EXPECT_EQ(elem(a, 0), 7u);
    }
  }

  // Before any "initfft" there are no tables.
  float* x = Wx;
  float* y = Wy;
  Wx = Wy = nullptr;
  EXPECT_EQ(call(H_getfft, nullptr, {new_array(4), new_array(4)}), 0u);
  EXPECT_EQ(if_c_error, 74u);
  Wx = x;
  Wy = y;
}

TEST_F(Sound, GetfftFindsTheToneAndTheOffset) {
  ASSERT_EQ(call(H_initfft, nullptr, {new_const(TY_UINT, 1024)}), 1u);
  VarEntry* a = new_array(1024);
  VarEntry* b = new_array(1024);
  ASSERT_EQ(call(H_getfft, nullptr, {a, b}), 1u);
  for (u32 k = 0; k < 1024; ++k) {
    EXPECT_LE(elem(a, k), k == TONE_BIN ? 10000u : 1u) << "left bin " << k;
    if (k == TONE_BIN) {
      EXPECT_GE(elem(a, k), 10000u);
    }
    // A constant c shows as 2c in bin 0 and nothing elsewhere.
    EXPECT_EQ(elem(b, k), k == 0 ? 6u : 0u) << "right bin " << k;
  }
}

TEST(SoundWithoutDevice, RecordingFailsWithCodeZero) {
  fresh_env();
  std::string line = open_device(false);
  EXPECT_EQ(line.rfind("\nDraw field created\ninput stream handler 0, error: ", 0), 0u) << line;
  EXPECT_EQ(line.find("none"), std::string::npos) << line;
  u32 ok = 1;
  if_c_error = 5;
  VarEntry* a = new_array(16);
  EXPECT_EQ(run(H_getsignal, {a}, &ok), "Can't get sound data\n");
  EXPECT_EQ(ok, 0u);
  EXPECT_EQ(if_c_error, 0u);
  EXPECT_EQ(elem(a, 0), 7u);
  EXPECT_EQ(__windowsfunc(16, mem), 0u);
  __closesound();
  unsetenv("ALSA_CONFIG_PATH");
}
