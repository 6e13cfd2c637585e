// Planar audio buffers as the processing entries take them: one buffer per channel, and the array of
// their addresses that processReplacing and processDoubleReplacing read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <random>
#include <vector>

namespace vsthost {

template <typename Sample>
class ChannelBuffers {
public:
    ChannelBuffers(int channels, int frames, Sample value = Sample(0))
        : data_(static_cast<std::size_t>(channels), std::vector<Sample>(static_cast<std::size_t>(frames), value)) {
        point();
    }
    // A copy gets addresses of its own; a move keeps the buffers, so the addresses stay right.
    ChannelBuffers(const ChannelBuffers& other) : data_(other.data_) { point(); }
    ChannelBuffers& operator=(const ChannelBuffers& other) {
        data_ = other.data_;
        point();
        return *this;
    }
    ChannelBuffers(ChannelBuffers&&) noexcept = default;
    ChannelBuffers& operator=(ChannelBuffers&&) noexcept = default;

    Sample** pointers() noexcept { return pointers_.data(); }
    Sample* channel(int c) noexcept { return data_[static_cast<std::size_t>(c)].data(); }
    const Sample* channel(int c) const noexcept { return data_[static_cast<std::size_t>(c)].data(); }
    // One channel's samples, to compare; they are written through channel().
    const std::vector<Sample>& operator[](int c) const noexcept { return data_[static_cast<std::size_t>(c)]; }
    int channels() const noexcept { return static_cast<int>(data_.size()); }
    int frames() const noexcept { return data_.empty() ? 0 : static_cast<int>(data_.front().size()); }

    void fill(Sample value) {
        for (auto& channel : data_) std::fill(channel.begin(), channel.end(), value);
    }
    // Uniform noise in -1..1, channel after channel.
    void fillNoise(std::mt19937& random) {
        std::uniform_real_distribution<Sample> noise(Sample(-1), Sample(1));
        for (auto& channel : data_)
            for (Sample& sample : channel) sample = noise(random);
    }
    bool operator==(const ChannelBuffers& other) const { return data_ == other.data_; }

private:
    // One slot more than there are channels, so even a plug-in without channels gets a valid array.
    void point() {
        pointers_.assign(data_.size() + 1, nullptr);
        for (std::size_t c = 0; c < data_.size(); ++c) pointers_[c] = data_[c].data();
    }

    std::vector<std::vector<Sample>> data_;
    std::vector<Sample*> pointers_;
};

// For test failure messages: the samples, channel by channel.
template <typename Sample>
std::ostream& operator<<(std::ostream& out, const ChannelBuffers<Sample>& buffers) {
    for (int c = 0; c < buffers.channels(); ++c) {
        out << (c == 0 ? "" : "; ") << "channel " << c << ":";
        for (const Sample sample : buffers[c]) out << ' ' << sample;
    }
    return out;
}

}  // namespace vsthost
