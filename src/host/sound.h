// Audio capture and the FFT spectrum.
#pragma once

#include "../runtime/qv.h"

namespace qv {

// The sound entry points keep the design's names (`__winopensound`,
// `__windowsfunc`, `__closesound`) without their reserved leading underscores.
//
// Opens the default capture device and prints the open line. Later calls
// leave an open device as it is.
void winopensound();

// One synchronous recording of `frames` 16-bit stereo frames into `buffer`.
// 1 when the buffer was filled, 0 otherwise.
u32 windowsfunc(u32 frames, u8* buffer);

// Closes the capture device and drops ALSA's cached configuration, so that
// the next winopensound reads the configuration afresh (tests switch
// configurations within one process).
void closesound();

}  // namespace qv
