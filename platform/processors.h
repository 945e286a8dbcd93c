#pragma once

namespace quenvara::platform {

// Processors this process may run on (its affinity, not the machine's
// count); at least 1.
int usableProcessors();

}  // namespace quenvara::platform
