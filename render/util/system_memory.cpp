#include "render/util/system_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace xr {

namespace {

// The address space this process has mapped, all of which counts against an
// address-space limit.
size_t address_space_used() {
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return size_t(pages) * size_t(sysconf(_SC_PAGESIZE));
}

} // namespace

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
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const size_t used = address_space_used();
        bytes = std::min(bytes, size_t(limit.rlim_cur) > used ? size_t(limit.rlim_cur) - used : 0);
    }
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
