// A fixture for tests that drive the built plug-in binary as a host does.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "tools/driver/Plugin.h"
#include "tools/support/ChannelBuffers.h"

class TrimPluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.load(TRIM_PLUGIN_PATH)) << library.error();
        plugin = std::make_unique<vsthost::Plugin>(host, library.entry());
        ASSERT_TRUE(plugin->valid());
    }

    // Runs one block of four channels that all carry `level`; answers the first frame of each output.
    std::array<float, 4> ProcessConstant(float level, VstInt32 frames = 8) {
        vsthost::ChannelBuffers<float> in(4, frames, level), out(4, frames, -99.0f);
        plugin->processReplacing(in.pointers(), out.pointers(), frames);
        return {out[0][0], out[1][0], out[2][0], out[3][0]};
    }

    vsthost::PluginLibrary library;
    vsthost::ScriptedHost host;
    std::unique_ptr<vsthost::Plugin> plugin;  // declared last: closed before the library unloads
};

// A text buffer pre-filled with a marker byte, so a test sees exactly which bytes a call wrote.
struct MarkedBuffer {
    static constexpr char kMark = 0x7F;
    MarkedBuffer() { bytes.fill(kMark); }
    char* data() noexcept { return bytes.data(); }
    bool untouched() const noexcept {
        for (char byte : bytes) {
            if (byte != kMark) return false;
        }
        return true;
    }
    // The number of bytes written before the first marker byte.
    std::size_t written() const noexcept {
        std::size_t n = 0;
        while (n < bytes.size() && bytes[n] != kMark) ++n;
        return n;
    }
    alignas(16) std::array<char, 256> bytes{};
};
