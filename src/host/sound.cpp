// The sound operations: recordings of the capture device (sound_device.cpp)
// turned into array values and spectra.
#include "sound.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "../runtime/errcodes.h"
#include "../runtime/handlers.h"
#include "fft.h"

namespace qv {

namespace {

constexpr u32 FRAME_BYTES = 4;  // left then right, 16 bits each
constexpr u32 MAX_FRAMES = 65536;

// The recording buffer and the transform arrays are sized for the largest
// case once, so that no recording allocates.
u8 sound_buffer[MAX_FRAMES * FRAME_BYTES];
float re1[MAX_FRAMES], im1[MAX_FRAMES], re2[MAX_FRAMES], im2[MAX_FRAMES];

u32 left_sample(u32 frame) {
  return sound_buffer[FRAME_BYTES * frame] | u32{sound_buffer[FRAME_BYTES * frame + 1]} << 8;
}
u32 right_sample(u32 frame) {
  return sound_buffer[FRAME_BYTES * frame + 2] | u32{sound_buffer[FRAME_BYTES * frame + 3]} << 8;
}
float as_signed(u32 sample) { return static_cast<float>(static_cast<std::int16_t>(sample)); }

bool is_array(const VarEntry* slot) { return (slot->flags & V_ARRAY) && slot->value; }

// Element i's value word of an array variable.
u32& element(const ArrHead* h, u32 i) { return S(h->data + i * h->elemSize)->value; }

struct Signal {
  ArrHead* a;
  ArrHead* b;  // null when only one array was given
  u32 p;       // elements per array
};

constexpr const char* NOT_ARRAYS = "\n2 arrays must be given for signal values\n";
constexpr const char* BAD_SIZE =
    "\nArrays for signal must have power of 2 integers\n"
    "and be the same size not more than 2^16 entries for signal or 2^14 for FFT\n";

// Checks the arrays (at least `needed` of them) and records p * factor
// frames into sound_buffer. The number of frames, or 0 with if_c_error 0
// after a diagnostic line.
u32 _getsignal(const u8* params, u32 count, u32 needed, u32 factor, Signal& sig) {
  const u32 n = count & 0xFF;
  if (n < needed || !is_array(P(params, 0)) || (n >= 2 && !is_array(P(params, 1)))) {
    std::puts(NOT_ARRAYS);
    return fail(E_NONE);
  }
  sig.a = at<ArrHead>(P(params, 0)->value);
  sig.b = n >= 2 ? at<ArrHead>(P(params, 1)->value) : nullptr;
  sig.p = arr_count(sig.a);
  const u32 p = sig.p;
  if (p == 0 || (p & (p - 1)) != 0 || p > MAX_FRAMES / factor || (sig.b && arr_count(sig.b) != p)) {
    std::puts(BAD_SIZE);
    return fail(E_NONE);
  }
  if (!windowsfunc(p * factor, sound_buffer)) {
    std::puts("Can't get sound data");
    return fail(E_NONE);
  }
  return p * factor;
}

u32 magnitude(float re, float im) {
  const double m = std::sqrt(static_cast<double>(re) * re + static_cast<double>(im) * im);
  // At most 2 * 32768 for 16-bit input; the guard keeps the cast defined.
  return m < 4294967296.0 ? static_cast<u32>(m) : 0xFFFFFFFFu;
}

}  // namespace

u32 getsignal(Ref, const u8* params, u32 count) {
  Signal sig;
  if (!_getsignal(params, count, 1, 1, sig)) return 0;
  for (u32 i = 0; i < sig.p; ++i) element(sig.a, i) = left_sample(i);
  if (sig.b)
    for (u32 i = 0; i < sig.p; ++i) element(sig.b, i) = right_sample(i);
  return 1;
}

u32 initfft(Ref, const u8* params, u32) {
  if (!fft_alloc_tables()) return fail(E_NO_MEMORY);
  const u32 n = P(params, 0)->value;
  if (n > FFT_MAX_INIT) return fail(E_BAD_VALUE);
  fft_fill_tables(n);
  return 1;
}

u32 getfft(Ref, const u8* params, u32 count) {
  if (!Wx || !Wy) return fail(E_NO_INITFFT);
  Signal sig;
  const u32 n = _getsignal(params, count, 2, 4, sig);
  if (!n) return 0;
  if (2 * cc != n) return fail(E_FFT_MISMATCH);
  for (u32 t = 0; t < n; ++t) {
    re1[t] = as_signed(left_sample(t));
    re2[t] = as_signed(right_sample(t));
    im1[t] = im2[t] = 0.0f;
  }
  fft(n, re1, im1);
  fft(n, re2, im2);
  for (u32 k = 0; k < sig.p; ++k) {
    element(sig.a, k) = magnitude(re1[k], im1[k]);
    element(sig.b, k) = magnitude(re2[k], im2[k]);
  }
  return 1;
}

}  // namespace qv
