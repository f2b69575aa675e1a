#include "render/util/system_memory.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace xr {

size_t available_memory() {
    size_t bytes = size_t(sysconf(_SC_PHYS_PAGES)) * size_t(sysconf(_SC_PAGESIZE));
    if (FILE* meminfo = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kib = 0;
        while (std::fgets(line, sizeof line, meminfo))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1)
                bytes = size_t(kib) * 1024;
        std::fclose(meminfo);
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        size_t(limit.rlim_cur) < bytes)
        bytes = size_t(limit.rlim_cur);
    return bytes;
}

void check_memory(double bytes, const std::string& what) {
    if (bytes > double(available_memory()))
        throw std::runtime_error(what + " needs " + std::to_string(int64_t(bytes / (1 << 20))) +
                                 " MiB, more than the memory available");
}

size_t peak_memory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return size_t(usage.ru_maxrss) * 1024; // Linux counts kibibytes
}

} // namespace xr
