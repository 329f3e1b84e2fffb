#include "src/discovery/discoverymutex.h"

std::mutex& discoveryMutex()
{
    static std::mutex mutex;
    return mutex;
}
