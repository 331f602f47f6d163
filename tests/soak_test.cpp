// Ten whole cycles of the animation without a window: the memory the process
// holds must not grow from cycle to cycle. The program runs for days on a
// desktop; a few bytes kept per ray would add up to gigabytes there.
#include "rays/form1.h"
#include "headless/headless_runtime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// The resident set of this process in kB, from /proc/self/status.
long resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

} // namespace

TEST(Soak, TenCyclesKeepTheMemoryFlat) {
    // A cycle runs the Counter from 0 to 5,000,000 in steps of 100.
    constexpr long kCycle = 50'000;
    constexpr long kCycles = 10;
    constexpr long kMaxGrowthKb = 1024;

    runtime::HeadlessRuntime headless(480, 270, 24, 3);
    rays::Form1 form(headless);
    long after_first = -1;
    headless.run(form, kCycles * kCycle, [&](long done) {
        // Heard every 1000 ticks; with done == kCycle the first cycle is over.
        if (done == kCycle) after_first = resident_kb();
    });
    const long after_last = resident_kb();

    ASSERT_GT(after_first, 0) << "no VmRSS in /proc/self/status";
    // Ten whole cycles end where the first began.
    EXPECT_EQ(form.state().Counter, 0);
    EXPECT_LT(after_last - after_first, kMaxGrowthKb)
        << "resident set " << after_first << " kB after the first cycle, " << after_last
        << " kB after the tenth";
    std::printf("resident set: %ld kB after the first cycle, %ld kB after the tenth\n", after_first,
                after_last);
}
