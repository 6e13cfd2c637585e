// Planar audio buffers as the processing entries take them, with noise input and a scan of the output
// for values no host wants to see.
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vsthost {

template <typename Sample>
class ChannelBuffers {
public:
    ChannelBuffers(int channels, int frames)
        : data_(static_cast<std::size_t>(channels), std::vector<Sample>(static_cast<std::size_t>(frames))),
          // One slot more than there are channels, so even a plug-in without channels gets a valid array.
          pointers_(static_cast<std::size_t>(channels) + 1, nullptr) {
        for (int c = 0; c < channels; ++c) pointers_[static_cast<std::size_t>(c)] = data_[static_cast<std::size_t>(c)].data();
    }

    Sample** pointers() noexcept { return pointers_.data(); }
    Sample* channel(int c) noexcept { return data_[static_cast<std::size_t>(c)].data(); }
    const Sample* channel(int c) const noexcept { return data_[static_cast<std::size_t>(c)].data(); }
    int channels() const noexcept { return static_cast<int>(data_.size()); }
    int frames() const noexcept { return data_.empty() ? 0 : static_cast<int>(data_.front().size()); }

    void fill(Sample value) {
        for (auto& channel : data_) std::fill(channel.begin(), channel.end(), value);
    }
    void fillNoise(std::mt19937& random) {
        std::uniform_real_distribution<Sample> noise(Sample(-1), Sample(1));
        for (auto& channel : data_)
            for (Sample& sample : channel) sample = noise(random);
    }
    bool operator==(const ChannelBuffers& other) const { return data_ == other.data_; }

private:
    std::vector<std::vector<Sample>> data_;
    std::vector<Sample*> pointers_;
};

// The first NaN, infinity or denormal in the first frames of every channel, described for a report.
template <typename Sample>
std::optional<std::string> FindBadSample(const ChannelBuffers<Sample>& buffers, int frames) {
    for (int c = 0; c < buffers.channels(); ++c) {
        const Sample* channel = buffers.channel(c);
        for (int f = 0; f < frames; ++f) {
            const Sample value = channel[f];
            const char* kind = std::isnan(value)                          ? "NaN"
                               : std::isinf(value)                        ? "an infinity"
                               : std::fpclassify(value) == FP_SUBNORMAL   ? "a denormal"
                                                                          : nullptr;
            if (kind != nullptr)
                return std::string(kind) + " at channel " + std::to_string(c) + " frame " + std::to_string(f);
        }
    }
    return std::nullopt;
}

}  // namespace vsthost
