// The command-line host run as a user runs it: as a separate program, judged by its exit code, what it
// prints and the files it writes. Against our plug-in, two third-party plug-ins from Debian's packages
// and small plug-ins with known faults.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/RunProgram.h"
#include "tests/cli/ValidateReport.h"

namespace fs = std::filesystem;
using vsthost::test::Outcome;
using vsthost::test::Quoted;
using vsthost::test::RunProgram;
using vsthost::test::Slurp;
using vsthost::test::kChecks;
using vsthost::test::ValidateLines;

namespace {

const std::string kLspDelay = "/usr/lib/vst/lsp-plugins/comp-delay-mono.so";
const std::string kZamGrains = "/usr/lib/vst/ZamGrains-vst.so";
const std::string kLspLimiter = "/usr/lib/vst/lsp-plugins/limiter-mono.so";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAllocationsCounted = false;
#else
constexpr bool kAllocationsCounted = true;
#endif

struct Audio {
    int channels = 0;
    int rate = 0;
    int format = 0;
    std::vector<double> samples;  // interleaved
    double at(int frame, int channel) const { return samples[static_cast<std::size_t>(frame * channels + channel)]; }
    int frames() const { return channels == 0 ? 0 : static_cast<int>(samples.size()) / channels; }
};

void WriteAudio(const fs::path& path, const Audio& audio) {
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.rate;
    info.format = audio.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_double(file, audio.samples.data(), audio.frames()), audio.frames());
    sf_close(file);
}

Audio ReadAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    Audio audio;
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return audio;
    }
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_double(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

// Noise between -0.5 and 0.5, so +6 dB still fits a fixed-point file.
Audio Noise(int channels, int frames, int format, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-0.5f, 0.5f);
    Audio audio{channels, 48000, format, {}};
    audio.samples.resize(static_cast<std::size_t>(channels * frames));
    for (double& sample : audio.samples) sample = value(random);
    return audio;
}

class Vsthost : public vsthost::test::ProgramTest {
protected:
    Outcome run(const std::vector<std::string>& args, const std::string& environment = "",
                const std::string& program = VSTHOST_PATH) const {
        return RunProgram(program, args, dir_, environment);
    }

    // Names of the files in the test folder, to see that nothing was left behind.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Vsthost, InfoDescribesOurPluginAsTextAndAsJson) {
    const Outcome text = run({"info", TRIM_PLUGIN_PATH});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Tolvarnesk_multi-channel_level_trimmer_4x_mono"), std::string::npos);
    EXPECT_NE(text.out.find("level mono 4"), std::string::npos);

    const Outcome json = run({"info", "--json", TRIM_PLUGIN_PATH});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto info = nlohmann::json::parse(json.out);
    EXPECT_EQ(info["entry"], "VSTPluginMain");
    EXPECT_EQ(info["uniqueId"], 0);
    EXPECT_EQ(info["effectName"], "Tolvarnesk_multi-channel_level_");
    EXPECT_EQ(info["product"], "Tolvarnesk_multi-channel_level_trimmer_4x_mono");
    EXPECT_EQ(info["vendor"], "Tolvarnesk");
    EXPECT_EQ(info["vendorVersion"], 1000);
    EXPECT_EQ(info["inputs"], 4);
    EXPECT_EQ(info["outputs"], 4);
    EXPECT_EQ(info["flags"], 0x1030);
    EXPECT_TRUE(info["processDoubleReplacing"].get<bool>());
    EXPECT_EQ(info["capabilities"]["receiveVstMidiEvent"], "yes");
    EXPECT_EQ(info["capabilities"]["bypass"], "no");
    ASSERT_EQ(info["programs"].size(), 1u);
    ASSERT_EQ(info["parameters"].size(), 4u);
    for (int p = 0; p < 4; ++p) {
        const auto& parameter = info["parameters"][static_cast<std::size_t>(p)];
        EXPECT_EQ(parameter["name"], "level mono " + std::to_string(p + 1));
        EXPECT_EQ(parameter["value"], 0.5);
        EXPECT_EQ(parameter["display"], "0.00");
    }
}

TEST_F(Vsthost, InfoFindsThirdPartyPluginsThroughEitherEntry) {
    RequirePeer(kLspDelay);
    RequirePeer(kZamGrains);
    const Outcome lsp = run({"info", "--json", kLspDelay});
    ASSERT_EQ(lsp.exitCode, 0) << lsp.err;
    const auto lspInfo = nlohmann::json::parse(lsp.out);
    EXPECT_EQ(lspInfo["entry"], "VSTPluginMain");
    EXPECT_EQ(lspInfo["inputs"], 1);
    EXPECT_EQ(lspInfo["parameters"][10]["name"], "g_out");

    const Outcome zam = run({"info", "--json", kZamGrains});
    ASSERT_EQ(zam.exitCode, 0) << zam.err;
    const auto zamInfo = nlohmann::json::parse(zam.out);
    EXPECT_EQ(zamInfo["entry"], "main");  // it exports no VSTPluginMain
    EXPECT_EQ(zamInfo["parameters"][0]["name"], "Output Gain");
}

TEST_F(Vsthost, RenderTrimsEachChannelByItsOwnDecibels) {
    const Audio input = Noise(4, 3000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteAudio(file("in.wav"), input);
    // Channel 3 stays at its default of 0 dB; channel 4 is set by index and normalised value (0.75 = +6 dB).
    const Outcome render = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "--levels", "-d",
                            "level mono 1=-12", "-d", "Level Mono 2=-3.5", "-p", "3=0.75"});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_NE(render.out.find("-12.00 dB"), std::string::npos) << render.out;
    const Audio output = ReadAudio(file("out.wav"));
    ASSERT_EQ(output.channels, 4);
    ASSERT_EQ(output.frames(), input.frames());
    EXPECT_EQ(output.format, input.format);
    const double decibels[] = {-12.0, -3.5, 0.0, 6.0};
    for (int c = 0; c < 4; ++c) {
        const double gain = std::pow(10.0, decibels[c] / 20.0);
        for (int f = 0; f < input.frames(); ++f) {
            const double expected = input.at(f, c) * gain;
            // Only the final rounding to single precision may separate the result from the maths.
            ASSERT_NEAR(output.at(f, c), expected, std::fabs(expected) * 0x1p-24) << "channel " << c << " frame " << f;
        }
    }
}

TEST_F(Vsthost, RenderInDoublePrecisionAnyBlockSizeAndOtherFormats) {
    const Audio input = Noise(4, 2500, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
    WriteAudio(file("in.wav"), input);
    const std::vector<std::string> gains = {"-d", "0=-7.3", "-d", "1=12", "-d", "2=-12", "-d", "3=0.1"};
    auto render = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"render", TRIM_PLUGIN_PATH, file("in.wav"), file(out)};
        args.insert(args.end(), gains.begin(), gains.end());
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome result = run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
    };
    render("double.wav", {"--double"});
    const Audio output = ReadAudio(file("double.wav"));
    ASSERT_EQ(output.frames(), input.frames());
    const double decibels[] = {-7.3, 12.0, -12.0, 0.1};
    for (int c = 0; c < 4; ++c) {
        const double gain = std::pow(10.0, decibels[c] / 20.0);
        for (int f = 0; f < input.frames(); ++f) {
            const double expected = input.at(f, c) * gain;
            ASSERT_NEAR(output.at(f, c), expected, std::fabs(expected) * 1e-14) << "channel " << c << " frame " << f;
        }
    }
    // Blocks that do not divide the file, and a single frame per call, change nothing.
    render("odd-blocks.wav", {"--double", "-b", "7"});
    render("single-frames.wav", {"--double", "-b", "1"});
    EXPECT_EQ(ReadAudio(file("odd-blocks.wav")).samples, output.samples);
    EXPECT_EQ(ReadAudio(file("single-frames.wav")).samples, output.samples);
    // A chosen format and sample type; +12 dB takes channel 2 past full scale, which must clip, not wrap.
    render("out.flac", {"--format", "flac", "--subtype", "pcm24"});
    const Audio flac = ReadAudio(file("out.flac"));
    EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    ASSERT_EQ(flac.frames(), input.frames());
    for (std::size_t i = 0; i < flac.samples.size(); ++i)
        ASSERT_NEAR(flac.samples[i], std::clamp(output.samples[i], -1.0, 1.0), 1.0 / (1 << 23)) << i;
}

// Full-scale noise with the same bits on every run and build, which <random>'s distributions do not
// promise. PCM files get the integers; float files the integers over 2^31, times 1.25 to pass full scale.
void WriteFullScaleNoise(const fs::path& path, int channels, int frames, int format) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = 48000;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    std::vector<int> integers(static_cast<std::size_t>(channels) * 4096);
    std::vector<float> floats(integers.size());
    for (int done = 0; done < frames;) {
        const int count = std::min(4096, frames - done);
        for (std::size_t i = 0; i < static_cast<std::size_t>(count * channels); ++i) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            integers[i] = static_cast<int>(static_cast<std::int32_t>(state >> 32));
            floats[i] = static_cast<float>(integers[i]) * 0x1p-31f * 1.25f;
        }
        const bool isFloat = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
        ASSERT_EQ(isFloat ? sf_writef_float(file, floats.data(), count) : sf_writef_int(file, integers.data(), count), count);
        done += count;
    }
    sf_close(file);
}

// FNV-1a over the file's format, shape and stored samples: the bytes of the data chunk, or for FLAC,
// which compresses them, the decoded integers. The header is left out because a float WAV's peak
// chunk holds the time of writing.
std::uint64_t AudioHash(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return 0;
    }
    std::uint64_t hash = 0xcbf29ce484222325u;
    auto add = [&hash](const void* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 0x100000001b3u;
    };
    const long long shape[] = {info.format, info.channels, info.samplerate, static_cast<long long>(info.frames)};
    add(shape, sizeof shape);
    // Raw reads take whole frames only: 4096 frames of up to 8 bytes a sample, in a multiple of 3 for 24 bits.
    std::vector<unsigned char> bytes(static_cast<std::size_t>(info.channels) * 4096 * 24);
    std::vector<int> integers(static_cast<std::size_t>(info.channels) * 4096);
    const bool compressed = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
    long long hashed = 0;
    for (;;) {
        const sf_count_t count = compressed ? sf_readf_int(file, integers.data(), 4096) * info.channels * 4
                                            : sf_read_raw(file, bytes.data(), static_cast<sf_count_t>(bytes.size()));
        if (count <= 0) break;
        add(compressed ? static_cast<const void*>(integers.data()) : bytes.data(), static_cast<std::size_t>(count));
        hashed += count;
    }
    if (hashed < info.frames * info.channels) ADD_FAILURE() << "only " << hashed << " bytes of samples read from " << path;
    sf_close(file);
    return hash;
}

// What --levels printed, without the first line, which names the files.
std::string LevelTable(const std::string& out) { return out.substr(std::min(out.size(), out.find('\n') + 1)); }

// The hashes of renders made before render was reworked for speed; any change of a bit fails. Inputs
// of every sample type, blocks that divide nothing, one frame per call, the largest block, both
// precisions, output types chosen, and gains that take integer output past full scale, which clips.
TEST_F(Vsthost, RenderWritesTheSameBitsAsEverBefore) {
    const int frames = 70001;
    WriteFullScaleNoise(file("float.wav"), 4, frames, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteFullScaleNoise(file("pcm16.wav"), 4, frames, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    WriteFullScaleNoise(file("pcm24.wav"), 4, frames, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    WriteFullScaleNoise(file("pcm32.wav"), 4, frames, SF_FORMAT_WAV | SF_FORMAT_PCM_32);
    WriteFullScaleNoise(file("mono.wav"), 1, frames, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteFullScaleNoise(file("mono16.wav"), 1, frames, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    WriteFullScaleNoise(file("pcm24.aiff"), 4, frames, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    WriteFullScaleNoise(file("pcm16.aiff"), 4, frames, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    WriteFullScaleNoise(file("pcm32.w64"), 4, frames, SF_FORMAT_W64 | SF_FORMAT_PCM_32);
    WriteFullScaleNoise(file("mono24.wav"), 1, frames, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24);
    const std::vector<std::string> trims = {"-d", "level mono 1=-6", "-d", "level mono 2=3.5", "-d", "level mono 4=-12"};
    const std::vector<std::string> clipping = {"-d", "level mono 1=12", "-d", "level mono 2=-3", "-d", "level mono 4=6"};
    const struct {
        const char* input;
        const char* output;
        bool ours;  // else the mono test plug-in at a gain of 0.7
        const std::vector<std::string>& gains;
        std::vector<std::string> options;
        std::uint64_t hash;
    } renders[] = {
        {"float.wav", "a.wav", true, trims, {}, 13931932678345791305u},
        {"float.wav", "b.wav", true, trims, {"-b", "7"}, 13931932678345791305u},
        {"float.wav", "c.wav", true, trims, {"-b", "1"}, 13931932678345791305u},
        {"float.wav", "d.wav", true, trims, {"-b", "65536"}, 13931932678345791305u},
        {"float.wav", "e.wav", true, clipping, {"--double", "-b", "333"}, 14646616623534779194u},
        {"float.wav", "f.wav", true, clipping, {"--subtype", "pcm16", "-b", "1000"}, 8558218969110505153u},
        {"float.wav", "g.aiff", true, clipping, {"--format", "aiff", "--subtype", "pcm24"}, 14291897506899378298u},
        {"float.wav", "h.wav", true, trims, {"--subtype", "double", "--double", "-b", "4096"}, 18109069222299448138u},
        {"pcm16.wav", "i.wav", true, clipping, {}, 3315745932463190176u},
        {"pcm16.wav", "j.wav", true, clipping, {"--subtype", "pcmu8", "-b", "3"}, 10466731341686458735u},
        {"pcm24.wav", "k.wav", true, clipping, {"--double", "-b", "4097"}, 7962163237713199034u},
        {"pcm24.wav", "l.flac", true, clipping, {"--format", "flac", "-b", "2048"}, 9800140525866675112u},
        {"pcm24.wav", "m.wav", true, trims, {"--subtype", "float"}, 13626364439261507907u},
        {"pcm32.wav", "n.wav", true, clipping, {"-b", "100"}, 10870910644480884783u},
        {"pcm32.wav", "o.wav", true, clipping, {"--double", "-b", "8191"}, 10090549929227961095u},
        {"mono.wav", "p.wav", false, {}, {"-b", "7"}, 17215574652963000149u},
        {"mono16.wav", "q.wav", false, {}, {}, 6439811959884326768u},
        {"pcm24.aiff", "r.aiff", true, clipping, {"-b", "999"}, 5290196828728224369u},
        {"pcm16.aiff", "s.aiff", true, clipping, {"--double"}, 2053179383391194657u},
        {"pcm16.aiff", "t.wav", true, trims, {"--format", "wav", "--subtype", "float"}, 16178396018060561860u},
        {"pcm32.w64", "u.w64", true, clipping, {"-b", "5"}, 6473503482191625845u},
        {"mono24.wav", "v.wav", false, {}, {"-b", "64"}, 5887851699827857558u},
        {"pcm24.wav", "w.wav", true, clipping, {"-b", "511"}, 5123334791888317026u},
        {"float.wav", "x.rf64", true, trims, {"--format", "rf64", "--subtype", "pcm24"}, 18221434739431565999u},
    };
    for (const auto& render : renders) {
        std::vector<std::string> args = {"render", render.ours ? TRIM_PLUGIN_PATH : QUIRKY_PLUGIN_PATH,
                                         file(render.input), file(render.output)};
        if (!render.ours) args.insert(args.end(), {"-p", "0=1", "-p", "1=0.7"});
        args.insert(args.end(), render.gains.begin(), render.gains.end());
        args.insert(args.end(), render.options.begin(), render.options.end());
        const Outcome result = run(args);
        ASSERT_EQ(result.exitCode, 0) << render.output << ": " << result.err;
        EXPECT_EQ(AudioHash(file(render.output)), render.hash) << render.output << " from " << render.input;
        fs::remove(file(render.output));
    }
    // A plug-in that puts out NaN: the 24-bit file holds what it always held for it.
    const Outcome nan = run({"render", FAULT_PLUGIN_PATH, file("mono.wav"), file("nan.wav"), "--subtype", "pcm24", "-p", "0=1"});
    ASSERT_EQ(nan.exitCode, 0) << nan.err;
    EXPECT_EQ(AudioHash(file("nan.wav")), 2058064266130967580u);
}

// --levels as it always printed them, from the audio in both precisions.
TEST_F(Vsthost, RenderLevelsPrintTheSameFiguresAsEverBefore) {
    WriteFullScaleNoise(file("pcm24.wav"), 4, 30011, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    WriteFullScaleNoise(file("mono.wav"), 1, 30011, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const Outcome single = run({"render", TRIM_PLUGIN_PATH, file("pcm24.wav"), file("single.wav"), "--levels", "-b", "77",
                                "-d", "level mono 1=-6", "-d", "level mono 2=3.5", "-d", "level mono 4=-12"});
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_EQ(LevelTable(single.out),
              "channel      peak in      RMS in    peak out     RMS out      change\n"
              "1              -0.00       -4.79       -6.00      -10.79    -6.00 dB\n"
              "2              -0.00       -4.78       +3.50       -1.28    +3.50 dB\n"
              "3              -0.00       -4.76       -0.00       -4.76    +0.00 dB\n"
              "4              -0.00       -4.76      -12.00      -16.76   -12.00 dB\n"
              "levels in dBFS; change is RMS out over RMS in\n")
        << single.out;
    const Outcome twice = run({"render", TRIM_PLUGIN_PATH, file("pcm24.wav"), file("double.wav"), "--levels", "--double",
                               "-d", "level mono 1=12", "-d", "level mono 3=-0.1"});
    ASSERT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_EQ(LevelTable(twice.out),
              "channel      peak in      RMS in    peak out     RMS out      change\n"
              "1              -0.00       -4.79      +12.00       +7.21   +12.00 dB\n"
              "2              -0.00       -4.78       -0.00       -4.78    +0.00 dB\n"
              "3              -0.00       -4.76       -0.10       -4.86    -0.10 dB\n"
              "4              -0.00       -4.76       -0.00       -4.76    +0.00 dB\n"
              "levels in dBFS; change is RMS out over RMS in\n")
        << twice.out;
    const Outcome mono = run({"render", QUIRKY_PLUGIN_PATH, file("mono.wav"), file("mono-out.wav"), "--levels", "-p",
                              "0=0", "-p", "1=0.3"});
    ASSERT_EQ(mono.exitCode, 0) << mono.err;
    EXPECT_EQ(LevelTable(mono.out),
              "channel      peak in      RMS in    peak out     RMS out      change\n"
              "1              +1.94       -2.88      -14.54      -19.36   -16.48 dB\n"
              "levels in dBFS; change is RMS out over RMS in\n")
        << mono.out;
}

// Rendering streams block by block: two minutes of four channels, which held whole as float samples
// would take 92 MB, render in either precision within 64 MB of resident memory.
TEST_F(Vsthost, RenderHoldsLittleOfTheFileAtOnce) {
    if (!kAllocationsCounted) GTEST_SKIP() << "the address sanitizer's own memory hides the host's";
    WriteFullScaleNoise(file("long.wav"), 4, 120 * 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    for (const bool doublePrecision : {false, true}) {
        std::vector<std::string> args = {"render", TRIM_PLUGIN_PATH, file("long.wav"), file("out.wav"), "-d", "0=-6"};
        if (doublePrecision) args.push_back("--double");
        const Outcome result = run(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(fs::file_size(file("out.wav")), fs::file_size(file("long.wav")));
        rusage usage{};
        ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
        EXPECT_LE(usage.ru_maxrss, 64 * 1024) << "kB at most, " << (doublePrecision ? "double" : "single") << " precision";
    }
}

TEST_F(Vsthost, RenderDrivesThirdPartyPlugins) {
    RequirePeer(kLspDelay);
    RequirePeer(kZamGrains);
    const Audio input = Noise(1, 4000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteAudio(file("mono.wav"), input);
    // LSP's delay compensator at delay 0 is a gain stage: normalised 0.4 on g_out shows -24.03 dB.
    Outcome lsp = run({"render", kLspDelay, file("mono.wav"), file("lsp.wav"), "-p", "g_out=0.4"});
    ASSERT_EQ(lsp.exitCode, 0) << lsp.err;
    lsp = run({"render", kLspDelay, file("mono.wav"), file("lsp-6dB.wav"), "-d", "g_out=-6"});
    ASSERT_EQ(lsp.exitCode, 0) << lsp.err;
    for (const auto& [name, decibels] : {std::pair{"lsp.wav", -24.03}, std::pair{"lsp-6dB.wav", -6.0}}) {
        const Audio output = ReadAudio(file(name));
        ASSERT_EQ(output.frames(), input.frames());
        const double gain = std::pow(10.0, decibels / 20.0);
        // The plug-in shows two decimals of dB, so the gain is known to 0.005 dB.
        for (int f = 0; f < input.frames(); ++f)
            ASSERT_NEAR(output.at(f, 0), input.at(f, 0) * gain, std::fabs(input.at(f, 0) * gain) * 6e-4) << name << " " << f;
    }

    const Outcome zam = run({"render", kZamGrains, file("mono.wav"), file("zam.wav"), "-p", "Output Gain=1"});
    ASSERT_EQ(zam.exitCode, 0) << zam.err;
    const Audio grains = ReadAudio(file("zam.wav"));
    EXPECT_EQ(grains.channels, 1);
    EXPECT_EQ(grains.frames(), input.frames());
    for (const double sample : grains.samples) ASSERT_TRUE(std::isfinite(sample));
}

TEST_F(Vsthost, RenderFailuresSayWhatIsWrongAndLeaveNoOutput) {
    WriteAudio(file("four.wav"), Noise(4, 100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    WriteAudio(file("two.wav"), Noise(2, 100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::ofstream(file("text.so")) << "not a shared library\n";
    std::ofstream(file("garbage.wav")) << "RIFF but not really a wave file";
    std::ofstream(file("kept.wav")) << "an earlier result";
    const std::string out = file("out.wav");
    const std::string plugin = TRIM_PLUGIN_PATH, four = file("four.wav");
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{file("missing.so"), four, out}, "no such file"},
        {{dir_.string(), four, out}, "is a directory"},
        {{file("text.so"), four, out}, "not a loadable shared library"},
        {{NO_ENTRY_PLUGIN_PATH, four, out}, "exports none of VSTPluginMain, main, MAIN"},
        {{NULL_ENTRY_PLUGIN_PATH, four, out}, "returned no instance (null)"},
        {{BAD_MAGIC_PLUGIN_PATH, four, out}, "without the VST magic number"},
        {{plugin, file("two.wav"), out}, "the plug-in expects 4 input channels, the file '" + file("two.wav").string() + "' has 2"},
        {{plugin, file("garbage.wav"), out}, "cannot read audio file"},
        {{plugin, file("absent.wav"), out}, "cannot read audio file"},
        {{plugin, four, out, "-p", "volume=0.5"}, "unknown parameter 'volume'; the plug-in's parameters are: level mono 1"},
        {{plugin, four, out, "-p", "7=0.5"}, "parameter index 7 is out of range"},
        {{plugin, four, out, "-p", "0=1.5"}, "1.5 is outside the normalised range 0 to 1"},
        {{plugin, four, out, "-p", "0=-0.1"}, "outside the normalised range"},
        {{plugin, four, out, "-d", "level mono 1=13"}, "outside the range the plug-in shows: -12 to 12"},
        {{plugin, four, out, "-d", "level mono 1=loud"}, "'loud' is not a number"},
        {{plugin, four, out, "-p", "level mono 1"}, "not of the form KEY=VALUE"},
        {{plugin, four, out, "--format", "mp9"}, "unknown output format 'mp9'"},
        {{plugin, four, out, "--load-state", file("absent.state")}, "cannot read state file"},
        {{plugin, four, file("kept.wav"), "-p", "volume=1"}, "unknown parameter"},
        {{plugin, four, file("no-such-dir/out.wav")}, "cannot create"},
    };
    const std::vector<std::string> before = files();
    for (const auto& failure : cases) {
        std::vector<std::string> args = {"render"};
        args.insert(args.end(), failure.args.begin(), failure.args.end());
        const Outcome result = run(args);
        EXPECT_EQ(result.exitCode, 2) << failure.says;
        EXPECT_NE(result.err.find(failure.says), std::string::npos) << "expected '" << failure.says << "' in: " << result.err;
        EXPECT_EQ(files(), before) << "after the case: " << failure.says;
    }
    EXPECT_EQ(Slurp(file("kept.wav")), "an earlier result");
}

TEST_F(Vsthost, RenderSavesAndLoadsThePluginState) {
    const Audio input = Noise(4, 1000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteAudio(file("in.wav"), input);
    Outcome result = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("set.wav"), "-d", "0=-3", "-d", "2=6", "-d",
                      "3=12", "--save-state", file("trim.state")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string state = Slurp(file("trim.state"));
    ASSERT_EQ(state.size(), 260u);
    EXPECT_EQ(state.substr(0, 4), std::string("\x00\x00\x7A\xC4", 4));  // the marker -1000 as a float

    result = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("loaded.wav"), "--load-state", file("trim.state"),
                  "--save-state", file("again.state")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadAudio(file("loaded.wav")).samples, ReadAudio(file("set.wav")).samples);
    EXPECT_EQ(Slurp(file("again.state")), state);
}

// A damaged project file's state: sliders at +800 dB, NaN, +30 dB and -50 dB.
TEST_F(Vsthost, RenderWithADamagedStateKeepsTheMixFiniteAndSavesSoundValues) {
    const Audio input = Noise(4, 1000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteAudio(file("in.wav"), input);
    std::vector<float> damaged(65, 0.0f);
    damaged[0] = -1000.0f;
    damaged[1] = 800.0f;
    damaged[2] = std::nanf("");
    damaged[3] = 30.0f;
    damaged[4] = -50.0f;
    std::ofstream(file("damaged.state"), std::ios::binary)
        .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size() * 4));

    Outcome result = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("loaded.wav"), "--load-state",
                          file("damaged.state"), "--save-state", file("saved.state")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Audio loaded = ReadAudio(file("loaded.wav"));
    EXPECT_TRUE(std::all_of(loaded.samples.begin(), loaded.samples.end(), [](double x) { return std::isfinite(x); }));

    // The same as the sliders held at the range ends, slider 2 left at its 0 dB.
    result = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("held.wav"), "-d", "0=12", "-d", "2=12", "-d",
                  "3=-12", "--save-state", file("held.state")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(loaded.samples, ReadAudio(file("held.wav")).samples);
    EXPECT_EQ(Slurp(file("saved.state")), Slurp(file("held.state")));
}

TEST_F(Vsthost, RenderShowsProgressOnlyOnATerminal) {
    WriteAudio(file("long.wav"), Noise(4, 3 * 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Outcome piped = run({"render", TRIM_PLUGIN_PATH, file("long.wav"), file("piped.wav")});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    // script(1) gives the host a terminal and copies what appears on it.
    const std::string command = std::string(VSTHOST_PATH) + " render " + Quoted(TRIM_PLUGIN_PATH) + " " +
                                Quoted(file("long.wav")) + " " + Quoted(file("terminal.wav"));
    const Outcome terminal = [&] {
        const fs::path typescript = dir_ / ".typescript";
        const int status = std::system(("script -qec " + Quoted(command) + " " + Quoted(typescript) + " >/dev/null").c_str());
        Outcome seen{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(typescript), ""};
        fs::remove(typescript);
        return seen;
    }();
    ASSERT_EQ(terminal.exitCode, 0);
    EXPECT_NE(terminal.out.find("] 100%"), std::string::npos) << terminal.out;
    // It advances while the file is read, not only at the end.
    std::size_t shown = 0;
    for (std::size_t at = terminal.out.find("\r["); at != std::string::npos; at = terminal.out.find("\r[", at + 1)) ++shown;
    EXPECT_GE(shown, 5u) << terminal.out;
}

TEST_F(Vsthost, ValidatePassesOurPluginOnEveryCheck) {
    const Outcome result = run({"validate", TRIM_PLUGIN_PATH});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const auto lines = ValidateLines(result.out);
    ASSERT_EQ(lines.size(), kChecks.size()) << result.out;
    for (const std::string& check : kChecks) {
        const std::string expected = check == "heap allocations during processing" && !kAllocationsCounted ? "SKIP" : "PASS";
        EXPECT_EQ(lines.at(check).first, expected) << lines.at(check).second;
    }
    // Every text within the bytes its host buffer has; only the parameter names ("level mono 1", 13
    // bytes) go past the published 8, as most hosts allow.
    const std::string texts = lines.at("text buffers").second;
    const std::string notes = "; note: parameter texts not within 8 bytes with their zero: effGetParamName of 4 "
                              "parameters (up to 13 bytes)";
    EXPECT_EQ(texts.substr(texts.size() - std::min(texts.size(), notes.size())), notes) << texts;
}

TEST_F(Vsthost, ValidateReportsThirdPartyPluginsAsTheyAre) {
    RequirePeer(kLspDelay);
    RequirePeer(kZamGrains);
    // LSP keeps its state in chunks, but a loaded state does not give back the normalised values that
    // getParameter answered before the save: the one check it fails.
    const Outcome lsp = run({"validate", kLspDelay});
    EXPECT_EQ(lsp.exitCode, 1) << lsp.out;
    const auto lspLines = ValidateLines(lsp.out);
    ASSERT_EQ(lspLines.size(), kChecks.size()) << lsp.out;
    // ZamGrains keeps no state chunk, so the state check is skipped; it passes the rest.
    const Outcome zam = run({"validate", kZamGrains});
    EXPECT_EQ(zam.exitCode, 0) << zam.out;
    const auto zamLines = ValidateLines(zam.out);
    ASSERT_EQ(zamLines.size(), kChecks.size()) << zam.out;
    for (const std::string& check : kChecks) {
        const bool counted = check != "heap allocations during processing" || kAllocationsCounted;
        EXPECT_EQ(lspLines.at(check).first, check == "state save and load" ? "FAIL" : counted ? "PASS" : "SKIP")
            << lspLines.at(check).second;
        EXPECT_EQ(zamLines.at(check).first, check == "state save and load" || !counted ? "SKIP" : "PASS")
            << zamLines.at(check).second;
    }
    // Every display text comes back, but the output of the instance that loaded the state differs.
    EXPECT_NE(lspLines.at("state save and load").second.find("expected the same output as the instance whose state was saved"),
              std::string::npos);
}

TEST_F(Vsthost, ValidateFailsTheChecksAFaultyPluginBreaks) {
    const Outcome result = run({"validate", FAULT_PLUGIN_PATH});
    EXPECT_EQ(result.exitCode, 1) << result.out;
    const auto lines = ValidateLines(result.out);
    ASSERT_EQ(lines.size(), kChecks.size()) << result.out;
    const std::map<std::string, std::string> failures = {
        {"0-frame blocks", "expected 0-frame calls to leave the outputs untouched; seen output channel 0 frame 0 written"},
        {"in-place buffers", "crashed with signal 6"},
        {"state save and load", "expected every normalised value within 9.99999975e-05 of the saving instance's"},
        {"parameter fuzz", "expected finite, normal output; seen NaN at channel 0 frame 0 after parameter 0 (gain) set to 1"},
        {"heap allocations during processing", "expected no heap allocation while processing; seen 256 in 256 calls"},
    };
    for (const std::string& check : kChecks) {
        const auto failure = failures.find(check);
        if (failure == failures.end()) {
            EXPECT_EQ(lines.at(check).first, "PASS") << lines.at(check).second;
        } else if (check == "heap allocations during processing" && !kAllocationsCounted) {
            EXPECT_EQ(lines.at(check).first, "SKIP") << lines.at(check).second;
        } else {
            EXPECT_EQ(lines.at(check).first, "FAIL") << lines.at(check).second;
            EXPECT_NE(lines.at(check).second.find(failure->second), std::string::npos) << lines.at(check).second;
        }
    }
}

// What xmllint, a real XML parser, finds at the XPath in the file, or why it could not read the file.
std::string XPathIn(const fs::path& xml, const std::string& path) {
    const fs::path answer = xml.string() + ".xpath";
    const int status = std::system(("xmllint --noout --xpath " + Quoted("string(" + path + ")") + " " + Quoted(xml) +
                                    " >/dev/null 2>&1 && xmllint --xpath " + Quoted("string(" + path + ")") + " " +
                                    Quoted(xml) + " >" + Quoted(answer) + " 2>&1")
                                       .c_str());
    std::string text = Slurp(answer);
    fs::remove(answer);
    if (!text.empty() && text.back() == '\n') text.pop_back();  // what xmllint adds
    return status == 0 ? text : "xmllint cannot read the file: " + text;
}

void RequireXmllint() {
    if (std::system("command -v xmllint >/dev/null") != 0)
        GTEST_SKIP() << "xmllint is not installed (Debian's libxml2-utils; scripts/install-deps.sh installs it)";
}

// The report for machines: one object per check with its verdict, what it expected and saw, and how
// long it took; the same in JUnit XML, which a real parser reads. A path with characters XML must
// escape and a byte that is not UTF-8 must not spoil the file.
TEST_F(Vsthost, ValidateReportsEachCheckAsJsonAndJUnit) {
    RequireXmllint();
    const fs::path plugin = file("fault & <\xff>.so");
    fs::copy_file(FAULT_PLUGIN_PATH, plugin);
    const Outcome result =
        run({"validate", plugin, "--only", "load,info,zero-frames,in-place", "--json", "--junit", file("report.xml")});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const nlohmann::json report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["seed"], 1);
    EXPECT_EQ(report["sampleRates"], nlohmann::json::parse("[44100, 48000, 96000]"));
    EXPECT_EQ(report["blockSizes"], nlohmann::json::parse("[1, 32, 64, 512, 1024, 4096]"));
    EXPECT_EQ(report["passed"], 2);
    EXPECT_EQ(report["failed"], 2);
    EXPECT_EQ(report["skipped"], 0);
    EXPECT_EQ(report["stopped"], false);
    const nlohmann::json& checks = report["checks"];
    ASSERT_EQ(checks.size(), 4u) << result.out;
    const std::vector<std::vector<std::string>> expected = {
        {"load", "load and instantiate", "pass", "the binary to load and give an instance", "entry VSTPluginMain"},
        {"info", "info", "pass", "consistent counts, flags, entry points and normalised parameter values", ""},
        {"zero-frames", "0-frame blocks", "fail", "0-frame calls to leave the outputs untouched",
         "output channel 0 frame 0 written"},
        {"in-place", "in-place buffers", "fail", "the check 'in-place buffers' to finish", "crashed with signal 6"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i][0]);
        EXPECT_EQ(checks[i].size(), 6u) << checks[i];
        EXPECT_EQ(checks[i]["id"], expected[i][0]);
        EXPECT_EQ(checks[i]["name"], expected[i][1]);
        EXPECT_EQ(checks[i]["verdict"], expected[i][2]);
        EXPECT_EQ(checks[i]["expected"], expected[i][3]);
        EXPECT_NE(checks[i]["seen"].get<std::string>().find(expected[i][4]), std::string::npos) << checks[i]["seen"];
        EXPECT_GT(checks[i]["durationSeconds"].get<double>(), 0.0);
        EXPECT_LT(checks[i]["durationSeconds"].get<double>(), 600.0);
    }
    const fs::path xml = file("report.xml");
    EXPECT_EQ(XPathIn(xml, "count(/testsuites/testsuite/testcase)"), "4");
    EXPECT_EQ(XPathIn(xml, "/testsuites/testsuite/@tests"), "4");
    EXPECT_EQ(XPathIn(xml, "/testsuites/testsuite/@failures"), "2");
    EXPECT_EQ(XPathIn(xml, "/testsuites/@failures"), "2");
    EXPECT_EQ(XPathIn(xml, "/testsuites/testsuite/@skipped"), "0");
    EXPECT_EQ(XPathIn(xml, "/testsuites/testsuite/@name"), plugin.string().substr(0, plugin.string().size() - 6) +
                                                              "<\xEF\xBF\xBD>.so");
    EXPECT_EQ(XPathIn(xml, "count(//testcase[failure])"), "2");
    EXPECT_EQ(XPathIn(xml, "//testcase[@name='0-frame blocks']/failure/@message"),
              "expected 0-frame calls to leave the outputs untouched; seen " + checks[2]["seen"].get<std::string>());
    EXPECT_EQ(XPathIn(xml, "//testcase[@name='info']/system-out"), checks[1]["seen"].get<std::string>());
    EXPECT_GT(std::stod(XPathIn(xml, "//testcase[@name='load and instantiate']/@time")), 0.0);
    // The lines without --json say the same.
    const auto lines = ValidateLines(run({"validate", plugin, "--only", "zero-frames"}).out);
    EXPECT_NE(lines.at("0-frame blocks").second.find("expected 0-frame calls to leave the outputs untouched; seen output "
                                                     "channel 0 frame 0 written"),
              std::string::npos);
}

// --only and --skip take ids or names; the exit code is the checks' that ran. A name that is no
// check's, or a choice that leaves none, is a usage error that lists the checks.
TEST_F(Vsthost, ValidateRunsTheChecksChosenByOnlyAndSkip) {
    const Outcome chosen = run({"validate", FAULT_PLUGIN_PATH, "--only", "programs", "--only", "0-frame blocks,texts"});
    EXPECT_EQ(chosen.exitCode, 1) << chosen.out;
    const auto chosenLines = ValidateLines(chosen.out);
    ASSERT_EQ(chosenLines.size(), 3u) << chosen.out;
    EXPECT_EQ(chosenLines.at("0-frame blocks").first, "FAIL");
    EXPECT_EQ(chosenLines.at("programs").first, "PASS");
    EXPECT_EQ(chosenLines.at("text buffers").first, "PASS");
    EXPECT_NE(chosen.out.find("3 checks: 2 passed, 1 failed, 0 skipped"), std::string::npos) << chosen.out;
    // Skipping the checks the faulty plug-in fails leaves a pass.
    const Outcome rest = run({"validate", FAULT_PLUGIN_PATH, "--skip", "zero-frames,in-place,state,fuzz,allocations",
                              "--skip", "processing", "--skip", "open-close-cold,open-close-warm,second-thread"});
    EXPECT_EQ(rest.exitCode, 0) << rest.out;
    const auto restLines = ValidateLines(rest.out);
    EXPECT_EQ(restLines.size(), 6u) << rest.out;
    EXPECT_EQ(restLines.count("parameter fuzz"), 0u);
    EXPECT_EQ(restLines.count("processing at 48000 Hz"), 0u);
    for (const auto& [name, line] : restLines) EXPECT_EQ(line.first, "PASS") << line.second;
    const std::string list = "the checks are: load, open-close-cold, open-close-warm, instances, info, texts, programs, "
                             "processing, zero-frames, in-place, sub-block-automation, second-thread, state, allocations, fuzz";
    for (const auto& args : {std::vector<std::string>{"--only", "info,nosuch"}, std::vector<std::string>{"--skip", "nosuch"}}) {
        std::vector<std::string> command = {"validate", TRIM_PLUGIN_PATH};
        command.insert(command.end(), args.begin(), args.end());
        const Outcome unknown = run(command);
        EXPECT_EQ(unknown.exitCode, 2) << unknown.out;
        EXPECT_EQ(unknown.out, "");
        EXPECT_NE(unknown.err.find("there is no check named 'nosuch'; " + list), std::string::npos) << unknown.err;
    }
    const Outcome none = run({"validate", TRIM_PLUGIN_PATH, "--only", "info", "--skip", "info"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("--only and --skip leave no check to run"), std::string::npos) << none.err;
}

// The processing checks run at the rates and in the block sizes given, one check per rate.
TEST_F(Vsthost, ValidateProcessesAtTheRatesAndBlockSizesGiven) {
    const Outcome result = run({"validate", TRIM_PLUGIN_PATH, "--only", "processing", "--sample-rates", "22050,88200.5",
                                "--block-sizes", "7", "--block-sizes", "300", "--json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["sampleRates"], nlohmann::json::parse("[22050, 88200.5]"));
    EXPECT_EQ(report["blockSizes"], nlohmann::json::parse("[7, 300]"));
    ASSERT_EQ(report["checks"].size(), 2u) << result.out;
    EXPECT_EQ(report["checks"][0]["name"], "processing at 22050 Hz");
    EXPECT_EQ(report["checks"][1]["name"], "processing at 88200.5 Hz");
    for (const auto& check : report["checks"]) {
        EXPECT_EQ(check["verdict"], "pass");
        EXPECT_NE(check["seen"].get<std::string>().find("noise in blocks of 7 300, float and double"), std::string::npos)
            << check["seen"];
    }
    const struct {
        std::vector<std::string> args;
        std::string says;
    } mistakes[] = {
        {{"--block-sizes", "0"}, "--block-sizes"},
        {{"--block-sizes", "64,x"}, "--block-sizes"},
        {{"--sample-rates", "-48000"}, "--sample-rates"},
        {{"--sample-rates", "48000,48000"}, "the sample rate 48000 is given twice"},
    };
    for (const auto& mistake : mistakes) {
        std::vector<std::string> command = {"validate", TRIM_PLUGIN_PATH};
        command.insert(command.end(), mistake.args.begin(), mistake.args.end());
        const Outcome refused = run(command);
        EXPECT_EQ(refused.exitCode, 2) << mistake.says;
        EXPECT_NE(refused.err.find(mistake.says), std::string::npos) << refused.err;
    }
}

TEST_F(Vsthost, TruncatedPluginFilesAreRefusedBeforeAnythingMapsThem) {
    const std::string whole = Slurp(TRIM_PLUGIN_PATH);
    WriteAudio(file("four.wav"), Noise(4, 100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    for (const std::size_t size : {std::size_t{64}, std::size_t{1000}, std::size_t{20000}, std::size_t{60000},
                                   whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        std::ofstream(file("cut.so"), std::ios::binary).write(whole.data(), static_cast<std::streamsize>(size));
        for (const auto& args : {std::vector<std::string>{"info", file("cut.so")},
                                 std::vector<std::string>{"validate", file("cut.so")},
                                 std::vector<std::string>{"render", file("cut.so"), file("four.wav"), file("out.wav")}}) {
            const Outcome result = run(args);
            EXPECT_EQ(result.exitCode, 2) << result.err;
            EXPECT_NE(result.err.find("cannot load plug-in '" + file("cut.so").string() + "': the file is truncated or damaged"),
                      std::string::npos) << result.err;
        }
    }
    EXPECT_FALSE(fs::exists(file("out.wav")));
}

// A file that starts as a Windows DLL for the machine type (0x14C i386, 0x8664 x86-64) and ends there.
void WritePeHeader(const fs::path& path, unsigned machine) {
    std::string bytes(512, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[60] = '\x80';  // the PE header's offset
    bytes.replace(0x80, 4, std::string("PE\0\0", 4));
    bytes[0x84] = static_cast<char>(machine & 0xFF);
    bytes[0x85] = static_cast<char>(machine >> 8);
    std::ofstream(path, std::ios::binary) << bytes;
}

// Stands in for tools/wine-run: keeps its arguments and Wine's debug setting, then ends with
// FAKE_WINE_EXIT. Asked to probe, it answers that no such programs run here.
void WriteFakeWineRun(const fs::path& path) {
    std::ofstream(path) << "#!/bin/sh\n"
                           "if [ \"$2\" = --probe ]; then echo 'none: the kernel runs no i386 programs here'; exit 1; fi\n"
                           "printf '%s\\n' \"$@\" \"WINEDEBUG=$WINEDEBUG\" > \"$(dirname \"$0\")/wine-run-arguments\"\n"
                           "echo 'the Windows build ran'\n"
                           "exit \"${FAKE_WINE_EXIT:-0}\"\n";
    fs::permissions(path, fs::perms::owner_all);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// A DLL given to info, validate or bench goes to the Windows build of its bitness, through wine-run,
// with the command's options and the paths as Wine's drive Z: shows them; its exit code comes back.
TEST_F(Vsthost, WindowsDllsRunWithTheWindowsBuildOfTheirBitnessUnderWine) {
    WriteFakeWineRun(file("wine-run"));
    std::ofstream(file("vsthost-win32.exe")) << "stands in for the 32-bit build";
    std::ofstream(file("vsthost-win64.exe")) << "stands in for the 64-bit build";
    WritePeHeader(file("plugin32.dll"), 0x14C);
    WritePeHeader(file("plugin64.dll"), 0x8664);
    WritePeHeader(file("other64.dll"), 0x8664);
    const std::string environment = "VSTHOST_WINE_RUN=" + Quoted(file("wine-run")) + " VSTHOST_WIN32=" +
                                    Quoted(file("vsthost-win32.exe")) + " VSTHOST_WIN64=" +
                                    Quoted(file("vsthost-win64.exe")) + " FAKE_WINE_EXIT=1";
    std::string z = "Z:" + dir_.string() + "/";  // the test folder as Wine's programs see it
    std::replace(z.begin(), z.end(), '/', '\\');
    const struct {
        std::vector<std::string> args;
        std::string here;  // a shell prefix, e.g. to run in the test folder
        std::vector<std::string> passed;
    } cases[] = {
        {{"validate", file("plugin32.dll"), "--timeout-factor", "2.5", "--seed", "7"},
         "",
         {"win32", file("vsthost-win32.exe"), "validate", z + "plugin32.dll", "--seed", "7", "--timeout-factor", "2.5"}},
        {{"info", "plugin64.dll", "--json"},
         "cd " + Quoted(dir_.string()) + " &&",
         {"win64", file("vsthost-win64.exe"), "info", z + "plugin64.dll", "--json"}},
        {{"validate", "plugin64.dll", "--only", "info,load", "--skip", "fuzz", "--sample-rates", "22050", "--block-sizes",
          "16,32", "--json", "--junit", "report.xml"},
         "cd " + Quoted(dir_.string()) + " &&",
         {"win64", file("vsthost-win64.exe"), "validate", z + "plugin64.dll", "--seed", "1", "--timeout-factor", "1",
          "--only", "info", "--only", "load", "--skip", "fuzz", "--sample-rates", "22050", "--block-sizes", "16",
          "--block-sizes", "32", "--json", "--junit", z + "report.xml"}},
        {{"bench", file("plugin64.dll"), file("other64.dll"), "-b", "64", "-p", "2:gain=0.5", "-d", "level=-3"},
         "",
         {"win64", file("vsthost-win64.exe"), "bench", z + "plugin64.dll", z + "other64.dll", "--block", "64", "--rounds",
          "15", "--frames", "262144", "--rate", "48000", "--param", "2:gain=0.5", "--param-display", "level=-3"}},
    };
    for (const auto& command : cases) {
        SCOPED_TRACE(command.args.front());
        const Outcome result = run(command.args, command.here + " " + environment);
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_EQ(result.out, "the Windows build ran\n");
        std::vector<std::string> expected = command.passed;
        expected.push_back("WINEDEBUG=-all");  // Wine's own messages stay off unless the caller asks for them
        EXPECT_EQ(Lines(Slurp(file("wine-run-arguments"))), expected);
    }
}

TEST_F(Vsthost, WindowsDllsThatCannotRunHereAreErrorsThatSayWhy) {
    WriteFakeWineRun(file("wine-run"));
    std::ofstream(file("vsthost-win32.exe")) << "stands in for the 32-bit build";
    WritePeHeader(file("plugin32.dll"), 0x14C);
    WritePeHeader(file("plugin64.dll"), 0x8664);
    WriteAudio(file("mono.wav"), Noise(1, 100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const std::string build = "VSTHOST_WIN32=" + Quoted(file("vsthost-win32.exe")) + " ";
    const std::string wineRun = "VSTHOST_WINE_RUN=" + Quoted(file("wine-run")) + " ";
    const std::string dll = file("plugin32.dll");
    const struct {
        std::vector<std::string> args;
        std::string environment;
        std::string says;
    } cases[] = {
        {{"validate", dll}, "VSTHOST_WIN32=" + Quoted(file("absent.exe")),
         "VSTHOST_WIN32 names '" + file("absent.exe").string() + "', which is not a file"},
        {{"info", dll}, build + "VSTHOST_WINE_RUN=" + Quoted(file("absent")),
         "cannot run Windows programs: wine-run ('" + file("absent").string() + "') is not an executable file"},
        {{"validate", dll}, build + wineRun + "FAKE_WINE_EXIT=125",
         "32-bit Windows programs cannot run here: the kernel runs no i386 programs here"},
        {{"render", dll, file("mono.wav"), file("out.wav")}, build + wineRun,
         "it is a 32-bit Windows DLL, and this vsthost loads only 64-bit Linux plug-ins; vsthost runs a Windows DLL "
         "under Wine with its Windows build for info, validate and bench, not for render"},
        {{"bench", TRIM_PLUGIN_PATH, dll}, build + wineRun, "is not: Windows DLLs and Linux plug-ins are run apart"},
        {{"bench", dll, file("plugin64.dll")}, build + wineRun,
         "is a 32-bit Windows DLL and '" + file("plugin64.dll").string() + "' a 64-bit Windows DLL: one run takes DLLs of one bitness"},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.says);
        const Outcome result = run(failure.args, failure.environment);
        EXPECT_EQ(result.exitCode, 2) << result.out;
        EXPECT_NE(result.err.find(failure.says), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(file("out.wav")));
}

TEST_F(Vsthost, ABareFileNameMeansTheFileInTheCurrentFolder) {
    fs::copy_file(TRIM_PLUGIN_PATH, file("TolvarneskLevelTrimmer4x.so"));
    std::ofstream(file("libsndfile.so.1")) << "a local file that only shares the name of a system library\n";
    const std::string here = "cd " + Quoted(dir_.string()) + " &&";
    const Outcome ours = run({"info", "TolvarneskLevelTrimmer4x.so"}, here);
    EXPECT_EQ(ours.exitCode, 0) << ours.err;
    EXPECT_NE(ours.out.find("level mono 4"), std::string::npos) << ours.out;
    const Outcome local = run({"info", "libsndfile.so.1"}, here);
    EXPECT_EQ(local.exitCode, 2) << local.out;
    EXPECT_NE(local.err.find("'libsndfile.so.1': not a loadable shared library (./libsndfile.so.1:"), std::string::npos)
        << local.err;
}

TEST_F(Vsthost, RenderLeavesNothingBehindWhenThePluginCrashesExitsOrHangs) {
    WriteAudio(file("long.wav"), Noise(1, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const std::vector<std::string> before = files();
    const std::vector<std::string> render = {"render", QUIRKY_PLUGIN_PATH, file("long.wav"), file("out.wav"), "-b", "1"};
    const struct {
        std::string prefix;
        int exitCode;
        std::string says;
    } cases[] = {
        {"VSTHOST_TEST_QUIRK=crashes-in-processing", 2, "the plug-in crashed with SIGSEGV while rendering"},
        {"VSTHOST_TEST_QUIRK=exits-in-processing", 2, "the plug-in ended the process while rendering"},
        {"VSTHOST_TEST_QUIRK=hangs-in-processing timeout -s INT 1.5", 124, ""},
        {"VSTHOST_TEST_QUIRK=hangs-in-processing timeout -s TERM 1.5", 124, ""},
        {"VSTHOST_TEST_QUIRK=hangs-in-processing timeout -s KILL 1.5", 137, ""},
    };
    for (const auto& ending : cases) {
        SCOPED_TRACE(ending.prefix);
        const Outcome result = run(render, ending.prefix);
        EXPECT_EQ(result.exitCode, ending.exitCode) << result.err;
        EXPECT_NE(result.err.find(ending.says), std::string::npos) << result.err;
        EXPECT_EQ(files(), before);
    }
}

TEST_F(Vsthost, CommandLineMistakesExitWithTwoAndSaySo) {
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"render", TRIM_PLUGIN_PATH, "in.wav", "out.wav", "-b", "abc"}, "Could not convert: --block = abc"},
        {{"render", TRIM_PLUGIN_PATH, "in.wav"}, "output is required"},
        {{"info", TRIM_PLUGIN_PATH, "extra"}, "not expected: extra"},
        {{"validate", TRIM_PLUGIN_PATH, "--timeout-factor", "0"}, "--timeout-factor"},
        {{"frobnicate"}, "A subcommand is required"},
        {{"bench", TRIM_PLUGIN_PATH, "-p", "99999999999:0=0.5"},
         "parameter setting '99999999999:0=0.5' names plug-in 99999999999, but 1 were given"},
    };
    for (const auto& mistake : cases) {
        const Outcome result = run(mistake.args);
        EXPECT_EQ(result.exitCode, 2) << mistake.says;
        EXPECT_NE(result.err.find(mistake.says), std::string::npos) << result.err;
    }
    EXPECT_EQ(run({"render", "--help"}).exitCode, 0);
}

TEST_F(Vsthost, RenderWarnsOfAStateThePluginIgnores) {
    WriteAudio(file("mono.wav"), Noise(1, 100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const float quarter = 0.25f;
    std::ofstream(file("gain.state"), std::ios::binary).write(reinterpret_cast<const char*>(&quarter), sizeof quarter);
    const Outcome ignored = run({"render", FAULT_PLUGIN_PATH, file("mono.wav"), file("out.wav"), "--load-state",
                                 file("gain.state")});
    EXPECT_EQ(ignored.exitCode, 0) << ignored.err;
    EXPECT_NE(ignored.err.find("warning: the plug-in ignored the state in '" + file("gain.state").string() + "'"),
              std::string::npos) << ignored.err;

    WriteAudio(file("four.wav"), Noise(4, 100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_EQ(run({"render", TRIM_PLUGIN_PATH, file("four.wav"), file("set.wav"), "-d", "0=-3", "--save-state",
                   file("trim.state")}).exitCode, 0);
    const Outcome taken = run({"render", TRIM_PLUGIN_PATH, file("four.wav"), file("again.wav"), "--load-state",
                               file("trim.state")});
    EXPECT_EQ(taken.exitCode, 0) << taken.err;
    EXPECT_EQ(taken.err, "");
}

// One plug-in, one quirk at a time: each verdict must come from its quirk, and every other check passes.
TEST_F(Vsthost, ValidateJudgesEachQuirkByItsOwnCheck) {
    const std::string counted = kAllocationsCounted ? "PASS" : "SKIP";
    const struct {
        std::string quirk;
        std::vector<std::string> options;
        int exitCode;
        std::map<std::string, std::pair<std::string, std::string>> verdicts;  // check: status, part of the line
    } cases[] = {
        {"", {}, 0, {}},
        {"throws", {}, 1,
         {{"state save and load", {"FAIL", "expected the check 'state save and load' to finish; seen an exception "
                                           "escaped: std::bad_alloc"}}}},
        // Its own thread allocates during every processing call; the processing thread does not.
        {"allocates-elsewhere", {}, 0, {{"heap allocations during processing", {counted, ""}}}},
        {"differs", {}, 1,
         {{"in-place buffers", {"SKIP", "output differs between identical instances"}},
          {"several instances at once", {"FAIL", "two instances with equal settings and input to give equal output"}},
          {"state save and load", {"PASS", "output not compared (two identical instances differ)"}}}},
        {"snaps-state", {}, 0,
         {{"state save and load", {"PASS", "every display text as saved, normalised values within 9.99999975e-05, "
                                           "output identical"}}}},
        {"hangs-in-programs", {"--timeout-factor", "0.1"}, 1,
         {{"programs", {"FAIL", "expected the check 'programs' to finish; seen no answer within 6 s (a hang)"}}}},
        {"slow-second-thread", {"--timeout-factor", "0.1"}, 1,
         {{"parameters from a second thread",
           {"FAIL", "expected at least 1000 parameter changes from a second thread within 2 s of processing"}}}},
        // Past a name's published size is a failure; past a parameter text's, common practice, a note.
        {"long-names", {}, 1,
         {{"text buffers", {"FAIL", "seen effGetEffectName wrote 47 bytes into a buffer of 32, effGetProgramNameIndexed "
                                    "of program 0 wrote 31 bytes into a buffer of 24; note: parameter texts not "
                                    "within 8 bytes with their zero: effGetParamName of 1 parameter (up to 26 bytes)"}}}},
        {"unterminated-names", {}, 1,
         {{"text buffers", {"FAIL", "seen effGetProgramName wrote 24 bytes with no terminating zero; note: parameter "
                                    "texts not within 8 bytes with their zero: effGetParamDisplay of 1 parameter (up "
                                    "to 8 bytes), 1 of them with no terminating zero"}}}},
    };
    for (const auto& quirk : cases) {
        SCOPED_TRACE("quirk '" + quirk.quirk + "'");
        std::vector<std::string> args = {"validate", QUIRKY_PLUGIN_PATH};
        args.insert(args.end(), quirk.options.begin(), quirk.options.end());
        const Outcome result = run(args, "VSTHOST_TEST_QUIRK=" + quirk.quirk);
        EXPECT_EQ(result.exitCode, quirk.exitCode) << result.out << result.err;
        const auto lines = ValidateLines(result.out);
        ASSERT_EQ(lines.size(), kChecks.size()) << result.out;
        for (const std::string& check : kChecks) {
            const auto verdict = quirk.verdicts.find(check);
            const std::string status = verdict != quirk.verdicts.end()             ? verdict->second.first
                                       : check == "heap allocations during processing" ? counted
                                                                                    : "PASS";
            EXPECT_EQ(lines.at(check).first, status) << lines.at(check).second;
            if (verdict != quirk.verdicts.end()) {
                EXPECT_NE(lines.at(check).second.find(verdict->second.second), std::string::npos) << lines.at(check).second;
            }
        }
        const int failed = static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                                          [](const auto& line) { return line.second.first == "FAIL"; }));
        EXPECT_NE(result.out.find(std::to_string(failed) + " failed"), std::string::npos) << result.out;
    }
}

TEST_F(Vsthost, BenchTimesEveryPluginInOneRun) {
    RequirePeer(kLspDelay);
    RequirePeer(kZamGrains);
    const Outcome result = run({"bench", "--json", "--rounds", "3", "--frames", "8192", "-b", "256", TRIM_PLUGIN_PATH,
                            kLspDelay, kZamGrains, "-p", "2:g_out=0.4", "-d", "1:level mono 2=-6"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["blockSize"], 256);
    const auto& results = report["results"];
    ASSERT_EQ(results.size(), 4u);  // ours in float and double, the peers in float only
    const std::pair<int, std::string> expected[] = {{4, "float"}, {4, "double"}, {1, "float"}, {1, "float"}};
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i]["channels"], expected[i].first);
        EXPECT_EQ(results[i]["precision"], expected[i].second);
        const double perFrame = results[i]["nsPerFrame"];
        EXPECT_GT(perFrame, 0.0);
        EXPECT_DOUBLE_EQ(results[i]["nsPerChannelFrame"].get<double>(), perFrame / expected[i].first);
    }
    const Outcome wrong = run({"bench", TRIM_PLUGIN_PATH, "-p", "3:0=0.5"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("names plug-in 3, but 1 were given"), std::string::npos) << wrong.err;
}

// Four channels of one constant level, so each frame shows the gain in force at it.
Audio Constant(int channels, int frames, double level) {
    Audio audio{channels, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}};
    audio.samples.assign(static_cast<std::size_t>(channels * frames), level);
    return audio;
}

// Steps land on their frames whatever the block size: wav_levels allows no frame of settling.
TEST_F(Vsthost, RenderAutomationStepsLandOnTheirFrames) {
    WriteAudio(file("in.wav"), Constant(4, 12000, 0.25));
    std::ofstream(file("steps.txt")) << "# channel 1 by name in dB, channel 2 by index, normalised\n"
                                        "0s       step -d level mono 1=-6\n"
                                        "\n"
                                        "3000smp  step -d  level mono 1 = 0   # names and values are trimmed\n"
                                        "0.125s   step -p 1=0.75\n"
                                        "9001smp  step -d level mono 1=-12\n";
    std::ofstream(file("manifest.txt")) << "start 0 3000 -6 0 0 0\n"
                                           "unity 3000 3000 0 0 0 0\n"
                                           "two-up 6000 3001 0 6 0 0\n"
                                           "one-down 9001 2999 -12 6 0 0\n";
    for (const std::string block : {"512", "100", "1"}) {
        const Outcome render = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "-b", block,
                                    "--automation", file("steps.txt")});
        ASSERT_EQ(render.exitCode, 0) << render.err;
        const Outcome levels = run({"timeline", file("out.wav"), file("manifest.txt"), "0.25", "1e-6", "0"},
                                   "", WAV_LEVELS_PATH);
        EXPECT_EQ(levels.exitCode, 0) << "blocks of " << block << ": " << levels.out << levels.err;
    }
}

// Another host's render of the same automation may place each change where its blocks fall, and
// nothing else may differ. Its renders are made here from vsthost's, so each fault is known.
TEST_F(Vsthost, AnotherHostsTimelineMatchesOnlyWithItsChangesShifted) {
    WriteAudio(file("in.wav"), Constant(4, 6000, 0.25));
    std::ofstream(file("steps.txt")) << "0s step -d level mono 1=-6\n"
                                        "2000smp step -d level mono 1=0\n"
                                        "4000smp step -d level mono 3=6\n"
                                        "4000smp step -d level mono 1=-3\n";
    std::ofstream(file("manifest.txt")) << "a 0 2000 -6 0 0 0\n"
                                           "b 2000 2000 0 0 0 0\n"
                                           "c 4000 2000 -3 0 6 0\n";
    ASSERT_EQ(run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("ours.wav"), "--automation", file("steps.txt")})
                  .exitCode,
              0);
    const Audio ours = ReadAudio(file("ours.wav"));
    const auto hostRender = [&](const std::function<void(Audio&)>& change) {
        Audio host = ours;
        change(host);
        WriteAudio(file("host.wav"), host);
        return run({"alongside", file("ours.wav"), file("host.wav"), file("manifest.txt"), "0", "500"}, "",
                   WAV_LEVELS_PATH);
    };
    // Frames [from, to) keep the level of frame `like`.
    const auto hold = [](Audio& audio, int from, int to, int like) {
        for (int f = from; f < to; ++f) {
            for (int c = 0; c < audio.channels; ++c) {
                audio.samples[static_cast<std::size_t>(f * audio.channels + c)] = audio.at(like, c);
            }
        }
    };

    const Outcome same = hostRender([](Audio&) {});
    EXPECT_EQ(same.exitCode, 0) << same.out;
    const Outcome shifted = hostRender([&](Audio& host) {
        hold(host, 2000, 2256, 1999);  // late
        hold(host, 3872, 4000, 4000);  // early
    });
    EXPECT_EQ(shifted.exitCode, 0) << shifted.out;
    EXPECT_NE(shifted.out.find("changed 256 samples after its point"), std::string::npos) << shifted.out;
    EXPECT_NE(shifted.out.find("changed 128 samples before its point"), std::string::npos) << shifted.out;

    const std::pair<std::string, std::function<void(Audio&)>> faults[] = {
        {"one sample off", [](Audio& host) { host.samples[3000 * 4 + 1] += 1e-6; }},
        {"changed too late", [&](Audio& host) { hold(host, 2000, 2501, 1999); }},
        {"changed twice", [&](Audio& host) { hold(host, 2100, 2200, 1999); }},
        {"channels changed apart",
         [](Audio& host) {
             for (int f = 4000; f < 4100; ++f) host.samples[static_cast<std::size_t>(f * 4)] = host.at(3999, 0);
         }},
        {"shorter", [](Audio& host) { host.samples.resize(host.samples.size() - 4); }},
    };
    for (const auto& [fault, change] : faults) {
        const Outcome result = hostRender(change);
        EXPECT_EQ(result.exitCode, 1) << fault << ": " << result.out << result.err;
    }
}

// A ramp runs in steps of 32 frames from the parameter's previous point, or from its value at the
// start, and ends on its value; a later step takes over from there.
TEST_F(Vsthost, RenderAutomationRampsInStepsOfThirtyTwoFrames) {
    WriteAudio(file("in.wav"), Constant(4, 4000, 0.25));
    std::ofstream(file("ramps.txt")) << "1000smp ramp -p 0=1\n"   // from -p's 0.25 at frame 0
                                        "1000smp step -p 2=0\n"
                                        "3000smp ramp -p 2=1\n";
    const Outcome render = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "-b", "300", "-p", "0=0.25",
                                "--automation", file("ramps.txt")});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    const Audio output = ReadAudio(file("out.wav"));
    ASSERT_EQ(output.frames(), 4000);
    // The plug-in's parameters run from -12 dB at 0 to +12 dB at 1, in steps of 0.1 dB; a ramp one
    // step of 32 frames off would be 0.38 dB off or more.
    auto decibelsOf = [](double normalised) { return 24.0 * normalised - 12.0; };
    auto rampValue = [](int frame, int from, int to, double start, double end) {
        const int stepStart = from + (frame - from) / 32 * 32;
        return start + (end - start) * (stepStart - from) / (to - from);
    };
    auto expectLevel = [&](int frame, int channel, double normalised) {
        const double decibels = 20.0 * std::log10(output.at(frame, channel) / 0.25);
        ASSERT_NEAR(decibels, decibelsOf(normalised), 0.0501) << "channel " << channel << " frame " << frame;
    };
    for (int f = 0; f < 4000; ++f) {
        expectLevel(f, 0, f < 1000 ? rampValue(f, 0, 1000, 0.25, 1.0) : 1.0);
        expectLevel(f, 2, f < 1000 ? 0.5 : f < 3000 ? rampValue(f, 1000, 3000, 0.0, 1.0) : 1.0);
        expectLevel(f, 1, 0.5);
    }
}

TEST_F(Vsthost, RenderAutomationFileErrorsNameTheLine) {
    WriteAudio(file("in.wav"), Constant(4, 100, 0.25));
    const struct {
        std::string text;
        std::string says;
    } cases[] = {
        {"# fine\n0s step -p 0=0.5\n1s\n", "line 3: expected TIME SHAPE -p|-d KEY=VALUE"},
        {"1.5 step -p 0=0.5\n", "line 1: time '1.5' has no unit"},
        {"-1s step -p 0=0.5\n", "line 1: time '-1s' is before the start"},
        {"soon step -p 0=0.5\n", "line 1: time 'soon' is not a number"},
        {"10.5smp step -p 0=0.5\n", "not a whole number of samples"},
        {"1s jump -p 0=0.5\n", "line 1: shape 'jump' is neither step nor ramp"},
        {"1s step -x 0=0.5\n", "'-x' is neither -p (normalised) nor -d (displayed)"},
        {"1s step -p volume=0.5\n", "line 1: unknown parameter 'volume'"},
        {"1s step -p 0=1.5\n", "line 1: value for parameter 0 (level mono 1): 1.5 is outside the normalised range"},
        {"1s step -d level mono 1=13\n", "outside the range the plug-in shows: -12 to 12"},
        {"1s step -p 0\n", "not of the form KEY=VALUE"},
        {"2s step -p 0=0.5\n\n1s step -p 0=0.2\n", "line 3: time 1s is earlier than the line before"},
    };
    for (const auto& failure : cases) {
        std::ofstream(file("points.txt")) << failure.text;
        const Outcome result =
            run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "--automation", file("points.txt")});
        EXPECT_EQ(result.exitCode, 2) << failure.says;
        EXPECT_NE(result.err.find(failure.says), std::string::npos) << "expected '" << failure.says << "' in: " << result.err;
        EXPECT_FALSE(fs::exists(file("out.wav"))) << failure.says;
    }
    const Outcome missing =
        run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "--automation", file("absent.txt")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("cannot read automation file"), std::string::npos) << missing.err;
}

// The delaying test plug-in puts its input out 64 frames late at half gain, and says so.
TEST_F(Vsthost, RenderTailsAndLatencyCompensation) {
    const Audio input = Noise(1, 1000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    WriteAudio(file("in.wav"), input);
    auto render = [&](const std::string& out, std::vector<std::string> extra, const std::string& quirk = "delays") {
        std::vector<std::string> args = {"render", QUIRKY_PLUGIN_PATH, file("in.wav"), file(out), "-b", "100"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args, "VSTHOST_TEST_QUIRK=" + quirk);
    };
    // Output frame f holds input frame f - shift, where there is one.
    auto expectShifted = [&](const std::string& name, int frames, int shift) {
        const Audio output = ReadAudio(file(name));
        ASSERT_EQ(output.frames(), frames) << name;
        for (int f = 0; f < frames; ++f) {
            const int source = f - shift;
            const double expected = source >= 0 && source < input.frames() ? 0.5 * input.at(source, 0) : 0.0;
            ASSERT_EQ(output.at(f, 0), expected) << name << " frame " << f;
        }
    };
    const Outcome plain = render("plain.wav", {});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    expectShifted("plain.wav", 1000, 64);

    const Outcome tail = render("tail.wav", {"--tail", "auto"});
    ASSERT_EQ(tail.exitCode, 0) << tail.err;
    EXPECT_NE(tail.err.find("tail the plug-in reports: 64 frames"), std::string::npos) << tail.err;
    EXPECT_NE(tail.out.find("rendered 1064 frames"), std::string::npos) << tail.out;
    expectShifted("tail.wav", 1064, 64);

    const Outcome compensated = render("compensated.wav", {"--compensate-latency"});
    ASSERT_EQ(compensated.exitCode, 0) << compensated.err;
    EXPECT_NE(compensated.err.find("latency the plug-in reports: 64 frames"), std::string::npos) << compensated.err;
    expectShifted("compensated.wav", 1000, 0);

    // Seconds of tail after compensation: 480 frames at 48 kHz, the last 480 silent.
    const Outcome both = render("both.wav", {"--compensate-latency", "--tail", "0.01"});
    ASSERT_EQ(both.exitCode, 0) << both.err;
    expectShifted("both.wav", 1480, 0);

    const Outcome unreported = render("unreported.wav", {"--tail", "auto"}, "");
    ASSERT_EQ(unreported.exitCode, 0) << unreported.err;
    EXPECT_NE(unreported.err.find("does not report its tail"), std::string::npos) << unreported.err;
    EXPECT_EQ(ReadAudio(file("unreported.wav")).frames(), 1000);

    for (const std::string wrong : {"-1", "soon", "1e9"}) {
        const Outcome refused = render("refused.wav", {"--tail", wrong});
        EXPECT_EQ(refused.exitCode, 2) << wrong;
        EXPECT_NE(refused.err.find("neither 'auto' nor a number of seconds"), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(file("refused.wav")));
    }
}

// LSP's delay compensator set to 1000 samples rings out into the tail; LSP's limiter looks 5 ms
// ahead, says so only once it processes, and below its threshold gives its input back.
TEST_F(Vsthost, RenderTailsAndLatencyOfThirdPartyPlugins) {
    RequirePeer(kLspDelay);
    RequirePeer(kLspLimiter);
    Audio input = Noise(1, 4800, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    for (double& sample : input.samples) sample *= 0.25;  // well below the limiter's threshold
    WriteAudio(file("in.wav"), input);
    const Outcome delay = run({"render", kLspDelay, file("in.wav"), file("delay.wav"), "-d", "samp=1000", "-p", "dry=0",
                               "--tail", "0.05"});
    ASSERT_EQ(delay.exitCode, 0) << delay.err;
    const Audio delayed = ReadAudio(file("delay.wav"));
    ASSERT_EQ(delayed.frames(), 4800 + 2400);
    for (int f = 0; f < delayed.frames(); ++f) {
        const double expected = f >= 1000 && f < 5800 ? input.at(f - 1000, 0) : 0.0;
        ASSERT_NEAR(delayed.at(f, 0), expected, 1e-6) << "frame " << f;
    }

    const Outcome late = run({"render", kLspLimiter, file("in.wav"), file("late.wav")});
    const Outcome aligned = run({"render", kLspLimiter, file("in.wav"), file("aligned.wav"), "--compensate-latency"});
    ASSERT_EQ(late.exitCode, 0) << late.err;
    ASSERT_EQ(aligned.exitCode, 0) << aligned.err;
    EXPECT_NE(aligned.err.find("latency the plug-in reports: 240 frames"), std::string::npos) << aligned.err;
    const Audio lateOut = ReadAudio(file("late.wav")), alignedOut = ReadAudio(file("aligned.wav"));
    ASSERT_EQ(lateOut.frames(), 4800);
    ASSERT_EQ(alignedOut.frames(), 4800);
    // The same processing, 240 frames earlier; and the input back where it was, but for the little
    // the limiter's knee and gains change (a frame out of place is off by far more).
    for (int f = 0; f < 4800; ++f) {
        if (f + 240 < 4800) {
            ASSERT_EQ(alignedOut.at(f, 0), lateOut.at(f + 240, 0)) << "frame " << f;
        }
        ASSERT_NEAR(alignedOut.at(f, 0), input.at(f, 0), 0.005) << "frame " << f;
    }
}

}  // namespace
