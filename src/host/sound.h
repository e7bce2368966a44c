// Audio capture and the FFT spectrum.
#pragma once

#include "../runtime/qv.h"

namespace qv {

// Opens the default capture device and prints the open line. Later calls
// leave an open device as it is.
void __winopensound();

// One synchronous recording of `frames` 16-bit stereo frames into `buffer`.
// 1 when the buffer was filled, 0 otherwise.
u32 __windowsfunc(u32 frames, u8* buffer);

// Closes the capture device and drops ALSA's cached configuration, so that
// the next __winopensound reads the configuration afresh (tests switch
// configurations within one process).
void __closesound();

}  // namespace qv
