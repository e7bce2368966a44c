#pragma once

namespace qv {

// Prints every operation with its result, forms and parameters.
void list_funcs();

}  // namespace qv
