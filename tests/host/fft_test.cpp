// The FFT against the transform by its definition, and the table sizes
// "initfft" chooses. A constant input and the spectrum of a real recording
// run end to end in sound/spectrum.qv.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "host/fft.h"
#include "support/qv_test.h"

using namespace qvtest;

// X[k] = 2/n * sum x[t] e^(+2 pi i k t / n): cos(wt + phase) of amplitude A
// comes back as A * e^(-i phase) in its bin. The tables are spoilt first:
// the transform of n points reads only what "initfft" for arrays of n/4 fills.
TEST(Fft, MatchesTheTransformByItsDefinition) {
  ASSERT_TRUE(fft_alloc_tables());
  const double pi = std::acos(-1.0);
  for (u32 n : {4u, 16u, 64u, 1024u}) {
    std::fill(Wx, Wx + TWIDDLE_CAPACITY, std::numeric_limits<float>::quiet_NaN());
    std::fill(Wy, Wy + TWIDDLE_CAPACITY, std::numeric_limits<float>::quiet_NaN());
    fft_fill_tables(n / 4);
    EXPECT_EQ(cc, n / 2);
    std::vector<float> re(n), im(n);
    std::vector<std::complex<double>> x(n);
    for (u32 t = 0; t < n; ++t) {
      re[t] = float(1000.0 * std::cos(2 * pi * 3 * t / n + 0.7) + std::sin(t * 1.3) * 50.0 + t / 3.0);
      im[t] = float(std::cos(t * 0.7) * 77.7);
      x[t] = {re[t], im[t]};
    }
    fft(n, re.data(), im.data());
    for (u32 k = 0; k < n; ++k) {
      std::complex<double> want = 0;
      for (u32 t = 0; t < n; ++t) want += x[t] * std::polar(1.0, 2 * pi * k * t / n);
      want *= 2.0 / n;
      EXPECT_NEAR(re[k], want.real(), 1e-2) << "n = " << n << " bin " << k;
      EXPECT_NEAR(im[k], want.imag(), 1e-2) << "n = " << n << " bin " << k;
    }
  }
  // The size chosen for N: twice the largest power of 2 not above N/2.
  for (auto [n, want] : {std::pair{0u, 1u}, {1u, 2u}, {3u, 4u}, {1500u, 2048u}, {16384u, 32768u}}) {
    fft_fill_tables(n);
    EXPECT_EQ(cc, want) << n;
  }
}
