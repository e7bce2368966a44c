#include "run_requests.h"

namespace qv {

u32 run_end_code = 0;
void (*run_end_hook)() = nullptr;
void (*end_run_now)(u32) = nullptr;
int (*run_driver)(int, char**) = nullptr;

}  // namespace qv
