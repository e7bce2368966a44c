// Twiddle tables and the decimation-in-time transform of "getfft".
#include "fft.h"

#include <cmath>
#include <new>
#include <utility>

namespace qv {

float* Wx = nullptr;
float* Wy = nullptr;
u32 cc = 0;

bool fft_alloc_tables() {
  if (!Wx) Wx = new (std::nothrow) float[TWIDDLE_CAPACITY];
  if (!Wy) Wy = new (std::nothrow) float[TWIDDLE_CAPACITY];
  return Wx && Wy;
}

void fft_fill_tables(u32 n) {
  if (n == 0) {
    cc = 1;
    return;
  }
  u32 top = 1;  // 2^m
  while (top <= n / 2) top <<= 1;
  // Stages 1 .. 2 * 2^m: entries up to 4 * 2^m - 2, within the capacity
  // because n never exceeds FFT_MAX_INIT.
  const double pi = std::acos(-1.0);
  for (u32 L = 1; L <= 2 * top; L <<= 1)
    for (u32 k = 0; k < L; ++k) {
      double a = pi * k / L;
      Wx[L - 1 + k] = static_cast<float>(std::cos(a));
      Wy[L - 1 + k] = static_cast<float>(std::sin(a));
    }
  cc = 2 * top;
}

namespace {

// The running bit-reversed index: j steps through the reversed order of
// 0 .. n-1 as i counts up.
void bit_reverse(u32 n, float* re, float* im) {
  u32 j = 0;
  for (u32 i = 0; i + 1 < n; ++i) {
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
    u32 k = n / 2;
    while (j >= k) {  // k stays at least 1, so this ends
      j -= k;
      k = (k + 1) / 2;
    }
    j += k;
  }
}

}  // namespace

void fft(u32 n, float* re, float* im) {
  if (n < 2) return;
  bit_reverse(n, re, im);
  u32 w = 0;
  for (u32 L = 1; L < n; L <<= 1)
    for (u32 m = 0; m < L; ++m, ++w) {
      const double wx = Wx[w], wy = Wy[w];
      for (u32 i = m; i < n; i += 2 * L) {
        const u32 i2 = i + L;
        // Products of two floats are exact in double: each of tr and ti
        // is rounded to single precision exactly once.
        const float tr = static_cast<float>(re[i2] * wx - im[i2] * wy);
        const float ti = static_cast<float>(re[i2] * wy + im[i2] * wx);
        re[i2] = re[i] - tr;
        im[i2] = im[i] - ti;
        re[i] = re[i] + tr;
        im[i] = im[i] + ti;
      }
    }
  const float half = static_cast<float>(n / 2);
  for (u32 i = 0; i < n; ++i) {
    re[i] /= half;
    im[i] /= half;
  }
}

}  // namespace qv
