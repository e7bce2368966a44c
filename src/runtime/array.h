// Array storage: a header over equally sized elements.
#pragma once

#include "qv.h"

namespace qv {

// A zeroed header and zeroed storage of n + 1 elements; 0 with error 1 on
// lack of memory (nothing kept).
Ref ar_crea(u32 elemSize, u32 n);
// Releases the storage and the header (not the elements' own values).
void ar_free(Ref head);

}  // namespace qv
