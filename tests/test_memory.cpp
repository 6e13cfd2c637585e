#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "runtime/TVormlek.h"

namespace {

struct Store : CVormlekMemory {};

TEST(Memory, PagesComeIntoBeingZeroFilledOnFirstTouch) {
    Store memory;
    EXPECT_EQ(memory.PageCount(), 0u);
    EXPECT_EQ(memory.Memory(5), 0.0);
    EXPECT_EQ(memory.PageCount(), 1u);

    memory.Memory(65536 + 4464) = 2.5;
    EXPECT_EQ(memory.PageCount(), 2u);
    const double* page1 = memory.MemoryRun(65536, 65536);
    ASSERT_NE(page1, nullptr);
    EXPECT_EQ(page1[4464], 2.5);
    for (std::int32_t offset = 0; offset < 65536; ++offset) {
        if (offset == 4464) continue;
        ASSERT_EQ(page1[offset], 0.0) << offset;
    }
    EXPECT_EQ(memory.Memory(5), 0.0);
}

TEST(Memory, EveryPageStartsACacheLine) {
    Store memory;
    for (const std::int32_t page : {0, 1, -1, 7, -300}) {
        const double* first = memory.MemoryRun(page * 65536, 8);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 64, 0u) << "page " << page;
    }
}

TEST(Memory, SignedIndicesAddressPagesBelowZero) {
    Store memory;
    memory.Memory(-1) = 1.0;
    memory.Memory(-65536) = 2.0;
    memory.Memory(-65537) = 3.0;
    EXPECT_EQ(memory.PageCount(), 2u);

    const double* pageMinus1 = memory.MemoryRun(-65536, 65536);
    ASSERT_NE(pageMinus1, nullptr);
    EXPECT_EQ(pageMinus1[0], 2.0);
    EXPECT_EQ(pageMinus1[65535], 1.0);
    const double* pageMinus2 = memory.MemoryRun(-131072, 65536);
    ASSERT_NE(pageMinus2, nullptr);
    EXPECT_EQ(pageMinus2[65535], 3.0);

    EXPECT_EQ(CVormlekMemory::PageNumber(-1), -1);
    EXPECT_EQ(CVormlekMemory::PageOffset(-1), 65535);
    EXPECT_EQ(CVormlekMemory::PageNumber(-65536), -1);
    EXPECT_EQ(CVormlekMemory::PageOffset(-65536), 0);
    EXPECT_EQ(CVormlekMemory::PageNumber(-65537), -2);
    EXPECT_EQ(CVormlekMemory::PageOffset(-65537), 65535);
}

TEST(Memory, NeighbouringIndicesAcrossABoundaryLieInDifferentPages) {
    Store memory;
    memory.Memory(65535) = 1.0;
    EXPECT_EQ(memory.PageCount(), 1u);
    memory.Memory(65536) = 2.0;
    EXPECT_EQ(memory.PageCount(), 2u);
    EXPECT_EQ(CVormlekMemory::PageNumber(65535), 0);
    EXPECT_EQ(CVormlekMemory::PageNumber(65536), 1);
    EXPECT_EQ(memory.Memory(65535), 1.0);
    EXPECT_EQ(memory.Memory(65536), 2.0);
}

TEST(Memory, EveryThirtyTwoBitIndexIsValid) {
    Store memory;
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    memory.Memory(lowest) = -7.0;
    memory.Memory(highest) = 7.0;
    EXPECT_EQ(CVormlekMemory::PageNumber(lowest), -32768);
    EXPECT_EQ(CVormlekMemory::PageOffset(lowest), 0);
    EXPECT_EQ(CVormlekMemory::PageNumber(highest), 32767);
    EXPECT_EQ(CVormlekMemory::PageOffset(highest), 65535);
    EXPECT_EQ(memory.Memory(lowest), -7.0);
    EXPECT_EQ(memory.Memory(highest), 7.0);
    EXPECT_EQ(memory.PageCount(), 2u);
}

TEST(Memory, ARunMustStayInsideOnePage) {
    Store memory;
    memory.Memory(65530) = 4.0;
    double* run = memory.MemoryRun(65530, 6);
    ASSERT_EQ(run, &memory.Memory(65530));
    EXPECT_EQ(run[0], 4.0);

    EXPECT_EQ(memory.MemoryRun(65530, 7), nullptr);
    EXPECT_EQ(memory.MemoryRun(-1, 2), nullptr);
    EXPECT_EQ(memory.MemoryRun(0, 65537), nullptr);
    EXPECT_EQ(memory.MemoryRun(0, -1), nullptr);
    EXPECT_NE(memory.MemoryRun(-65536, 65536), nullptr);
    EXPECT_NE(memory.MemoryRun(std::numeric_limits<std::int32_t>::max(), 1), nullptr);
    EXPECT_EQ(memory.MemoryRun(std::numeric_limits<std::int32_t>::max(), 2), nullptr);
}

TEST(Memory, ARefusedRunCreatesNoPage) {
    Store memory;
    EXPECT_EQ(memory.MemoryRun(3 * 65536 + 65535, 2), nullptr);
    EXPECT_EQ(memory.PageCount(), 0u);
}

TEST(Memory, ValuesPersistUntilResetThenEveryIndexReadsZero) {
    TVormlek script;
    script.Memory(12) = 1.5;
    script.Memory(-40000) = -2.5;
    script.Memory(200000) = 3.5;
    EXPECT_EQ(script.Memory(12), 1.5);
    EXPECT_EQ(script.Memory(-40000), -2.5);
    EXPECT_EQ(script.PageCount(), 3u);

    script.DoReset();
    EXPECT_EQ(script.PageCount(), 0u);
    EXPECT_EQ(script.Memory(12), 0.0);
    EXPECT_EQ(script.Memory(-40000), 0.0);
    EXPECT_EQ(script.Memory(200000), 0.0);
}

}  // namespace
