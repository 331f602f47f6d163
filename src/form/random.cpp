#include "form/random.h"

#include <chrono>

namespace runtime {

void Random::randomize() {
    const auto wall = std::chrono::system_clock::now().time_since_epoch().count();
    const auto mono = std::chrono::steady_clock::now().time_since_epoch().count();
    seed_with(static_cast<std::uint64_t>(wall) ^ (static_cast<std::uint64_t>(mono) << 17));
}

} // namespace runtime
