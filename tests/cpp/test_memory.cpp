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

TEST(Memory, RequestsBeyondWhatIsAvailableAreRefusedSayingWhy) {
    const auto available = available_memory();
    ASSERT_TRUE(available.has_value());  // Linux always has MemAvailable
    EXPECT_NO_THROW(require_memory(small_request - 1));
    try {
        require_memory(*available + (std::size_t{1} << 30));
        ADD_FAILURE() << "not refused";
    } catch (const MemoryShortage& e) {  // a std::bad_alloc, so boundaries raise MemoryError
        const std::string message = e.what();
        EXPECT_NE(message.find("needs " + describe_bytes(*available + (std::size_t{1} << 30) + call_overhead)),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("are available"), std::string::npos) << message;
    }
    EXPECT_EQ(describe_bytes(999), "999 bytes");
    EXPECT_EQ(describe_bytes(1536), "1,536 bytes (1.5 KiB)");
    EXPECT_EQ(describe_bytes(std::uint64_t{3} << 30), "3,221,225,472 bytes (3.0 GiB)");
}

TEST(Memory, ByteCountsSaturateAndSaturatedRequestsAreRefused) {
    const Bytes huge = Bytes(std::size_t{1} << 62) * 20;
    EXPECT_TRUE(huge.saturated());
    EXPECT_TRUE((huge + 1).saturated());
    EXPECT_TRUE((Bytes(Bytes::most - 1) + 2).saturated());
    EXPECT_EQ((Bytes(3) * 4 + 5).value(), 17u);
    EXPECT_EQ((Bytes(0) * Bytes::most).value(), 0u);
    EXPECT_THROW(require_memory(huge), MemoryShortage);
}

TEST(Memory, CgroupUsageLeavesOutTheInactiveFileCache) {
    EXPECT_EQ(inactive_file_bytes("anon 100\nfile 5000\ninactive_file 4096\nactive_file 904\n"), 4096u);
    // v1 counts descendants in usage_in_bytes, as in its total_ figures.
    EXPECT_EQ(inactive_file_bytes("cache 9\ninactive_file 10\ntotal_inactive_file 30\n"), 30u);
    EXPECT_EQ(inactive_file_bytes("anon 1\n"), 0u);
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
