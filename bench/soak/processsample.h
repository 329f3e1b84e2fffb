// What the soak watches of the sender process: resident memory, threads and open
// descriptors, read from /proc/self.
#pragma once

namespace soak {

struct ProcessSample {
    long rssKb = -1;
    int threads = -1;
    int fds = -1;
};

ProcessSample sampleThisProcess();

}  // namespace soak
