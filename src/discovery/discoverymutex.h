// The discovery lock: one process-wide, non-recursive mutex around the receiver
// table. The listener holds it while it touches the table; the pages and tools
// that read the table take it too. Never take it twice on one thread.
#pragma once

#include <mutex>

std::mutex& discoveryMutex();
