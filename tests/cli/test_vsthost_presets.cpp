// Preset files (.fxp, .fxb) through the command-line host run as a user runs it: files built here byte
// by byte from the published layout, round trips through our plug-in and third-party ones, and
// damaged files.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/RunProgram.h"

namespace fs = std::filesystem;
using vsthost::test::Outcome;
using vsthost::test::Quoted;
using vsthost::test::RunProgram;
using vsthost::test::Slurp;

namespace {

const std::string kLspDelay = "/usr/lib/vst/lsp-plugins/comp-delay-mono.so";
const std::string kZamComp = "/usr/lib/vst/ZamComp-vst.so";

using Bytes = std::vector<std::uint8_t>;

Bytes Read(const fs::path& path) {
    const std::string text = Slurp(path);
    return {text.begin(), text.end()};
}

void Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The published layout, field by field: big-endian integers and floats, names in 28 bytes.
struct Layout {
    Bytes bytes;
    Layout& text(const std::string& four) {
        bytes.insert(bytes.end(), four.begin(), four.end());
        return *this;
    }
    Layout& be(std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        return *this;
    }
    Layout& real(float value) { return be(std::bit_cast<std::uint32_t>(value)); }
    Layout& name(const std::string& text) {
        Bytes field(28, 0);
        std::copy(text.begin(), text.end(), field.begin());
        bytes.insert(bytes.end(), field.begin(), field.end());
        return *this;
    }
    Layout& zeros(std::size_t count) {
        bytes.insert(bytes.end(), count, 0);
        return *this;
    }
    Layout& raw(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
};

Bytes ProgramChunkFile(std::uint32_t id, std::uint32_t version, std::uint32_t params, const std::string& name,
                       const Bytes& chunk) {
    return Layout{}
        .text("CcnK").be(static_cast<std::uint32_t>(60 + chunk.size() - 8)).text("FPCh").be(1).be(id).be(version)
        .be(params).name(name).be(static_cast<std::uint32_t>(chunk.size())).raw(chunk).bytes;
}

Bytes ProgramParamsFile(std::uint32_t id, std::uint32_t version, const std::string& name, const std::vector<float>& values) {
    Layout layout;
    layout.text("CcnK").be(static_cast<std::uint32_t>(56 + 4 * values.size() - 8)).text("FxCk").be(1).be(id).be(version)
        .be(static_cast<std::uint32_t>(values.size())).name(name);
    for (const float value : values) layout.real(value);
    return layout.bytes;
}

Bytes BankChunkFile(std::uint32_t id, std::uint32_t version, std::uint32_t programs, std::uint32_t current,
                    const Bytes& chunk) {
    return Layout{}
        .text("CcnK").be(static_cast<std::uint32_t>(160 + chunk.size() - 8)).text("FBCh").be(2).be(id).be(version)
        .be(programs).be(current).zeros(124).be(static_cast<std::uint32_t>(chunk.size())).raw(chunk).bytes;
}

// A version 1 bank: no current program, 128 reserved bytes.
Bytes BankProgramsFile(std::uint32_t id, std::uint32_t version, const std::vector<std::pair<std::string, std::vector<float>>>& programs) {
    Layout layout;
    Bytes body;
    for (const auto& [name, values] : programs) {
        const Bytes program = ProgramParamsFile(id, version, name, values);
        body.insert(body.end(), program.begin(), program.end());
    }
    layout.text("CcnK").be(static_cast<std::uint32_t>(156 + body.size() - 8)).text("FxBk").be(1).be(id).be(version)
        .be(static_cast<std::uint32_t>(programs.size())).zeros(128).raw(body);
    return layout.bytes;
}

void WriteNoise(const fs::path& path, int channels, int frames) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = 48000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples(static_cast<std::size_t>(channels * frames));
    std::uint32_t seed = 12345;
    for (float& sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

// A float file's samples, as their bits: its header holds a time stamp (the peak chunk), which differs
// between two renders of the same audio a second apart.
std::vector<std::uint32_t> SampleBits(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return {};
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    std::vector<std::uint32_t> bits;
    for (const float sample : samples) bits.push_back(std::bit_cast<std::uint32_t>(sample));
    return bits;
}

class VsthostPresets : public vsthost::test::ProgramTest {
protected:
    Outcome run(const std::vector<std::string>& args) const { return RunProgram(VSTHOST_PATH, args, dir_); }

    nlohmann::json info(const std::string& plugin) const {
        const Outcome result = run({"info", plugin, "--json"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return nlohmann::json::parse(result.out);
    }

    // The plug-in's parameters as they display after loading the preset into a new instance.
    std::string displayedAfterLoading(const std::string& plugin, const fs::path& preset) const {
        const Outcome shown = run({"preset", "show", preset, "--plugin", plugin});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        return shown.out.substr(shown.out.find("loaded into"));
    }
};

}  // namespace

TEST_F(VsthostPresets, ShowReadsEachOfTheFourFormsAsPublished) {
    const Bytes chunk = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C};
    const std::uint32_t id = 0x54737431;  // 'Tst1'
    Write(file("chunk.fxp"), ProgramChunkFile(id, 7, 3, "Warm", chunk));
    Write(file("params.fxp"), ProgramParamsFile(id, 7, "Bright", {0.25f, 1.0f}));
    Write(file("chunk.fxb"), BankChunkFile(id, 7, 4, 2, chunk));
    Write(file("programs.fxb"), BankProgramsFile(id, 7, {{"One", {0.5f}}, {"Two", {0.125f}}}));

    const std::vector<std::pair<std::string, std::vector<std::string>>> expectations = {
        {"chunk.fxp",
         {"magic: FPCh (program, chunk)\nbyte size: 69\nversion: 1\nplug-in ID: 'Tst1' (0x54737431)\n"
          "plug-in version: 7\nparameters: 3\nname: \"Warm\"\n",
          "chunk: 17 bytes: de ad be ef 00 01 02 03 04 05 06 07 08 09 0a 0b ...\n"}},
        {"params.fxp", {"magic: FxCk (program, parameters)\nbyte size: 56\n", "name: \"Bright\"\n",
                        "parameter 0: 0.25\nparameter 1: 1\n"}},
        {"chunk.fxb", {"magic: FBCh (bank, chunk)\nbyte size: 169\nversion: 2\n", "programs: 4\ncurrent program: 2\n",
                       "chunk: 17 bytes: de ad"}},
        {"programs.fxb", {"magic: FxBk (bank, programs)\nbyte size: 268\nversion: 1\n", "programs: 2\n",
                          "program 0: \"One\"\n  parameter 0: 0.5\nprogram 1: \"Two\"\n  parameter 0: 0.125\n"}},
    };
    for (const auto& [name, parts] : expectations) {
        const Outcome shown = run({"preset", "show", file(name)});
        ASSERT_EQ(shown.exitCode, 0) << name << ": " << shown.err;
        for (const std::string& part : parts) EXPECT_NE(shown.out.find(part), std::string::npos) << name << ":\n" << shown.out;
    }
}

// Whatever byte a file ends at, the reader finds out before reading past it.
TEST_F(VsthostPresets, EveryTruncationOfEachFormIsRefused) {
    const std::vector<Bytes> forms = {ProgramChunkFile(1, 1, 2, "p", {9, 8, 7, 6, 5}),
                                      ProgramParamsFile(1, 1, "q", {0.5f, 0.75f}),
                                      BankChunkFile(1, 1, 3, 1, {1, 2, 3}),
                                      BankProgramsFile(1, 1, {{"a", {0.5f}}, {"b", {0.25f}}})};
    for (const Bytes& form : forms) {
        Write(file("whole"), form);
        ASSERT_EQ(run({"preset", "show", file("whole")}).exitCode, 0);
        // Within and at the end of each header field, the chunk or values, and a bank's second program.
        for (const std::size_t size : {0u, 3u, 10u, 27u, 40u, 55u, 56u, 59u, 60u, 155u, 156u, 159u, 160u, 200u, 215u, 219u,
                                       static_cast<unsigned>(form.size() - 1)}) {
            if (size >= form.size()) continue;
            Write(file("cut"), Bytes(form.begin(), form.begin() + static_cast<std::ptrdiff_t>(size)));
            const Outcome shown = run({"preset", "show", file("cut")});
            EXPECT_EQ(shown.exitCode, 2) << size << " of " << form.size() << " bytes:\n" << shown.out;
            EXPECT_TRUE(shown.err.find("truncated") != std::string::npos ||
                        shown.err.find("reaches past its end") != std::string::npos)
                << shown.err;
        }
    }
}

TEST_F(VsthostPresets, WrittenFilesHaveThePublishedLayout) {
    const nlohmann::json ours = info(TRIM_PLUGIN_PATH);
    const auto id = ours["uniqueId"].get<std::uint32_t>();
    const auto version = ours["version"].get<std::uint32_t>();
    const auto params = static_cast<std::uint32_t>(ours["parameters"].size());
    const auto programs = static_cast<std::uint32_t>(ours["programs"].size());
    WriteNoise(file("in.wav"), ours["inputs"].get<int>(), 300);
    const std::vector<std::string> render = {"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "-d", "0=-3",
                                             "-d", "1=4.5", "--save-state", file("bank.state")};
    auto with = [&](std::vector<std::string> args, const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    Outcome result = run(with(render, {"--save-preset", file("ours.fxp")}));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = run(with(render, {"--save-preset", file("ours.fxb")}));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // Our plug-in gives the same chunk for its program as for its bank, which the raw state holds.
    const Bytes chunk = Read(file("bank.state"));
    ASSERT_FALSE(chunk.empty());
    const std::string programName = ours["programs"].empty() ? "" : ours["programs"][0]["name"].get<std::string>();
    EXPECT_EQ(Read(file("ours.fxp")), ProgramChunkFile(id, version, params, programName, chunk));
    EXPECT_EQ(Read(file("ours.fxb")), BankChunkFile(id, version, std::max(programs, 1u), 0, chunk));

    // A raw chunk wrapped for the plug-in is the same file, and unwrapped is the chunk again.
    ASSERT_EQ(run({"preset", "convert", TRIM_PLUGIN_PATH, file("bank.state"), file("wrapped.fxp")}).exitCode, 0);
    EXPECT_EQ(Read(file("wrapped.fxp")), Read(file("ours.fxp")));
    ASSERT_EQ(run({"preset", "convert", TRIM_PLUGIN_PATH, file("ours.fxb"), file("unwrapped.bin")}).exitCode, 0);
    EXPECT_EQ(Read(file("unwrapped.bin")), chunk);
    result = run({"preset", "convert", TRIM_PLUGIN_PATH, file("ours.fxb"), file("wrong.fxp")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("bank chunk, which cannot become a program"), std::string::npos) << result.err;

    // Parameters: a plug-in without chunks, given each parameter at 0 or 1 by hand-built files.
    RequirePeer(kZamComp);
    const nlohmann::json zam = info(kZamComp);
    ASSERT_EQ(zam["flags"].get<int>() & 32, 0) << "expected a plug-in that keeps no chunks";
    const auto zamId = zam["uniqueId"].get<std::uint32_t>();
    const auto zamVersion = zam["version"].get<std::uint32_t>();
    std::vector<float> values;
    for (std::size_t i = 0; i < zam["parameters"].size(); ++i) values.push_back(i % 2 == 0 ? 0.0f : 1.0f);
    WriteNoise(file("zam.wav"), zam["inputs"].get<int>(), 300);
    const std::string zamProgram = zam["programs"].empty() ? "" : zam["programs"][0]["name"].get<std::string>();
    Write(file("golden.fxp"), ProgramParamsFile(zamId, zamVersion, zamProgram, values));
    result = run({"render", kZamComp, file("zam.wav"), file("zam-out.wav"), "--load-preset", file("golden.fxp"),
                  "--save-preset", file("zam.fxp")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Read(file("zam.fxp")), Read(file("golden.fxp")));
    const std::uint32_t slots = std::max<std::uint32_t>(static_cast<std::uint32_t>(zam["programs"].size()), 1);
    std::vector<std::pair<std::string, std::vector<float>>> bank(slots, {zamProgram, values});
    Bytes golden = BankProgramsFile(zamId, zamVersion, bank);
    golden[15] = 2;  // version 2, current program 0: the same bytes otherwise
    Write(file("golden.fxb"), golden);
    result = run({"render", kZamComp, file("zam.wav"), file("zam-out.wav"), "--load-preset", file("golden.fxb"),
                  "--save-preset", file("zam.fxb")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Read(file("zam.fxb")), golden);
}

TEST_F(VsthostPresets, OurPluginLoadsItsOwnProgramBitForBit) {
    const int channels = info(TRIM_PLUGIN_PATH)["inputs"].get<int>();
    WriteNoise(file("in.wav"), channels, 2000);
    Outcome result = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("set.wav"), "-d", "0=-3", "-d", "2=6",
                          "--save-preset", file("trim.fxp"), "--save-state", file("set.state")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("loaded.wav"), "--load-preset", file("trim.fxp"),
                  "--save-state", file("loaded.state"), "--save-preset", file("again.fxp")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Slurp(file("loaded.state")), Slurp(file("set.state")));
    EXPECT_EQ(Slurp(file("again.fxp")), Slurp(file("trim.fxp")));
    const std::vector<std::uint32_t> loaded = SampleBits(file("loaded.wav"));
    EXPECT_FALSE(loaded.empty());
    EXPECT_EQ(loaded, SampleBits(file("set.wav")));
}

// One plug-in keeps chunks (which hold a header of their own), the other only parameters.
TEST_F(VsthostPresets, ThirdPartyPluginsLoadBackToTheSameDisplayTexts) {
    struct Peer {
        std::string plugin;
        std::vector<std::string> settings;
        std::vector<std::string> shown;
        bool keepsChunks;
    };
    const std::vector<Peer> peers = {
        {kLspDelay, {"-d", "9=-6", "-d", "7=12"}, {"7 (time) = 12.0 ms\n", "9 (wet) = -6.00 dB\n"}, true},
        {kZamComp, {"-d", "0=20", "-p", "2=0.3"}, {"0 (Attack) = 20.000000 ms\n", "2 (Knee) = 2.400000 dB\n"}, false},
    };
    for (const Peer& peer : peers) {
        RequirePeer(peer.plugin);
        WriteNoise(file("in.wav"), info(peer.plugin)["inputs"].get<int>(), 1000);
        for (const std::string form : {"fxp", "fxb"}) {
            SCOPED_TRACE(peer.plugin + " " + form);
            const fs::path saved = file("saved." + form), again = file("again." + form);
            std::vector<std::string> args = {"render", peer.plugin, file("in.wav"), file("out.wav"), "--save-preset", saved};
            args.insert(args.end(), peer.settings.begin(), peer.settings.end());
            Outcome result = run(args);
            ASSERT_EQ(result.exitCode, 0) << result.err;
            result = run({"render", peer.plugin, file("in.wav"), file("out2.wav"), "--load-preset", saved, "--save-preset", again});
            ASSERT_EQ(result.exitCode, 0) << result.err;
            const std::string shown = displayedAfterLoading(peer.plugin, saved);
            for (const std::string& line : peer.shown) EXPECT_NE(shown.find(line), std::string::npos) << shown;
            EXPECT_EQ(displayedAfterLoading(peer.plugin, again), shown);
            if (!peer.keepsChunks) continue;
            // Its chunk starts with a header of the same kind, yet stays an opaque chunk when unwrapped and wrapped.
            ASSERT_EQ(run({"preset", "convert", peer.plugin, saved, file("raw.bin")}).exitCode, 0);
            result = run({"preset", "convert", peer.plugin, file("raw.bin"), file("wrapped." + form)});
            ASSERT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(Read(file("wrapped." + form)), Read(saved));
        }
    }
}

TEST_F(VsthostPresets, DamagedFilesExitWithTwoAndLoadNothing) {
    const nlohmann::json ours = info(TRIM_PLUGIN_PATH);
    const auto id = ours["uniqueId"].get<std::uint32_t>();
    WriteNoise(file("in.wav"), ours["inputs"].get<int>(), 300);
    ASSERT_EQ(run({"render", TRIM_PLUGIN_PATH, file("in.wav"), file("x.wav"), "-d", "0=-6", "--save-preset",
                   file("good.fxp")}).exitCode, 0);
    const Bytes good = Read(file("good.fxp"));
    ASSERT_GT(good.size(), 64u);

    Bytes truncatedHeader(good.begin(), good.begin() + 30);
    Bytes truncatedChunk(good.begin(), good.end() - 1);
    Bytes wrongMagic = good;
    wrongMagic[0] = 'X';
    Bytes wrongForm = good;
    wrongForm[8] = 'Q';
    Bytes chunkPastEnd = good;
    chunkPastEnd[58] += 1;  // chunk size's second-lowest byte: 256 bytes more than the file has
    Bytes otherPlugin = good;
    otherPlugin[16] ^= 0x20;
    Bytes eightTooMany = good;
    eightTooMany[7] += 8;
    const Bytes bankOfPrograms = BankProgramsFile(id, 1, {{"a", {0.5f, 0.25f}}, {"b", {1.0f, 0.0f}}});
    Bytes bankMissingProgram = BankProgramsFile(id, 1, {{"a", {0.5f}}});
    bankMissingProgram[27] = 2;  // two programs announced, one present
    Bytes bankChunkPastEnd = BankChunkFile(id, 1, 1, 0, {1, 2, 3, 4});
    bankChunkPastEnd[158] = 1;
    const auto otherId = static_cast<std::uint32_t>(otherPlugin[16]) << 24 | (id & 0xFFFFFF);
    char idText[16];
    std::snprintf(idText, sizeof idText, "0x%08X", id);
    char otherText[16];
    std::snprintf(otherText, sizeof otherText, "0x%08X", otherId);

    struct Case {
        std::string name;
        Bytes bytes;
        std::vector<std::string> extra;
        int exitCode;
        std::vector<std::string> said;
    };
    const std::vector<Case> cases = {
        {"truncated header", truncatedHeader, {}, 2, {"truncated"}},
        {"truncated chunk", truncatedChunk, {}, 2, {"reaches past its end"}},
        {"wrong magic", wrongMagic, {}, 2, {"does not start with 'CcnK'"}},
        {"unknown form", wrongForm, {}, 2, {"unknown preset magic"}},
        {"chunk past the end", chunkPastEnd, {}, 2, {"reaches past its end"}},
        {"other plug-in", otherPlugin, {}, 2, {idText, otherText, "--force"}},
        {"other plug-in, forced", otherPlugin, {"--force"}, 0, {"warning", idText, otherText}},
        {"byte size 8 too many", eightTooMany, {}, 0, {}},
        {"bank truncated in a program", Bytes(bankOfPrograms.begin(), bankOfPrograms.end() - 2), {}, 2, {"truncated"}},
        {"bank with a program missing", bankMissingProgram, {}, 2, {"programs do not fit"}},
        {"bank chunk past the end", bankChunkPastEnd, {}, 2, {"reaches past its end"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(file("damaged.fxp"), c.bytes);
        fs::remove(file("out.wav"));
        std::vector<std::string> args = {"render", TRIM_PLUGIN_PATH, file("in.wav"), file("out.wav"), "--load-preset",
                                         file("damaged.fxp")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome result = run(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        for (const std::string& part : c.said) EXPECT_NE(result.err.find(part), std::string::npos) << result.err;
        EXPECT_EQ(fs::exists(file("out.wav")), c.exitCode == 0);
        if (c.exitCode == 2) {
            const Outcome shown = run({"preset", "show", file("damaged.fxp"), "--plugin", TRIM_PLUGIN_PATH});
            EXPECT_EQ(shown.exitCode, 2);
            EXPECT_EQ(shown.out.find("loaded into"), std::string::npos) << shown.out;
        }
    }
}
