// The figures behind the up-front memory check, and the interrupt polls.
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/interrupt.hpp"
#include "core/memory.hpp"

using namespace korvale;

TEST(Memory, MemAvailableIsReadFromMeminfo) {
    const std::string meminfo =
        "MemTotal:       24576000 kB\nMemFree:         1000 kB\nMemAvailable:   12345678 kB\nBuffers: 1 kB\n";
    EXPECT_EQ(mem_available_kib(meminfo), 12345678u);
    EXPECT_EQ(mem_available_kib("MemTotal: 5 kB\n"), std::nullopt);
    EXPECT_EQ(mem_available_kib("MemAvailable: x kB\n"), std::nullopt);
}

TEST(Memory, CgroupPathsOfBothVersions) {
    const CgroupPaths hybrid =
        cgroup_paths("9:name=systemd:/\n4:memory:/jobs/a1\n3:cpu,cpuacct:/\n0::/\n");
    EXPECT_EQ(hybrid.v2, "/");
    EXPECT_EQ(hybrid.v1_memory, "/jobs/a1");
    const CgroupPaths unified = cgroup_paths("0::/user.slice/session-2.scope\n");
    EXPECT_EQ(unified.v2, "/user.slice/session-2.scope");
    EXPECT_EQ(unified.v1_memory, std::nullopt);
    const CgroupPaths joined = cgroup_paths("5:cpu,memory,blkio:/x\n");
    EXPECT_EQ(joined.v1_memory, "/x");
    EXPECT_EQ(cgroup_paths("garbage\n").v2, std::nullopt);
}

TEST(Memory, RequestsBeyondWhatIsAvailableAreRefused) {
    const auto available = available_memory();
    ASSERT_TRUE(available.has_value());  // Linux always has MemAvailable
    EXPECT_NO_THROW(require_memory(small_request - 1));
    EXPECT_THROW(require_memory(*available + (std::size_t{1} << 30)), std::bad_alloc);
}

namespace {
struct Stop : std::exception {};
int calls = 0;
void count_and_stop(void*) {
    if (++calls == 2) throw Stop();
}
}  // namespace

TEST(Interrupt, PollRunsTheInstalledCheckOnlyAfterTheInterval) {
    calls = 0;
    {
        InterruptPoll unchecked;  // nothing installed: never checks
        for (int k = 0; k < 1000; ++k) unchecked(InterruptPoll::slice);
    }
    EXPECT_EQ(calls, 0);
    ScopedInterruptCheck installed(&count_and_stop, nullptr);
    InterruptPoll poll;
    poll(InterruptPoll::slice);  // a slice done at once: the interval has not passed
    EXPECT_EQ(calls, 0);
    EXPECT_THROW(
        {
            const auto start = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - start < 10 * InterruptPoll::interval) poll(1024);
        },
        Stop);
    EXPECT_EQ(calls, 2);
}
