// Reads the levels back from a host's export, in full float precision (sox clips above 1.0).
//
//   wav_levels check FILE INPUT_LEVEL TOLERANCE DB...   every sample of channel c equals
//                                                       INPUT_LEVEL x 10^(DB_c / 20) within TOLERANCE
//   wav_levels match FILE_A FILE_B TOLERANCE            both files hold the same audio within TOLERANCE
//
// Prints what it measured; exits 0 when the check holds, 1 when it does not, 2 on bad usage.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

struct Audio {
    int channels = 0;
    std::vector<float> interleaved;
    std::size_t frames() const { return channels > 0 ? interleaved.size() / static_cast<std::size_t>(channels) : 0; }
};

std::optional<Audio> readAudio(const char* path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", path, sf_strerror(nullptr));
        return std::nullopt;
    }
    Audio audio;
    audio.channels = info.channels;
    audio.interleaved.resize(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t read = sf_readf_float(file, audio.interleaved.data(), info.frames);
    sf_close(file);
    if (read != info.frames) {
        std::fprintf(stderr, "%s: read %lld of %lld frames\n", path, static_cast<long long>(read),
                     static_cast<long long>(info.frames));
        return std::nullopt;
    }
    return audio;
}

std::optional<double> parseNumber(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

int checkLevels(const char* path, double inputLevel, double tolerance, const std::vector<double>& decibels) {
    const auto audio = readAudio(path);
    if (!audio) {
        return 1;
    }
    bool ok = audio->frames() > 0 && static_cast<std::size_t>(audio->channels) == decibels.size();
    std::printf("%s: %d channels, %zu frames\n", path, audio->channels, audio->frames());
    for (int c = 0; c < audio->channels && c < static_cast<int>(decibels.size()); ++c) {
        const double expected = inputLevel * std::pow(10.0, decibels[static_cast<std::size_t>(c)] / 20.0);
        double low = INFINITY;
        double high = -INFINITY;
        std::size_t outside = 0;
        for (std::size_t f = 0; f < audio->frames(); ++f) {
            const double sample = audio->interleaved[f * static_cast<std::size_t>(audio->channels) + static_cast<std::size_t>(c)];
            low = std::fmin(low, sample);
            high = std::fmax(high, sample);
            // Written so that a NaN sample counts as outside.
            if (!(std::fabs(sample - expected) <= tolerance)) {
                ++outside;
            }
        }
        ok = ok && outside == 0;
        std::printf("  ch%d %+6.1f dB: min %.9f max %.9f expected %.9f, %zu samples off by more than %g%s\n", c + 1,
                    decibels[static_cast<std::size_t>(c)], low, high, expected, outside, tolerance,
                    outside == 0 ? "" : "  WRONG");
    }
    if (!ok) {
        std::printf("  level check failed (want %zu channels, nonzero length, every sample within %g)\n",
                    decibels.size(), tolerance);
    }
    return ok ? 0 : 1;
}

int compareAudio(const char* first, const char* second, double tolerance) {
    const auto a = readAudio(first);
    const auto b = readAudio(second);
    if (!a || !b) {
        return 1;
    }
    if (a->channels != b->channels || a->interleaved.size() != b->interleaved.size() || a->frames() == 0) {
        std::printf("%s and %s: different shapes (%d x %zu, %d x %zu)\n", first, second, a->channels, a->frames(),
                    b->channels, b->frames());
        return 1;
    }
    double largest = 0.0;
    std::size_t outside = 0;
    for (std::size_t i = 0; i < a->interleaved.size(); ++i) {
        const double difference = std::fabs(static_cast<double>(a->interleaved[i]) - b->interleaved[i]);
        largest = std::fmax(largest, difference);
        if (!(difference <= tolerance)) {
            ++outside;
        }
    }
    std::printf("%s and %s: largest difference %.3e, %zu samples off by more than %g%s\n", first, second, largest,
                outside, tolerance, outside == 0 ? "" : "  WRONG");
    return outside == 0 ? 0 : 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: wav_levels check FILE INPUT_LEVEL TOLERANCE DB...\n"
                 "       wav_levels match FILE_A FILE_B TOLERANCE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "match") == 0) {
        const auto tolerance = parseNumber(argv[4]);
        return tolerance ? compareAudio(argv[2], argv[3], *tolerance) : usage();
    }
    if (argc < 6 || std::strcmp(argv[1], "check") != 0) {
        return usage();
    }
    const auto inputLevel = parseNumber(argv[3]);
    const auto tolerance = parseNumber(argv[4]);
    std::vector<double> decibels;
    for (int i = 5; i < argc; ++i) {
        const auto db = parseNumber(argv[i]);
        if (!db) {
            return usage();
        }
        decibels.push_back(*db);
    }
    if (!inputLevel || !tolerance) {
        return usage();
    }
    return checkLevels(argv[2], *inputLevel, *tolerance, decibels);
}
