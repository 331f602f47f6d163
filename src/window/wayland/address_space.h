// How much address space the program may still map, where a limit is set
// (ulimit -v). Some libraries abort instead of failing when they run out;
// asking first lets the program say why in its own words.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace runtime {

// Nothing when there is no limit, or it cannot be told.
inline std::optional<std::size_t> address_space_left() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    unsigned long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm) return std::nullopt;
    const bool read = std::fscanf(statm, "%lu", &pages) == 1;
    std::fclose(statm);
    if (!read) return std::nullopt;
    const std::size_t used = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return limit.rlim_cur > used ? static_cast<std::size_t>(limit.rlim_cur) - used : 0;
}

} // namespace runtime
