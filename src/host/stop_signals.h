// The stop signals: flush the program's output, then end as killed.
#pragma once

namespace qv {

// Takes SIGINT, SIGTERM and SIGHUP from now on. Call first in main, before
// any other thread starts.
void catch_stop_signals();

}  // namespace qv
