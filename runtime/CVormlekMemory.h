// The script's flat numeric memory: doubles addressed by a signed 32-bit index, stored in
// 65536-element pages that come into being, zero-filled, when first touched.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>

class CVormlekMemory {
public:
    static constexpr std::int32_t kPageSize = 65536;

    // The element at index; reading creates the page. The reference stays valid until ClearMemory.
    double& Memory(std::int32_t index) {
        return Page(PageNumber(index))[static_cast<std::size_t>(PageOffset(index))];
    }

    // The first of count consecutive elements, or null when the run would leave its page (or count
    // is negative): built-ins step through a run directly, so it must lie inside one page.
    double* MemoryRun(std::int32_t index, std::int32_t count) {
        if (count < 0 || PageOffset(index) + static_cast<std::int64_t>(count) > kPageSize) return nullptr;
        return &Memory(index);
    }

    void ClearMemory() noexcept { pages.clear(); }

    static std::int32_t PageNumber(std::int32_t index) noexcept { return index >> 16; }
    static std::int32_t PageOffset(std::int32_t index) noexcept { return index & 0xFFFF; }

    std::size_t PageCount() const noexcept { return pages.size(); }

protected:
    CVormlekMemory() = default;
    ~CVormlekMemory() = default;

private:
    // A page starts a cache line, so a run at an index that is a multiple of 8 does too and the
    // transforms' vector loads never straddle two lines (a heap block alone may start 8 or 16 bytes
    // past one, and where it lands varies from run to run).
    struct alignas(64) MemoryPage {
        std::array<double, kPageSize> values{};
    };

    std::array<double, kPageSize>& Page(std::int32_t number) {
        std::unique_ptr<MemoryPage>& page = pages[number];
        if (!page) page = std::make_unique<MemoryPage>();
        return page->values;
    }

    std::map<std::int32_t, std::unique_ptr<MemoryPage>> pages;
};
