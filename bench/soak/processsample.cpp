#include "bench/soak/processsample.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

namespace soak {

namespace {
int countDescriptors()
{
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1;  // the directory's own descriptor
}
}  // namespace

ProcessSample sampleThisProcess()
{
    ProcessSample sample;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, "VmRSS:", 6) == 0) std::sscanf(line + 6, "%ld", &sample.rssKb);
            if (std::strncmp(line, "Threads:", 8) == 0)
                std::sscanf(line + 8, "%d", &sample.threads);
        }
        std::fclose(status);
    }
    // Counted after the status file is closed again, so it is not among them.
    sample.fds = countDescriptors();
    return sample;
}

}  // namespace soak
