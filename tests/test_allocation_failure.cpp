// An allocation that fails while the host is inside the plug-in: for every allocation that a chunk
// load, a chunk save, an open and an instance creation make, that one allocation fails in turn.
// The host must get the neutral answer and no crash, and the instance must work afterwards.
// The program's allocation functions serve the loaded plug-in too (its symbols are exported).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "tools/driver/Plugin.h"

namespace {

// The number of allocations still to succeed before one fails; negative: none fails.
std::atomic<long> allocationsBeforeFailure{-1};
std::atomic<int> failedAllocations{0};

void* Allocate(std::size_t size) noexcept {
    const long left = allocationsBeforeFailure.load(std::memory_order_relaxed);
    if (left == 0) {
        allocationsBeforeFailure.store(-1, std::memory_order_relaxed);
        failedAllocations.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    if (left > 0) allocationsBeforeFailure.store(left - 1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
    void* memory = Allocate(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace {

using namespace vsthost;
using Bytes = std::vector<std::uint8_t>;

constexpr int kChannels = 4;
constexpr std::array<float, kChannels> kSaved{0.25f, 0.75f, 1.0f, 0.0f};  // -6, +6, +12, -12 dB
constexpr std::array<float, kChannels> kOther{0.5f, 0.5f, 0.625f, 0.875f};

// For point = 0, 1, 2, ...: prepare() with every allocation succeeding, then armed() with allocation
// number `point` failing, then check(failed). Stops after the first armed() that made fewer
// allocations than that; answers how many allocation points there were.
template <typename Prepare, typename Armed, typename Check>
int FailEachAllocationInTurn(Prepare prepare, Armed armed, Check check) {
    for (int point = 0;; ++point) {
        SCOPED_TRACE(::testing::Message() << "allocation " << point << " fails");
        prepare();
        if (::testing::Test::HasFatalFailure()) return point;
        failedAllocations = 0;
        allocationsBeforeFailure = point;
        armed();
        allocationsBeforeFailure = -1;
        const bool failed = failedAllocations.load() != 0;
        check(failed);
        if (!failed || ::testing::Test::HasFatalFailure()) return point;
    }
}

class AllocationFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.load(TRIM_PLUGIN_PATH)) << library.error();
        host.recording = false;  // the host's call log must not allocate inside an armed call
    }

    std::unique_ptr<Plugin> Started(const std::array<float, kChannels>& parameters) {
        auto plugin = std::make_unique<Plugin>(host, library.entry());
        if (!plugin->valid()) return plugin;
        plugin->start();
        for (int p = 0; p < kChannels; ++p) plugin->setParameter(p, parameters[p]);
        return plugin;
    }

    static std::array<float, kChannels> Parameters(const Plugin& plugin) {
        std::array<float, kChannels> values{};
        for (int p = 0; p < kChannels; ++p) values[p] = plugin.getParameter(p);
        return values;
    }

    // The instance trims, saves and loads as a healthy one does.
    static void ExpectWorking(const Plugin& plugin) {
        for (int p = 0; p < kChannels; ++p) plugin.setParameter(p, kOther[p]);
        std::array<float, kChannels> in{0.5f, 0.5f, 0.5f, 0.5f};
        std::array<float, kChannels> out{};
        float* inputs[] = {&in[0], &in[1], &in[2], &in[3]};
        float* outputs[] = {&out[0], &out[1], &out[2], &out[3]};
        plugin.processReplacing(inputs, outputs, 1);
        for (int c = 0; c < kChannels; ++c) {
            const double decibels = -12.0 + 24.0 * kOther[c];
            EXPECT_EQ(out[c], static_cast<float>(0.5 * std::pow(10.0, decibels / 20.0))) << "channel " << c;
        }
        const Bytes saved = plugin.getChunk();
        ASSERT_EQ(saved.size(), 260u);
        plugin.setParameter(0, 1.0f);
        EXPECT_EQ(plugin.setChunk(saved), 260);
        EXPECT_EQ(Parameters(plugin), kOther);
    }

    PluginLibrary library;
    ScriptedHost host;
};

TEST_F(AllocationFailure, ChunkLoad) {
    Bytes saved;
    {
        auto source = Started(kSaved);
        ASSERT_TRUE(source->valid());
        saved = source->getChunk();
    }
    std::unique_ptr<Plugin> target;
    Bytes handed;  // the host's own buffer, made before the allocation that fails
    VstIntPtr answer = -1;
    const int points = FailEachAllocationInTurn(
        [&] {
            target = Started(kOther);  // a fresh instance: its state buffer is not allocated yet
            ASSERT_TRUE(target->valid());
            handed = saved;
        },
        [&] { answer = target->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(handed.size()), handed.data()); },
        [&](bool failed) {
            EXPECT_EQ(answer, failed ? 0 : 260);
            EXPECT_EQ(Parameters(*target), failed ? kOther : kSaved) << "a failed load changes nothing";
            ExpectWorking(*target);
        });
    EXPECT_GT(points, 0);
}

TEST_F(AllocationFailure, ChunkSave) {
    std::unique_ptr<Plugin> plugin;
    Bytes expected;
    {
        auto reference = Started(kSaved);
        ASSERT_TRUE(reference->valid());
        expected = reference->getChunk();
    }
    void* const untouched = &expected;
    void* data = untouched;
    VstIntPtr answer = -1;
    const int points = FailEachAllocationInTurn(
        [&] {
            plugin = Started(kSaved);
            ASSERT_TRUE(plugin->valid());
            data = untouched;
        },
        [&] { answer = plugin->dispatch(effGetChunk, 0, 0, &data); },
        [&](bool failed) {
            if (failed) {
                EXPECT_EQ(answer, 0);
                EXPECT_EQ(data, untouched) << "no chunk, so no pointer";
            } else {
                ASSERT_EQ(answer, 260);
                const auto* bytes = static_cast<const std::uint8_t*>(data);
                EXPECT_EQ(Bytes(bytes, bytes + 260), expected);
            }
            EXPECT_EQ(plugin->getChunk(), expected);
            ExpectWorking(*plugin);
        });
    EXPECT_GT(points, 0);
}

TEST_F(AllocationFailure, Open) {
    std::unique_ptr<Plugin> plugin;
    VstIntPtr answer = -1;
    const int points = FailEachAllocationInTurn(
        [&] {
            plugin = std::make_unique<Plugin>(host, library.entry());
            ASSERT_TRUE(plugin->valid());
        },
        [&] { answer = plugin->dispatch(effOpen); },
        [&](bool) {
            EXPECT_EQ(answer, 0);
            plugin->setSampleRate(48000.0f);
            plugin->resume();
            ExpectWorking(*plugin);
        });
    EXPECT_GT(points, 0);
}

TEST_F(AllocationFailure, InstanceCreation) {
    AEffect* aeffect = nullptr;
    const int points = FailEachAllocationInTurn(
        [] {},
        [&] { aeffect = host.instantiate(library.entry()); },
        [&](bool failed) {
            if (failed) {
                EXPECT_EQ(aeffect, nullptr) << "a half-built instance reached the host";
            } else {
                ASSERT_NE(aeffect, nullptr);
            }
            if (aeffect != nullptr) Plugin(aeffect).close();
            auto next = Started(kSaved);
            ASSERT_TRUE(next->valid()) << "creation works again";
            ExpectWorking(*next);
        });
    EXPECT_GT(points, 5);
}

}  // namespace
