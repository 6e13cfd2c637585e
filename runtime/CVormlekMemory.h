// The script's flat numeric memory: doubles addressed by a signed 32-bit index, stored in
// 65536-element pages that come into being, zero-filled, when first touched.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

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
    std::vector<double>& Page(std::int32_t number) {
        std::vector<double>& page = pages[number];
        if (page.size() != kPageSize) page.resize(kPageSize, 0.0);
        return page;
    }

    std::map<std::int32_t, std::vector<double>> pages;
};
