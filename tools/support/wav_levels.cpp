// Reads the levels back from audio a host put out, in full float precision (sox clips above 1.0).
// Shared by the real-host checks (tests/ardour, tests/lmms).
//
//   wav_levels check FILE INPUT_LEVEL TOLERANCE DB...
//       every sample of channel c equals INPUT_LEVEL x 10^(DB_c / 20) within TOLERANCE
//   wav_levels timeline FILE MANIFEST INPUT_LEVEL TOLERANCE SETTLE
//       FILE is a run of level settings, one per MANIFEST line "NAME FIRST FRAMES DB...", back to back
//       from frame 0 to the end of FILE. Each setting holds for all its frames, except that a change
//       of level may land up to SETTLE frames either side of the boundary (a host applies it once per
//       processing block, and may run the effect ahead of the timeline by its output latency): there
//       each channel steps once, straight from the one level to the other, all changing channels on
//       the same frame.
//   wav_levels alongside FILE HOST_FILE MANIFEST TOLERANCE SETTLE
//       HOST_FILE, another host's render of the same timeline as FILE (a MANIFEST as for timeline, a
//       constant input), equals FILE frame for frame within TOLERANCE, except that each change of
//       level may land up to SETTLE frames from its point: between the point and where it landed,
//       HOST_FILE holds FILE's last frame before the point, or already its first frame after it.
//   wav_levels match FILE_A FIRST_A FILE_B FIRST_B FRAMES TOLERANCE
//       FRAMES frames from FIRST_A in FILE_A hold the same audio as those from FIRST_B in FILE_B
//   wav_levels gain FILE REFERENCE TOLERANCE DB...
//       every sample of channel c of FILE equals the same sample of channel c of REFERENCE (the same
//       host's render without the effect) times 10^(DB_c / 20) within TOLERANCE, and no channel of FILE
//       holds more of another REFERENCE channel than its REFERENCE channel does (crosstalk below
//       -60 dB), which REFERENCE's channels must be different enough to show
//
// Prints what it measured; exits 0 when the check holds, 1 when it does not, 2 on bad usage.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Audio {
    int channels = 0;
    std::vector<float> interleaved;
    std::size_t frames() const { return channels > 0 ? interleaved.size() / static_cast<std::size_t>(channels) : 0; }
    double sample(std::size_t frame, int channel) const {
        return interleaved[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
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

std::optional<std::size_t> parseCount(const char* text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || text[0] == '-') {
        return std::nullopt;
    }
    return static_cast<std::size_t>(value);
}

double levelOf(double inputLevel, double decibels) { return inputLevel * std::pow(10.0, decibels / 20.0); }

// Written so that a NaN sample never counts as near.
bool near(double sample, double expected, double tolerance) { return std::fabs(sample - expected) <= tolerance; }

int checkLevels(const char* path, double inputLevel, double tolerance, const std::vector<double>& decibels) {
    const auto audio = readAudio(path);
    if (!audio) {
        return 1;
    }
    bool ok = audio->frames() > 0 && static_cast<std::size_t>(audio->channels) == decibels.size();
    std::printf("%s: %d channels, %zu frames\n", path, audio->channels, audio->frames());
    for (int c = 0; c < audio->channels && c < static_cast<int>(decibels.size()); ++c) {
        const double expected = levelOf(inputLevel, decibels[static_cast<std::size_t>(c)]);
        double low = INFINITY;
        double high = -INFINITY;
        std::size_t outside = 0;
        for (std::size_t f = 0; f < audio->frames(); ++f) {
            const double sample = audio->sample(f, c);
            low = std::fmin(low, sample);
            high = std::fmax(high, sample);
            if (!near(sample, expected, tolerance)) {
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

struct Setting {
    std::string name;
    std::size_t first = 0;
    std::size_t frames = 0;
    std::vector<double> decibels;
};

std::optional<std::vector<Setting>> readManifest(const char* path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open\n", path);
        return std::nullopt;
    }
    std::vector<Setting> settings;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Setting setting;
        fields >> setting.name >> setting.first >> setting.frames;
        for (double db = 0.0; fields >> db;) {
            setting.decibels.push_back(db);
        }
        if (!fields.eof() || setting.frames == 0 || setting.decibels.empty()) {
            std::fprintf(stderr, "%s: cannot read the line '%s'\n", path, line.c_str());
            return std::nullopt;
        }
        settings.push_back(std::move(setting));
    }
    return settings;
}

// Where each setting takes over on one channel: the first frame, within SETTLE of the boundary, that
// no longer holds the previous level. Every frame is then checked against the setting it falls in.
std::vector<std::size_t> switchFrames(const Audio& audio, int channel, const std::vector<Setting>& settings,
                                      double inputLevel, double tolerance, std::size_t settle) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 1; i < settings.size(); ++i) {
        const std::size_t boundary = settings[i].first;
        const double before = levelOf(inputLevel, settings[i - 1].decibels[static_cast<std::size_t>(channel)]);
        const double after = levelOf(inputLevel, settings[i].decibels[static_cast<std::size_t>(channel)]);
        if (near(before, after, tolerance)) {
            starts.push_back(boundary);
            continue;
        }
        std::size_t frame = std::max(starts.back(), boundary > settle ? boundary - settle : 0);
        const std::size_t latest = std::min(boundary + settle, audio.frames());
        while (frame < latest && near(audio.sample(frame, channel), before, tolerance)) {
            ++frame;
        }
        starts.push_back(frame);
    }
    starts.push_back(audio.frames());
    return starts;
}

// The settings run back to back over the whole file, one level per channel, each long enough for a
// change to settle at either end.
bool describes(const std::vector<Setting>& settings, const Audio& audio, std::size_t settle) {
    std::size_t next = 0;
    for (const Setting& setting : settings) {
        if (setting.first != next || setting.decibels.size() != static_cast<std::size_t>(audio.channels) ||
            2 * settle >= setting.frames) {
            std::printf("  %s: the manifest does not describe this file (want frame %zu, %d levels, more than %zu frames)\n",
                        setting.name.c_str(), next, audio.channels, 2 * settle);
            return false;
        }
        next += setting.frames;
    }
    if (settings.empty() || next != audio.frames()) {
        std::printf("  the settings cover %zu frames, the file holds %zu\n", next, audio.frames());
        return false;
    }
    return true;
}

// Where a change of level landed, against its point on the timeline.
std::string landing(long long shift) {
    if (shift == 0) {
        return "changed on its point";
    }
    return "changed " + std::to_string(shift < 0 ? -shift : shift) + " samples " + (shift < 0 ? "before" : "after") +
           " its point";
}

int checkTimeline(const char* path, const char* manifestPath, double inputLevel, double tolerance, std::size_t settle) {
    const auto audio = readAudio(path);
    const auto settings = readManifest(manifestPath);
    if (!audio || !settings) {
        return 1;
    }
    std::printf("%s: %d channels, %zu frames, %zu settings\n", path, audio->channels, audio->frames(), settings->size());
    if (!describes(*settings, *audio, settle)) {
        return 1;
    }
    std::vector<std::vector<std::size_t>> starts;  // per channel, per setting, plus the end
    for (int c = 0; c < audio->channels; ++c) {
        starts.push_back(switchFrames(*audio, c, *settings, inputLevel, tolerance, settle));
    }
    bool ok = true;
    for (std::size_t i = 0; i < settings->size(); ++i) {
        const Setting& setting = (*settings)[i];
        bool settingOk = true;
        std::string problems;
        std::vector<long long> shifts;  // of the channels whose level changes here
        for (int c = 0; c < audio->channels; ++c) {
            const double expected = levelOf(inputLevel, setting.decibels[static_cast<std::size_t>(c)]);
            const std::size_t begin = starts[static_cast<std::size_t>(c)][i];
            const std::size_t end = starts[static_cast<std::size_t>(c)][i + 1];
            if (i > 0 && !near(levelOf(inputLevel, (*settings)[i - 1].decibels[static_cast<std::size_t>(c)]), expected, tolerance)) {
                shifts.push_back(static_cast<long long>(begin) - static_cast<long long>(setting.first));
            }
            std::size_t outside = 0;
            double low = INFINITY;
            double high = -INFINITY;
            for (std::size_t f = begin; f < end; ++f) {
                const double sample = audio->sample(f, c);
                low = std::fmin(low, sample);
                high = std::fmax(high, sample);
                if (!near(sample, expected, tolerance)) {
                    ++outside;
                }
            }
            if (outside != 0) {
                settingOk = false;
                char text[200];
                std::snprintf(text, sizeof text, "\n    ch%d: %zu samples off by more than %g (min %.9f max %.9f, expected %.9f)",
                              c + 1, outside, tolerance, low, high, expected);
                problems += text;
            }
        }
        std::string change;
        if (!shifts.empty()) {
            bool together = true;
            for (const long long shift : shifts) {
                together = together && shift == shifts.front();
            }
            if (together) {
                change = ", level " + landing(shifts.front());
            } else {
                settingOk = false;
                change = ", its channels changed level on different samples";
            }
        }
        std::printf("  %-6s frames %6zu..%6zu ", setting.name.c_str(), setting.first, setting.first + setting.frames - 1);
        for (const double db : setting.decibels) {
            std::printf(" %+5.1f", db);
        }
        std::printf(" dB: %s%s%s\n", settingOk ? "every sample right" : "WRONG", change.c_str(), problems.c_str());
        ok = ok && settingOk;
    }
    return ok ? 0 : 1;
}

// Each frame of HOST is compared with the frame of OURS that holds the same setting: itself, except
// between a boundary and where HOST's change landed, where it is OURS's last frame before the
// boundary (a late change) or its first after it (an early one).
int compareAlongside(const char* path, const char* hostPath, const char* manifestPath, double tolerance,
                     std::size_t settle) {
    const auto ours = readAudio(path);
    const auto host = readAudio(hostPath);
    const auto settings = readManifest(manifestPath);
    if (!ours || !host || !settings) {
        return 1;
    }
    std::printf("%s against %s: %d channels, %zu frames, %zu settings\n", hostPath, path, host->channels,
                host->frames(), settings->size());
    if (ours->channels != host->channels || ours->frames() != host->frames()) {
        std::printf("  cannot compare: %s holds %d channels and %zu frames  WRONG\n", path, ours->channels,
                    ours->frames());
        return 1;
    }
    if (!describes(*settings, *host, settle)) {
        return 1;
    }
    const auto holds = [&](std::size_t hostFrame, std::size_t ourFrame) {
        for (int c = 0; c < host->channels; ++c) {
            if (!near(host->sample(hostFrame, c), ours->sample(ourFrame, c), tolerance)) {
                return false;
            }
        }
        return true;
    };
    std::vector<std::size_t> reference(host->frames());
    for (std::size_t f = 0; f < reference.size(); ++f) {
        reference[f] = f;
    }
    std::vector<std::string> landings{""};
    bool ok = true;
    for (std::size_t i = 1; i < settings->size(); ++i) {
        const std::size_t boundary = (*settings)[i].first;
        const std::size_t earliest = boundary - settle;
        const std::size_t latest = boundary + settle;
        bool changes = false;
        for (int c = 0; c < ours->channels; ++c) {
            changes = changes || !near(ours->sample(boundary - 1, c), ours->sample(boundary, c), tolerance);
        }
        if (!changes) {
            landings.push_back(", no change of level");
            continue;
        }
        std::size_t landed = earliest;
        while (landed < latest && holds(landed, std::min(landed, boundary - 1))) {
            ++landed;
        }
        if (landed == latest) {
            ok = false;
            landings.push_back(", no change of level within " + std::to_string(settle) + " frames of its point  WRONG");
            continue;
        }
        for (std::size_t f = earliest; f < latest; ++f) {
            reference[f] = f < landed ? std::min(f, boundary - 1) : std::max(f, boundary);
        }
        landings.push_back(", " + landing(static_cast<long long>(landed) - static_cast<long long>(boundary)));
    }
    for (std::size_t i = 0; i < settings->size(); ++i) {
        const Setting& setting = (*settings)[i];
        double largest = 0.0;
        std::size_t outside = 0;
        for (std::size_t f = setting.first; f < setting.first + setting.frames; ++f) {
            for (int c = 0; c < host->channels; ++c) {
                const double difference = std::fabs(host->sample(f, c) - ours->sample(reference[f], c));
                largest = std::fmax(largest, difference);
                if (!(difference <= tolerance)) {
                    ++outside;
                }
            }
        }
        ok = ok && outside == 0;
        std::printf("  %-8s frames %6zu..%6zu: largest difference %.3e, %zu samples off by more than %g%s%s\n",
                    setting.name.c_str(), setting.first, setting.first + setting.frames - 1, largest, outside,
                    tolerance, landings[i].c_str(), outside == 0 ? "" : "  WRONG");
    }
    return ok ? 0 : 1;
}

int compareAudio(const char* first, std::size_t fromA, const char* second, std::size_t fromB, std::size_t frames,
                 double tolerance) {
    const auto a = readAudio(first);
    const auto b = readAudio(second);
    if (!a || !b) {
        return 1;
    }
    if (a->channels != b->channels || frames == 0 || fromA + frames > a->frames() || fromB + frames > b->frames()) {
        std::printf("%s (%d x %zu) and %s (%d x %zu): cannot compare %zu frames from %zu and %zu\n", first,
                    a->channels, a->frames(), second, b->channels, b->frames(), frames, fromA, fromB);
        return 1;
    }
    double largest = 0.0;
    std::size_t outside = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < a->channels; ++c) {
            const double difference = std::fabs(a->sample(fromA + f, c) - b->sample(fromB + f, c));
            largest = std::fmax(largest, difference);
            if (!(difference <= tolerance)) {
                ++outside;
            }
        }
    }
    std::printf("%s from %zu and %s from %zu, %zu frames: largest difference %.3e, %zu samples off by more than %g%s\n",
                first, fromA, second, fromB, frames, largest, outside, tolerance, outside == 0 ? "" : "  WRONG");
    return outside == 0 ? 0 : 1;
}

// How much of reference channel `from` channel `to` of `audio` holds: the least-squares factor, exact
// for reference channels that are orthogonal (tones of different whole-cycle frequencies).
double projection(const Audio& audio, int to, const Audio& reference, int from) {
    double product = 0.0;
    double energy = 0.0;
    for (std::size_t f = 0; f < audio.frames(); ++f) {
        product += audio.sample(f, to) * reference.sample(f, from);
        energy += reference.sample(f, from) * reference.sample(f, from);
    }
    return energy > 0.0 ? product / energy : NAN;
}

std::string inDecibels(double factor) {
    char text[40];
    std::snprintf(text, sizeof text, "%+.4f dB", 20.0 * std::log10(std::fabs(factor)));
    return text;
}

int checkGains(const char* path, const char* referencePath, double tolerance, const std::vector<double>& decibels) {
    const auto audio = readAudio(path);
    const auto reference = readAudio(referencePath);
    if (!audio || !reference) {
        return 1;
    }
    std::printf("%s against %s: %d channels, %zu frames\n", path, referencePath, audio->channels, audio->frames());
    if (audio->channels != reference->channels || audio->frames() != reference->frames() || audio->frames() == 0 ||
        static_cast<std::size_t>(audio->channels) != decibels.size()) {
        std::printf("  cannot compare: the reference has %d channels and %zu frames, %zu levels given  WRONG\n",
                    reference->channels, reference->frames(), decibels.size());
        return 1;
    }
    constexpr double separated = 1e-3;  // -60 dB
    bool ok = true;
    for (int c = 0; c < audio->channels; ++c) {
        for (int k = 0; k < audio->channels; ++k) {
            const double shared = projection(*reference, c, *reference, k);
            if (k != c && !(std::fabs(shared) <= 0.1)) {
                std::printf("  the reference's ch%d and ch%d are too alike to tell a swap or a mix  WRONG\n", c + 1, k + 1);
                ok = false;
            }
        }
    }
    for (int c = 0; c < audio->channels; ++c) {
        const double db = decibels[static_cast<std::size_t>(c)];
        const double gain = std::pow(10.0, db / 20.0);
        std::size_t outside = 0;
        double largest = 0.0;
        for (std::size_t f = 0; f < audio->frames(); ++f) {
            const double difference = std::fabs(audio->sample(f, c) - reference->sample(f, c) * gain);
            largest = std::fmax(largest, difference);
            if (!(difference <= tolerance)) {
                ++outside;
            }
        }
        const double measured = projection(*audio, c, *reference, c);
        std::string crosstalk;
        bool channelOk = outside == 0 && std::isfinite(measured);
        for (int k = 0; k < audio->channels; ++k) {
            if (k != c) {
                // Beyond what the reference's own channel c holds of channel k (the tones of a short
                // render are not perfectly orthogonal).
                const double leak =
                    (projection(*audio, c, *reference, k) - measured * projection(*reference, c, *reference, k)) /
                    measured;
                const bool apart = std::fabs(leak) <= separated;
                channelOk = channelOk && apart;
                crosstalk += ", ch" + std::to_string(k + 1) + " in it " + (leak == 0.0 ? "none" : inDecibels(leak)) +
                             (apart ? "" : " (mixed or swapped)");
            }
        }
        ok = ok && channelOk;
        std::printf("  ch%d: %s against the reference (set %+.1f dB), largest difference %.3e, %zu samples off by more "
                    "than %g%s%s\n",
                    c + 1, inDecibels(measured).c_str(), db, largest, outside, tolerance, crosstalk.c_str(),
                    channelOk ? "" : "  WRONG");
    }
    return ok ? 0 : 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: wav_levels check FILE INPUT_LEVEL TOLERANCE DB...\n"
                 "       wav_levels timeline FILE MANIFEST INPUT_LEVEL TOLERANCE SETTLE\n"
                 "       wav_levels alongside FILE HOST_FILE MANIFEST TOLERANCE SETTLE\n"
                 "       wav_levels match FILE_A FIRST_A FILE_B FIRST_B FRAMES TOLERANCE\n"
                 "       wav_levels gain FILE REFERENCE TOLERANCE DB...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "match" && argc == 8) {
        const auto fromA = parseCount(argv[3]);
        const auto fromB = parseCount(argv[5]);
        const auto frames = parseCount(argv[6]);
        const auto tolerance = parseNumber(argv[7]);
        if (!fromA || !fromB || !frames || !tolerance) {
            return usage();
        }
        return compareAudio(argv[2], *fromA, argv[4], *fromB, *frames, *tolerance);
    }
    if (command == "alongside" && argc == 7) {
        const auto tolerance = parseNumber(argv[5]);
        const auto settle = parseCount(argv[6]);
        if (!tolerance || !settle) {
            return usage();
        }
        return compareAlongside(argv[2], argv[3], argv[4], *tolerance, *settle);
    }
    if (command == "timeline" && argc == 7) {
        const auto inputLevel = parseNumber(argv[4]);
        const auto tolerance = parseNumber(argv[5]);
        const auto settle = parseCount(argv[6]);
        if (!inputLevel || !tolerance || !settle) {
            return usage();
        }
        return checkTimeline(argv[2], argv[3], *inputLevel, *tolerance, *settle);
    }
    const bool againstReference = command == "gain";
    if ((command != "check" && !againstReference) || argc < 6) {
        return usage();
    }
    const auto inputLevel = againstReference ? std::optional<double>(0.0) : parseNumber(argv[3]);
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
    if (againstReference) {
        return checkGains(argv[2], argv[3], *tolerance, decibels);
    }
    return checkLevels(argv[2], *inputLevel, *tolerance, decibels);
}
