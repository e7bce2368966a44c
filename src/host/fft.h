// The radix-2 transform behind "getfft" and its twiddle tables.
#pragma once

#include "../runtime/qv.h"

namespace qv {

constexpr u32 TWIDDLE_CAPACITY = 65536;  // floats in each of Wx and Wy
constexpr u32 FFT_MAX_INIT = 16384;      // largest size "initfft" takes

// Twiddle tables: the stage of size L holds cos/sin(pi*k/L), k < L, from
// index L - 1 on. Null until the first "initfft".
extern float* Wx;
extern float* Wy;
// 2^(m+1) for the last "initfft" size N, with 2^m the largest power of two
// not above N (1 for N = 0). "getfft" with p-element arrays needs 2*cc == 4p.
extern u32 cc;

// Allocates the tables once; false when there is no memory for them.
bool fft_alloc_tables();

// Fills the tables for size n (n <= FFT_MAX_INIT, tables allocated) and sets
// cc. The stages reach 2^(m+1), one beyond what cc names, because the
// transform that "getfft" runs for an accepted size is 4 * 2^m points long
// and reads the twiddles of every stage up to half of that.
void fft_fill_tables(u32 n);

// In-place transform of n complex values (n a power of two, tables filled
// for a transform of n points): X[k] = (2/n) * sum x[t] * e^(+2*pi*i*t*k/n).
void fft(u32 n, float* re, float* im);

}  // namespace qv
