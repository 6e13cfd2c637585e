#include <sndfile.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "tools/support/ChannelBuffers.h"
#include "tools/support/Interleaving.h"
#include "tools/support/Precision.h"
#include "tools/support/Text.h"
#include "tools/vsthost/Automation.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/OutputFile.h"
#include "tools/vsthost/PresetHost.h"

namespace vsthost {

namespace {

constexpr int kMaxBlockSize = 1 << 16;

struct SoundFileCloser {
    void operator()(SNDFILE* file) const noexcept { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

constexpr struct {
    const char* name;
    int subtype;
} kSubtypes[] = {{"pcm8", SF_FORMAT_PCM_S8}, {"pcmu8", SF_FORMAT_PCM_U8}, {"pcm16", SF_FORMAT_PCM_16},
                 {"pcm24", SF_FORMAT_PCM_24}, {"pcm32", SF_FORMAT_PCM_32},  {"float", SF_FORMAT_FLOAT},
                 {"double", SF_FORMAT_DOUBLE}, {"vorbis", SF_FORMAT_VORBIS}, {"opus", SF_FORMAT_OPUS}};

int MajorFormatNamed(const std::string& name) {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::string known;
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (Lowered(info.extension) == Lowered(name)) return info.format;
        known += std::string(known.empty() ? "" : ", ") + info.extension;
    }
    throw HostError("unknown output format '" + name + "'; known: " + known);
}

int SubtypeNamed(const std::string& name) {
    std::string known;
    for (const auto& subtype : kSubtypes) {
        if (Lowered(name) == subtype.name) return subtype.subtype;
        known += std::string(known.empty() ? "" : ", ") + subtype.name;
    }
    throw HostError("unknown sample format '" + name + "'; known: " + known);
}

int OutputFormat(const RenderOptions& options, int inputFormat) {
    const int major = options.format.empty() ? (inputFormat & SF_FORMAT_TYPEMASK) : MajorFormatNamed(options.format);
    const int subtype = options.subtype.empty() ? (inputFormat & SF_FORMAT_SUBMASK) : SubtypeNamed(options.subtype);
    const int endian = options.format.empty() ? (inputFormat & SF_FORMAT_ENDMASK) : 0;
    return major | subtype | endian;
}

// Peak and mean square per channel, accumulated block by block.
class Levels {
public:
    explicit Levels(int channels) : peak_(static_cast<std::size_t>(channels)), squares_(peak_.size()) {}

    template <typename Sample>
    void add(const ChannelBuffers<Sample>& buffers, int frames) {
        for (int c = 0; c < buffers.channels(); ++c) {
            const Sample* channel = buffers.channel(c);
            for (int f = 0; f < frames; ++f) {
                const double value = channel[f];
                peak_[static_cast<std::size_t>(c)] = std::max(peak_[static_cast<std::size_t>(c)], std::fabs(value));
                squares_[static_cast<std::size_t>(c)] += value * value;
            }
        }
        frames_ += frames;
    }
    double peak(int c) const { return peak_[static_cast<std::size_t>(c)]; }
    double rms(int c) const {
        return frames_ > 0 ? std::sqrt(squares_[static_cast<std::size_t>(c)] / static_cast<double>(frames_)) : 0.0;
    }

private:
    std::vector<double> peak_;
    std::vector<double> squares_;
    long long frames_ = 0;
};

double Decibels(double level) { return 20.0 * std::log10(level); }

std::string DecibelText(double decibels) {
    if (std::isinf(decibels) && decibels < 0) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f", decibels);
    return text;
}

void PrintLevels(const Levels& before, const Levels& after, int inputs, int outputs) {
    std::printf("%-8s %11s %11s %11s %11s %11s\n", "channel", "peak in", "RMS in", "peak out", "RMS out", "change");
    for (int c = 0; c < std::max(inputs, outputs); ++c) {
        auto cell = [](bool present, double level) { return present ? DecibelText(Decibels(level)) : std::string("-"); };
        const bool in = c < inputs, out = c < outputs;
        const std::string change =
            in && out && before.rms(c) > 0.0 && after.rms(c) > 0.0 ? DecibelText(Decibels(after.rms(c) / before.rms(c)))
                                                                    : std::string("-");
        std::printf("%-8d %11s %11s %11s %11s %11s\n", c + 1, cell(in, before.peak(c)).c_str(),
                    cell(in, before.rms(c)).c_str(), cell(out, after.peak(c)).c_str(), cell(out, after.rms(c)).c_str(),
                    (change + (change == "-" ? "" : " dB")).c_str());
    }
    std::printf("levels in dBFS; change is RMS out over RMS in\n");
}

sf_count_t ReadFrames(SNDFILE* file, float* frames, sf_count_t count) { return sf_readf_float(file, frames, count); }
sf_count_t ReadFrames(SNDFILE* file, double* frames, sf_count_t count) { return sf_readf_double(file, frames, count); }
sf_count_t WriteFrames(SNDFILE* file, const float* frames, sf_count_t count) { return sf_writef_float(file, frames, count); }
sf_count_t WriteFrames(SNDFILE* file, const double* frames, sf_count_t count) {
    return sf_writef_double(file, frames, count);
}

// Bytes per sample of 16-, 24- and 32-bit PCM in the containers that store it as plain integers,
// else 0.
int PlainPcmBytes(const SF_INFO& info) {
    switch (info.format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_W64:
        case SF_FORMAT_RF64:
        case SF_FORMAT_AIFF: break;
        default: return 0;
    }
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32: return 4;
        default: return 0;
    }
}

// Integers of Bytes bytes, placed in the top of 32 bits and scaled to -1..1 as libsndfile scales
// them: both are exact (at most 24 significant bits, or 32 rounded once, times a power of two).
// Each is loaded as a whole word, so raw holds 4 - Bytes bytes more than the samples. The integers
// are gathered first and scaled in a second loop, which the compiler vectorises.
template <int Bytes, bool BigEndian, typename Sample>
void DecodePcm(const unsigned char* raw, std::size_t samples, std::int32_t* integers, Sample* decoded) {
    constexpr int kBelow = 32 - 8 * Bytes;
#pragma GCC unroll 4
    for (std::size_t i = 0; i < samples; ++i) {
        std::uint32_t word;
        std::memcpy(&word, raw + i * Bytes, sizeof word);
        if constexpr ((std::endian::native == std::endian::big) != BigEndian) word = __builtin_bswap32(word);
        integers[i] = static_cast<std::int32_t>(BigEndian ? word >> kBelow << kBelow : word << kBelow);
    }
    for (std::size_t i = 0; i < samples; ++i) decoded[i] = static_cast<Sample>(integers[i]) * Sample(0x1p-31);
}

// Reads frames as sf_readf_float and sf_readf_double give them. Plain PCM is read raw and scaled
// here, to the same samples: libsndfile converts it through a buffer of a few kilobytes, a system
// call each, at some 20 instructions a sample.
template <typename Sample>
class FrameReader {
public:
    FrameReader(SNDFILE* file, const SF_INFO& info)
        : file_(file), channels_(static_cast<std::size_t>(info.channels)), bytes_(PlainPcmBytes(info)) {
        const bool swapped = sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
        bigEndian_ = (std::endian::native == std::endian::big) != swapped;
    }

    sf_count_t read(Sample* frames, sf_count_t count) {
        if (bytes_ == 0) return ReadFrames(file_, frames, count);
        const std::size_t wanted = static_cast<std::size_t>(count) * channels_ * static_cast<std::size_t>(bytes_);
        raw_.resize(wanted + sizeof(std::uint32_t));
        integers_.resize(static_cast<std::size_t>(count) * channels_);
        const sf_count_t got = sf_read_raw(file_, raw_.data(), static_cast<sf_count_t>(wanted));
        if (got <= 0) return got;
        const std::size_t samples = static_cast<std::size_t>(got) / static_cast<std::size_t>(bytes_);
        switch (bytes_ * 2 + (bigEndian_ ? 1 : 0)) {
            case 4: DecodePcm<2, false>(raw_.data(), samples, integers_.data(), frames); break;
            case 5: DecodePcm<2, true>(raw_.data(), samples, integers_.data(), frames); break;
            case 6: DecodePcm<3, false>(raw_.data(), samples, integers_.data(), frames); break;
            case 7: DecodePcm<3, true>(raw_.data(), samples, integers_.data(), frames); break;
            case 8: DecodePcm<4, false>(raw_.data(), samples, integers_.data(), frames); break;
            default: DecodePcm<4, true>(raw_.data(), samples, integers_.data(), frames); break;
        }
        return static_cast<sf_count_t>(samples / channels_);
    }

private:
    SNDFILE* file_;
    std::size_t channels_;
    int bytes_;
    bool bigEndian_ = false;
    std::vector<unsigned char> raw_;
    std::vector<std::int32_t> integers_;
};

// libsndfile's 24-bit samples of floats when clipping is on, in the top three bytes of 32 bits:
// scaled to 32 bits and rounded to the nearest, full scale where the scaled value reaches it, and
// the most negative value for NaN. Four at a time where the processor has SSE2, whose conversion
// rounds the same way and answers the most negative value for NaN and out of range.
void ClipTo32Bits(const float* samples, std::size_t count, std::int32_t* clipped) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(2147483648.0f);
    const __m128i fullScale = _mm_set1_epi32(INT32_MAX);
    for (; i + 4 <= count; i += 4) {
        const __m128 scaled = _mm_mul_ps(_mm_loadu_ps(samples + i), scale);
        const __m128i rounded = _mm_cvtps_epi32(scaled);
        const __m128i over = _mm_castps_si128(_mm_cmpge_ps(scaled, scale));
        const __m128i limited = _mm_or_si128(_mm_andnot_si128(over, rounded), _mm_and_si128(over, fullScale));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(clipped + i), limited);
    }
#endif
    for (; i < count; ++i) {
        const float scaled = samples[i] * 2147483648.0f;
        if (scaled >= 2147483647.0)
            clipped[i] = INT32_MAX;
        else if (scaled <= -2147483648.0 || std::isnan(scaled))
            clipped[i] = INT32_MIN;
        else
            clipped[i] = static_cast<std::int32_t>(lrintf(scaled));
    }
}

// Writes frames as sf_writef_float and sf_writef_double write them. Single-precision samples into
// 24-bit PCM in the plain containers are converted here instead, as libsndfile converts them, and
// written raw: libsndfile's own conversion costs some 16 instructions a sample, in writes of a few
// kilobytes.
template <typename Sample>
class FrameWriter {
public:
    FrameWriter(SNDFILE* file, const SF_INFO& info)
        : file_(file),
          channels_(static_cast<std::size_t>(info.channels)),
          swapped_(sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE),
          encodes_(std::is_same_v<Sample, float> && PlainPcmBytes(info) == 3) {}

    sf_count_t write(const Sample* frames, sf_count_t count) {
        if constexpr (std::is_same_v<Sample, float>)
            if (encodes_) return writeRaw(frames, static_cast<std::size_t>(count) * channels_);
        return WriteFrames(file_, frames, count);
    }

private:
    sf_count_t writeRaw(const float* frames, std::size_t samples) {
        // Each sample is stored as a whole word, its fourth byte overwritten by the next sample.
        raw_.resize(samples * 3 + 1);
        clipped_.resize(samples);
        ClipTo32Bits(frames, samples, clipped_.data());
        if (swapped_)
            Store<true>(samples);
        else
            Store<false>(samples);
        const sf_count_t written = sf_write_raw(file_, raw_.data(), static_cast<sf_count_t>(samples * 3));
        return written < 0 ? written : written / static_cast<sf_count_t>(channels_ * 3);
    }

    template <bool Swapped>
    void Store(std::size_t count) {
#pragma GCC unroll 4
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = static_cast<std::uint32_t>(clipped_[i]);
            // A word whose first three bytes in memory are the top three of value, in the file's order.
            constexpr bool kLittle = std::endian::native == std::endian::little;
            std::uint32_t word;
            if constexpr (Swapped)
                word = __builtin_bswap32(kLittle ? value : value >> 8);
            else
                word = kLittle ? value >> 8 : value;
            std::memcpy(raw_.data() + i * 3, &word, sizeof word);
        }
    }

    SNDFILE* file_;
    std::size_t channels_;
    bool swapped_;
    bool encodes_;
    std::vector<std::int32_t> clipped_;
    std::vector<unsigned char> raw_;
};

// A progress bar on the terminal; silent when stderr is not one.
class Progress {
public:
    Progress(sf_count_t total, double sampleRate)
        : total_(total), shown_(isatty(STDERR_FILENO) != 0 && static_cast<double>(total) >= sampleRate) {}
    void update(sf_count_t done) {
        if (!shown_) return;
        const int percent = static_cast<int>(100 * done / std::max<sf_count_t>(total_, 1));
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), percent);
        if (percent == 100) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    static constexpr int kWidth = 40;
    sf_count_t total_;
    bool shown_;
    int lastPercent_ = -1;
};

// Frames per read and per write: a whole number of processing blocks, about this many samples, so
// that system calls and libsndfile's work per call are a small share of the cost whatever the block
// size, while the buffers stay within the processor's caches.
constexpr int kSamplesPerTransfer = 1 << 15;

int FramesPerTransfer(int blockSize, int channels) {
    const int wanted = std::max(1, kSamplesPerTransfer / channels);
    return blockSize >= wanted ? blockSize : (wanted + blockSize - 1) / blockSize * blockSize;
}

// The buffer where it holds samples of type Wanted, else null.
template <typename Wanted, typename Sample>
Wanted* IfOfType(Sample* buffer) {
    if constexpr (std::is_same_v<Wanted, Sample>)
        return buffer;
    else
        return nullptr;
}

// Frames of silence to process after the input: the given seconds, or with "auto" the tail the
// plug-in reports, where it reports one.
sf_count_t TailFrames(const Plugin& plugin, const std::string& tail, int sampleRate) {
    if (tail.empty()) return 0;
    if (tail == "auto") {
        // 0 is the answer of a plug-in that does not know the request, 1 that of one without a tail.
        const VstIntPtr answer = plugin.dispatch(effGetTailSize);
        if (answer <= 0) {
            std::fprintf(stderr, "vsthost: the plug-in does not report its tail, so none is rendered\n");
            return 0;
        }
        const sf_count_t frames = answer == 1 ? 0 : static_cast<sf_count_t>(answer);
        std::fprintf(stderr, "vsthost: rendering the tail the plug-in reports: %lld frames\n", static_cast<long long>(frames));
        return frames;
    }
    char* end = nullptr;
    const double seconds = std::strtod(tail.c_str(), &end);
    if (end != tail.c_str() + tail.size() || !std::isfinite(seconds) || seconds < 0.0 || seconds > 86400.0)
        throw HostError("tail '" + tail + "' is neither 'auto' nor a number of seconds from 0 to 86400");
    return static_cast<sf_count_t>(std::llround(seconds * sampleRate));
}

sf_count_t LatencyFrames(const AEffect& fields) {
    if (fields.initialDelay < 0) {
        std::fprintf(stderr, "vsthost: the plug-in reports a negative latency (%d), which is not compensated\n",
                     static_cast<int>(fields.initialDelay));
        return 0;
    }
    std::fprintf(stderr, "vsthost: compensating the latency the plug-in reports: %d frames\n",
                 static_cast<int>(fields.initialDelay));
    return fields.initialDelay;
}

// What is rendered beyond the input as it is: parameter changes over time, silence processed after
// the input, and with latency compensation the frames dropped from the front of the output, as many
// as the plug-in reports after its first transfer (some report their latency only once they process).
struct Timeline {
    Automation* automation = nullptr;
    sf_count_t silenceAfter = 0;
    bool compensatesLatency = false;
    sf_count_t dropped = 0;  // set while rendering
};

// Reads and writes whole transfers and hands the plug-in the same blocks as one read per block did,
// split where the automation changes a parameter. Samples are read as FileIn and written as FileOut,
// converted to and from the plug-in's Sample while being interleaved. before and after are null
// unless levels are to be printed.
template <typename Sample, typename FileIn, typename FileOut>
void RenderThrough(Instance& instance, SNDFILE* in, SNDFILE* out, const SF_INFO& inInfo, const SF_INFO& outInfo,
                   int blockSize, const std::string& outputPath, Levels* before, Levels* after,
                   Timeline& timeline) {
    const int inputs = instance.inputs(), outputs = instance.outputs();
    const int transfer = FramesPerTransfer(blockSize, std::max(inputs, outputs));
    // A single channel of the plug-in's type is read into and written from the planar buffer itself.
    const bool readsInPlace = inputs == 1 && std::is_same_v<FileIn, Sample>;
    const bool writesInPlace = outputs == 1 && std::is_same_v<FileOut, Sample>;
    const auto frameCapacity = static_cast<std::size_t>(transfer);
    std::vector<FileIn> interleavedIn(readsInPlace ? 0 : frameCapacity * static_cast<std::size_t>(inputs));
    std::vector<FileOut> interleavedOut(writesInPlace ? 0 : frameCapacity * static_cast<std::size_t>(outputs));
    ChannelBuffers<Sample> planarIn(inputs, transfer), planarOut(outputs, transfer);
    std::vector<Sample*> blockIn(planarIn.pointers(), planarIn.pointers() + inputs + 1);
    std::vector<Sample*> blockOut(planarOut.pointers(), planarOut.pointers() + outputs + 1);
    FileIn* const readInto = readsInPlace ? IfOfType<FileIn>(planarIn.channel(0)) : interleavedIn.data();
    const FileOut* const writeFrom = writesInPlace ? IfOfType<FileOut>(planarOut.channel(0)) : interleavedOut.data();
    AEffect* const aeffect = instance.plugin().aeffect();
    FrameReader<FileIn> reader(in, inInfo);
    FrameWriter<FileOut> writer(out, outInfo);
    Progress progress(inInfo.frames + timeline.silenceAfter, inInfo.samplerate);
    auto process = [&](int first, int count) {
        for (int c = 0; c < inputs; ++c) blockIn[static_cast<std::size_t>(c)] = planarIn.channel(c) + first;
        for (int c = 0; c < outputs; ++c) blockOut[static_cast<std::size_t>(c)] = planarOut.channel(c) + first;
        ProcessReplacing(aeffect, blockIn.data(), blockOut.data(), count);
        instance.advance(count);
    };
    sf_count_t done = 0, silenceLeft = timeline.silenceAfter, dropLeft = 0;
    bool inputEnded = false;
    for (;;) {
        int frames = 0;
        if (!inputEnded) {
            frames = static_cast<int>(reader.read(readInto, transfer));
            inputEnded = frames <= 0;
            if (inputEnded && sf_error(in) != SF_ERR_NO_ERROR)
                throw HostError("reading the audio file failed: " + std::string(sf_strerror(in)));
            if (!inputEnded && !readsInPlace)
                Deinterleave(interleavedIn.data(), inputs, planarIn.pointers(), static_cast<std::size_t>(frames));
        }
        if (inputEnded) {
            frames = static_cast<int>(std::min<sf_count_t>(transfer, silenceLeft));
            if (frames <= 0) break;
            silenceLeft -= frames;
            for (int c = 0; c < inputs; ++c) std::fill_n(planarIn.channel(c), frames, Sample(0));
        }
        for (int first = 0; first < frames; first += blockSize) {
            const int count = std::min(blockSize, frames - first);
            if (timeline.automation == nullptr) {
                process(first, count);
                continue;
            }
            for (int at = first; at < first + count;) {
                timeline.automation->apply(instance.plugin(), done + at);
                const auto length = std::min<std::int64_t>(first + count - at, timeline.automation->framesUntilChange(done + at));
                process(at, static_cast<int>(length));
                at += static_cast<int>(length);
            }
        }
        if (before != nullptr) before->add(planarIn, frames);
        if (after != nullptr) after->add(planarOut, frames);
        if (timeline.compensatesLatency && done == 0) {
            timeline.dropped = dropLeft = LatencyFrames(instance.fields());
            silenceLeft += timeline.dropped;
            timeline.silenceAfter += timeline.dropped;
        }
        const int skipped = static_cast<int>(std::min<sf_count_t>(dropLeft, frames));
        dropLeft -= skipped;
        const int kept = frames - skipped;
        if (kept > 0) {
            if (!writesInPlace) {
                for (int c = 0; c < outputs; ++c) blockOut[static_cast<std::size_t>(c)] = planarOut.channel(c) + skipped;
                Interleave(blockOut.data(), outputs, static_cast<std::size_t>(kept), interleavedOut.data());
            }
            if (writer.write(writeFrom + (writesInPlace ? skipped : 0), kept) != kept)
                throw HostError("cannot write '" + outputPath + "': " + sf_strerror(out));
        }
        done += frames;
        progress.update(done);
    }
}

// Double-precision rendering of float files reads and writes floats and widens and narrows them
// itself: libsndfile converts the same way, exactly and by C's rounding, but in small pieces.
void RenderInDouble(Instance& instance, SNDFILE* in, SNDFILE* out, const SF_INFO& inInfo, const SF_INFO& outInfo,
                    int blockSize, const std::string& outputPath, Levels* before, Levels* after,
                    Timeline& timeline) {
    const bool floatIn = (inInfo.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    const bool floatOut = (outInfo.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    if (floatIn && floatOut)
        RenderThrough<double, float, float>(instance, in, out, inInfo, outInfo, blockSize, outputPath, before, after, timeline);
    else if (floatIn)
        RenderThrough<double, float, double>(instance, in, out, inInfo, outInfo, blockSize, outputPath, before, after, timeline);
    else if (floatOut)
        RenderThrough<double, double, float>(instance, in, out, inInfo, outInfo, blockSize, outputPath, before, after, timeline);
    else
        RenderThrough<double, double, double>(instance, in, out, inInfo, outInfo, blockSize, outputPath, before, after, timeline);
}

std::vector<std::uint8_t> ReadStateFile(const std::string& path) {
    std::vector<std::uint8_t> bytes = ReadFileBytes(path, "state file");
    if (bytes.empty()) throw HostError("state file '" + path + "' is empty");
    return bytes;
}

// Plug-ins answer nothing useful when they refuse a state, so what they give back afterwards tells.
void LoadState(Plugin& plugin, const std::string& path) {
    const std::vector<std::uint8_t> loaded = ReadStateFile(path);
    const std::vector<std::uint8_t> before = plugin.getChunk();
    plugin.setChunk(loaded);
    const std::vector<std::uint8_t> after = plugin.getChunk();
    if (after != loaded && after == before)
        std::fprintf(stderr,
                     "vsthost: warning: the plug-in ignored the state in '%s': the state it gives back is still the "
                     "one it had before loading\n",
                     path.c_str());
}

}  // namespace

int RunRender(const RenderOptions& options) {
    if (options.blockSize < 1 || options.blockSize > kMaxBlockSize)
        throw HostError("block size " + std::to_string(options.blockSize) + " is outside 1 to " +
                        std::to_string(kMaxBlockSize));
    const PluginBinary binary(options.plugin);
    Instance instance(binary);
    const AEffect& fields = instance.fields();
    if (options.doublePrecision ? !instance.offersDouble() : fields.processReplacing == nullptr)
        throw HostError(std::string("the plug-in does not offer ") +
                        (options.doublePrecision ? "double-precision processing (processDoubleReplacing)"
                                                 : "single-precision processing (processReplacing)"));
    if (fields.numOutputs < 1) throw HostError("the plug-in has no audio outputs");
    const bool keepsChunks = (fields.flags & effFlagsProgramChunks) != 0;
    if (!keepsChunks && (!options.loadState.empty() || !options.saveState.empty()))
        throw HostError("the plug-in does not keep its state in chunks, so no state file can be loaded or saved");
    // Settled before any audio is processed, so a wrong name costs no render.
    const PresetFormat savedPresetFormat =
        options.savePreset.empty() ? PresetFormat::kProgram : PresetFormatFor(options.savePreset, options.presetFormat, false);

    SF_INFO inInfo{};
    SoundFile in(sf_open(options.input.c_str(), SFM_READ, &inInfo));
    if (!in) throw HostError("cannot read audio file '" + options.input + "': " + sf_strerror(nullptr));
    if (inInfo.channels != fields.numInputs)
        throw HostError("channel count mismatch: the plug-in expects " + std::to_string(fields.numInputs) +
                        " input channels, the file '" + options.input + "' has " + std::to_string(inInfo.channels));

    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = fields.numOutputs;
    outInfo.format = OutputFormat(options, inInfo.format);
    if (sf_format_check(&outInfo) == 0)
        throw HostError("the output format does not hold " + std::to_string(outInfo.channels) + " channels of " +
                        (options.subtype.empty() ? "the input's sample format" : "'" + options.subtype + "'") +
                        (options.format.empty() ? "" : " in '" + options.format + "'") + ": choose --format/--subtype");

    instance.open(inInfo.samplerate, options.blockSize);
    // Display values in the file are looked up first: the search moves parameters, and puts them back.
    std::unique_ptr<Automation> automation;
    if (!options.automation.empty()) automation = std::make_unique<Automation>(options.automation, instance, inInfo.samplerate);
    if (!options.loadState.empty()) LoadState(instance.plugin(), options.loadState);
    if (!options.loadPreset.empty()) LoadPresetFile(instance, options.loadPreset, options.presetFormat, options.force);
    ApplySettings(instance, options.settings);
    if (automation) automation->start(instance.plugin());
    instance.resume();
    Timeline timeline;
    timeline.automation = automation.get();
    timeline.silenceAfter = TailFrames(instance.plugin(), options.tail, inInfo.samplerate);
    timeline.compensatesLatency = options.compensateLatency;

    PendingFile pending(options.output);
    SoundFile out(sf_open_fd(pending.release(), SFM_WRITE, &outInfo, SF_TRUE));
    if (!out) throw HostError("cannot write '" + options.output + "': " + sf_strerror(nullptr));
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);  // integer formats clip instead of wrapping

    // Levels are measured only when they are to be printed.
    Levels before(fields.numInputs), after(fields.numOutputs);
    Levels* const levelsIn = options.levels ? &before : nullptr;
    Levels* const levelsOut = options.levels ? &after : nullptr;
    if (options.doublePrecision)
        RenderInDouble(instance, in.get(), out.get(), inInfo, outInfo, options.blockSize, options.output, levelsIn, levelsOut,
                       timeline);
    else
        RenderThrough<float, float, float>(instance, in.get(), out.get(), inInfo, outInfo, options.blockSize, options.output,
                                           levelsIn, levelsOut, timeline);
    instance.suspend();

    std::vector<std::uint8_t> state;
    if (!options.saveState.empty()) {
        state = instance.plugin().getChunk();
        if (state.empty()) throw HostError("the plug-in gave no state chunk to save");
    }
    const std::vector<std::uint8_t> preset =
        options.savePreset.empty() ? std::vector<std::uint8_t>{} : SerializePreset(CapturePreset(instance, savedPresetFormat));
    if (sf_close(out.release()) != 0) throw HostError("cannot finish writing '" + options.output + "'");
    if (!options.saveState.empty()) WriteFileAtomically(options.saveState, state.data(), state.size());
    if (!options.savePreset.empty()) WriteFileAtomically(options.savePreset, preset.data(), preset.size());
    pending.commit();

    std::printf("rendered %lld frames of %d channel%s at %d Hz through '%s' (%s, blocks of %d) to %s\n",
                static_cast<long long>(inInfo.frames + timeline.silenceAfter - timeline.dropped), fields.numInputs,
                fields.numInputs == 1 ? "" : "s", inInfo.samplerate,
                instance.plugin().effectName().c_str(), options.doublePrecision ? "double" : "float",
                options.blockSize, options.output.c_str());
    if (options.levels) PrintLevels(before, after, fields.numInputs, fields.numOutputs);
    return 0;
}

}  // namespace vsthost
