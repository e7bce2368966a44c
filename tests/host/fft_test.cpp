// The FFT: its tables, bit for bit against a transform written another way,
// and tones of known amplitude and phase. A constant input and the spectrum
// of a real recording run end to end in sound/spectrum.qv.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "host/fft.h"
#include "support/qv_test.h"

using namespace qvtest;

namespace {

const double PI = std::acos(-1.0);

// Tables for a transform of n points, as "getfft" has them for arrays of n/4.
void tables_for(u32 n) {
  ASSERT_TRUE(fft_alloc_tables());
  fft_fill_tables(n / 4);
}

u32 bits(float f) {
  u32 v;
  std::memcpy(&v, &f, 4);
  return v;
}

// The same transform written another way: explicit bit reversal, twiddles
// computed on the spot, groups outside and offsets inside.
void reference_fft(u32 n, std::vector<float>& re, std::vector<float>& im) {
  u32 logn = 0;
  while ((1u << logn) < n) ++logn;
  for (u32 i = 0; i < n; ++i) {
    u32 r = 0;
    for (u32 b = 0; b < logn; ++b)
      if (i & (1u << b)) r |= 1u << (logn - 1 - b);
    if (i < r) {
      std::swap(re[i], re[r]);
      std::swap(im[i], im[r]);
    }
  }
  for (u32 L = 1; L < n; L *= 2)
    for (u32 g = 0; g < n; g += 2 * L)
      for (u32 m = 0; m < L; ++m) {
        double c = static_cast<float>(std::cos(PI * m / L));
        double s = static_cast<float>(std::sin(PI * m / L));
        u32 a = g + m, b = a + L;
        float tr = static_cast<float>(double{re[b]} * c - double{im[b]} * s);
        float ti = static_cast<float>(double{re[b]} * s + double{im[b]} * c);
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] = re[a] + tr;
        im[a] = im[a] + ti;
      }
  for (u32 i = 0; i < n; ++i) {
    re[i] = re[i] / static_cast<float>(n / 2);
    im[i] = im[i] / static_cast<float>(n / 2);
  }
}

}  // namespace

TEST(Fft, TablesHoldEveryStageTheMatchingTransformReads) {
  ASSERT_TRUE(fft_alloc_tables());
  struct Case { u32 n, cc, top; } cases[] = {
      {0, 1, 0}, {1, 2, 1}, {2, 4, 2}, {3, 4, 2}, {1024, 2048, 1024},
      {1500, 2048, 1024}, {2047, 2048, 1024}, {16384, 32768, 16384}};
  for (const Case& c : cases) {
    std::fill(Wx, Wx + TWIDDLE_CAPACITY, std::numeric_limits<float>::quiet_NaN());
    std::fill(Wy, Wy + TWIDDLE_CAPACITY, std::numeric_limits<float>::quiet_NaN());
    fft_fill_tables(c.n);
    EXPECT_EQ(cc, c.cc) << "N = " << c.n;
    // "getfft" accepts arrays of p = top elements and transforms 4p points:
    // stages up to 2p, twiddles up to index 4p - 2.
    u32 last = c.top ? 4 * c.top - 2 : 0;
    for (u32 L = 1; c.top && L <= 2 * c.top; L *= 2)
      for (u32 k = 0; k < L; ++k) {
        ASSERT_EQ(bits(Wx[L - 1 + k]), bits(static_cast<float>(std::cos(PI * k / L))));
        ASSERT_EQ(bits(Wy[L - 1 + k]), bits(static_cast<float>(std::sin(PI * k / L))));
      }
    if (c.top) {
      EXPECT_FALSE(std::isnan(Wx[last]));
    }
    EXPECT_TRUE(std::isnan(Wx[c.top ? last + 1 : 0])) << "nothing beyond the last stage";
  }
}

TEST(Fft, ToneOnABinGivesItsAmplitudeThere) {
  struct Case { u32 n, k; double amp, phase; } cases[] = {
      {16, 1, 1.0, 0.0}, {64, 5, 100.0, 0.7}, {1024, 100, 10000.0, 2.0}, {4096, 1023, 30000.0, 1.0}};
  for (const Case& c : cases) {
    tables_for(c.n);
    std::vector<float> re(c.n), im(c.n, 0.0f);
    for (u32 t = 0; t < c.n; ++t)
      re[t] = static_cast<float>(c.amp * std::cos(2 * PI * c.k * t / c.n + c.phase));
    fft(c.n, re.data(), im.data());
    for (u32 k = 0; k < c.n / 2; ++k) {
      double mag = std::hypot(double{re[k]}, double{im[k]});
      if (k == c.k)
        EXPECT_NEAR(mag, c.amp, c.amp * 1e-5) << "n = " << c.n;
      else
        ASSERT_LT(mag, c.amp * 1e-4) << "n = " << c.n << " bin " << k;
    }
    // The exponent is positive: cos(wt + phase) comes back as A * e^(-i*phase).
    EXPECT_NEAR(std::atan2(im[c.k], re[c.k]), -c.phase, 1e-3);
  }
}

TEST(Fft, RoundsEachStepToSinglePrecisionBitForBit) {
  for (u32 n : {4u, 8u, 32u}) {
    tables_for(n);
    std::vector<float> re(n), im(n);
    for (u32 t = 0; t < n; ++t) {
      re[t] = static_cast<float>(std::sin(t * 1.3) * 1000.0 + t / 3.0);
      im[t] = static_cast<float>(std::cos(t * 0.7) * 77.7);
    }
    std::vector<float> rre = re, rim = im;
    fft(n, re.data(), im.data());
    reference_fft(n, rre, rim);
    for (u32 k = 0; k < n; ++k) {
      ASSERT_EQ(bits(re[k]), bits(rre[k])) << "n = " << n << " re[" << k << "]";
      ASSERT_EQ(bits(im[k]), bits(rim[k])) << "n = " << n << " im[" << k << "]";
    }
  }
}
