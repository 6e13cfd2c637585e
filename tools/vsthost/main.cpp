// vsthost: a command-line host for VST 2.4 plug-ins. Shows what a plug-in is (info), pushes audio
// files through it (render, Linux only), checks it as demanding hosts would (validate) and times it
// (bench). The Linux build runs a Windows DLL with the Windows build under Wine.
#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>

#include "tools/support/Text.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/FaultReport.h"
#include "tools/vsthost/Isolation.h"
#include "tools/vsthost/Platform.h"

namespace {

using vsthost::ParameterSetting;

constexpr int kErrorExit = 2;

std::vector<ParameterSetting> Settings(const std::vector<std::string>& normalised,
                                       const std::vector<std::string>& displayed) {
    std::vector<ParameterSetting> settings;
    for (const std::string& text : normalised) settings.push_back(vsthost::ParseSetting(text, false));
    for (const std::string& text : displayed) settings.push_back(vsthost::ParseSetting(text, true));
    return settings;
}

// "[N:]KEY=VALUE": N is the plug-in's 1-based position among bench's arguments, 1 when left out.
vsthost::BenchSetting BenchSettingOf(const std::string& text, bool displayed, std::size_t plugins) {
    const auto colon = text.find(':');
    const auto equals = text.rfind('=');
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (colon != std::string::npos && colon == digits && digits > 0 && colon < equals) {
        unsigned long long position = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + colon, position);
        if (error != std::errc() || end != text.data() + colon || position < 1 || position > plugins)
            throw vsthost::HostError("parameter setting '" + text + "' names plug-in " + text.substr(0, colon) +
                                     ", but " + std::to_string(plugins) + " were given");
        return {static_cast<int>(position) - 1, vsthost::ParseSetting(text.substr(colon + 1), displayed)};
    }
    return {0, vsthost::ParseSetting(text, displayed)};
}

void AddParameterOptions(CLI::App& command, std::vector<std::string>& normalised, std::vector<std::string>& displayed,
                         const std::string& prefix) {
    command.add_option("-p,--param", normalised,
                       "set a parameter before processing: " + prefix + "KEY=VALUE, KEY an index or a name, VALUE "
                       "normalised 0..1 (repeatable)");
    command.add_option("-d,--param-display", displayed,
                       "set a parameter to the value the plug-in displays (e.g. dB): " + prefix +
                           "KEY=VALUE (repeatable)");
}

std::vector<std::string> InfoArguments(const vsthost::InfoOptions& info, const std::vector<std::string>& plugins) {
    std::vector<std::string> arguments = {"info", plugins.front()};
    if (info.json) arguments.emplace_back("--json");
    return arguments;
}

std::vector<std::string> ValidateArguments(const vsthost::ValidateOptions& validate, const std::vector<std::string>& plugins) {
    std::vector<std::string> arguments = {"validate", plugins.front(), "--seed", std::to_string(validate.seed),
                                          "--timeout-factor", vsthost::ExactText(validate.timeoutFactor)};
    for (const std::string& name : validate.only) arguments.insert(arguments.end(), {"--only", name});
    for (const std::string& name : validate.skip) arguments.insert(arguments.end(), {"--skip", name});
    for (const double rate : validate.sampleRates)
        arguments.insert(arguments.end(), {"--sample-rates", vsthost::ExactText(rate)});
    for (const int block : validate.blockSizes) arguments.insert(arguments.end(), {"--block-sizes", std::to_string(block)});
    if (validate.json) arguments.emplace_back("--json");
    if (!validate.junitFile.empty()) arguments.insert(arguments.end(), {"--junit", vsthost::PathForTheirBuild(validate.junitFile)});
    return arguments;
}

std::vector<std::string> BenchArguments(const vsthost::BenchOptions& bench, const std::vector<std::string>& normalised,
                                        const std::vector<std::string>& displayed, const std::vector<std::string>& plugins) {
    std::vector<std::string> arguments = {"bench"};
    arguments.insert(arguments.end(), plugins.begin(), plugins.end());
    for (const auto& [option, value] : {std::pair{"--block", std::to_string(bench.blockSize)},
                                        std::pair{"--rounds", std::to_string(bench.rounds)},
                                        std::pair{"--frames", std::to_string(bench.framesPerRound)},
                                        std::pair{"--rate", vsthost::ExactText(bench.sampleRate)}}) {
        arguments.emplace_back(option);
        arguments.push_back(value);
    }
    for (const std::string& text : normalised) arguments.insert(arguments.end(), {"--param", text});
    for (const std::string& text : displayed) arguments.insert(arguments.end(), {"--param-display", text});
    if (bench.json) arguments.emplace_back("--json");
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    vsthost::PrepareProcess();
    CLI::App app{"A command-line host for VST 2.4 plug-ins: info, render, preset, validate, bench"};
    app.require_subcommand(1);
    // The same options on every system; a path such as /work/x.dll, which Wine's programs take, stays a path.
    app.allow_windows_style_options(false);
    app.footer("Examples:\n"
               "  vsthost info trim.so\n"
               "  vsthost render trim.so in.wav out.wav -d \"level mono 1=-6\" --levels\n"
               "  vsthost validate trim.dll --junit report.xml    # a Windows DLL, under Wine\n"
               "Each command's --help shows more.");

    vsthost::InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand("info", "show the plug-in's fields, names, programs and parameters");
    infoCommand->add_option("plugin", info.plugin, "plug-in binary (.so or .dll)")->required();
    infoCommand->add_flag("--json", info.json, "print JSON for machines");
    infoCommand->footer("Examples:\n"
                        "  vsthost info /usr/lib/vst/TolvarneskLevelTrimmer4x.so\n"
                        "  vsthost info synth.dll --json > synth.json    # a Windows DLL, under Wine");

    vsthost::RenderOptions render;
    std::vector<std::string> renderNormalised, renderDisplayed;
    CLI::App* renderCommand = app.add_subcommand("render", "process an audio file through the plug-in (Linux build only)");
    renderCommand->add_option("plugin", render.plugin, "plug-in binary (.so)")->required();
    renderCommand->add_option("input", render.input, "audio file to read (any format libsndfile reads)")->required();
    renderCommand->add_option("output", render.output, "audio file to write")->required();
    renderCommand->add_option("-b,--block", render.blockSize, "frames per processing call")->capture_default_str();
    renderCommand->add_flag("--double", render.doublePrecision, "process in double precision");
    renderCommand->add_option("--format", render.format, "output format by extension name (wav, flac, aiff, ...); default: the input's");
    renderCommand->add_option("--subtype", render.subtype, "output samples: pcm16, pcm24, pcm32, float, double, ...; default: the input's");
    AddParameterOptions(*renderCommand, renderNormalised, renderDisplayed, "");
    renderCommand->add_option("--load-state", render.loadState, "load the plug-in's state (raw chunk) before processing");
    renderCommand->add_option("--save-state", render.saveState, "save the plug-in's state (raw chunk) after processing");
    renderCommand->add_option("--load-preset", render.loadPreset, "load a program (.fxp) or bank (.fxb) before processing");
    renderCommand->add_option("--save-preset", render.savePreset, "save the program (.fxp) or bank (.fxb) after processing");
    renderCommand->add_option("--preset-format", render.presetFormat, "fxp or fxb, whatever the preset files' names say");
    renderCommand->add_flag("--force", render.force, "load a preset made for a plug-in with another ID");
    renderCommand->add_flag("--levels", render.levels, "print per-channel peak and RMS before and after");
    renderCommand->add_option("--automation", render.automation,
                              "change parameters over time, from a file of lines 'TIME step|ramp -p|-d KEY=VALUE'");
    renderCommand->add_option("--tail", render.tail,
                              "go on processing silence after the input: SECONDS, or 'auto' for the tail the plug-in reports");
    renderCommand->add_flag("--compensate-latency", render.compensateLatency,
                            "drop the plug-in's reported latency from the front and render as much more at the end");
    renderCommand->footer("Examples:\n"
                          "  vsthost render trim.so in.wav out.wav -d \"level mono 2=-3.5\" -p 0=0.25 --levels\n"
                          "  vsthost render trim.so in.wav out.flac --format flac --subtype pcm24 -b 64\n"
                          "  vsthost render trim.so in.wav out.wav --automation moves.txt\n"
                          "      moves.txt holds lines such as:  0s step -d 0=-6   and   1.5s ramp -d 0=0\n"
                          "  vsthost render delay.so in.wav out.wav --tail auto --compensate-latency\n"
                          "  vsthost render comp.so in.wav out.wav --load-preset vocal.fxp --save-state vocal.bin");

    vsthost::PresetOptions preset;
    CLI::App* presetCommand = app.add_subcommand("preset", "show .fxp/.fxb preset files, convert raw chunks (Linux build only)");
    presetCommand->require_subcommand(1);
    presetCommand->footer("Examples:\n"
                          "  vsthost render comp.so in.wav out.wav -d Attack=20 --save-preset attack20.fxp\n"
                          "  vsthost preset show attack20.fxp --plugin comp.so\n"
                          "  vsthost preset convert synth.so state.bin state.fxp    # a raw chunk wrapped\n"
                          "  vsthost preset convert synth.so bank.fxb bank.bin      # and taken out");
    CLI::App* presetShow = presetCommand->add_subcommand("show", "print a preset file's header fields and contents");
    presetShow->add_option("file", preset.input, "the .fxp or .fxb file")->required();
    presetShow->add_option("--plugin", preset.plugin, "also load the file into this plug-in and show its parameters");
    presetShow->add_flag("--force", preset.force, "load it even if made for a plug-in with another ID");
    CLI::App* presetConvert =
        presetCommand->add_subcommand("convert", "wrap a raw chunk file in .fxp/.fxb for a plug-in, or take it out");
    presetConvert->add_option("plugin", preset.plugin, "the plug-in the chunk belongs to (.so)")->required();
    presetConvert->add_option("input", preset.input, "a raw chunk, .fxp or .fxb file")->required();
    presetConvert->add_option("output", preset.output, "the file to write")->required();
    presetConvert->add_option("--preset-format", preset.format, "fxp, fxb or chunk; default: from the output's name "
                              "(.fxp, .fxb, anything else a raw chunk)");
    presetConvert->add_option("--input-format", preset.inputFormat, "fxp, fxb or chunk; default: from the input's name");
    presetConvert->add_option("--name", preset.name, "program name to store; default: the plug-in's");
    presetConvert->add_flag("--force", preset.force, "convert a preset made for a plug-in with another ID");

    vsthost::ValidateOptions validate;
    CLI::App* validateCommand = app.add_subcommand("validate", "check the plug-in as demanding hosts do");
    validateCommand->add_option("plugin", validate.plugin, "plug-in binary (.so or .dll)")->required();
    validateCommand->add_option("--seed", validate.seed, "seed of the noise and random values")->capture_default_str();
    validateCommand->add_option("--timeout-factor", validate.timeoutFactor, "multiplies every check's time limit")
        ->check(CLI::Range(0.01, 1000.0))
        ->capture_default_str();
    validateCommand->add_option("--only", validate.only, "run only these checks, by id or name (comma-separated or repeated)")
        ->delimiter(',');
    validateCommand->add_option("--skip", validate.skip, "do not run these checks, by id or name")->delimiter(',');
    validateCommand->add_option("--sample-rates", validate.sampleRates, "rates of the processing checks, e.g. 44100,88200")
        ->delimiter(',')
        ->check(CLI::Range(1.0, 1.0e6));
    validateCommand->add_option("--block-sizes", validate.blockSizes, "block sizes of the processing checks, e.g. 64,2048")
        ->delimiter(',')
        ->check(CLI::Range(1, 1 << 16));
    validateCommand->add_flag("--json", validate.json, "print the report as JSON for machines");
    validateCommand->add_option("--junit", validate.junitFile, "write the report as JUnit XML to this file too");
    validateCommand->footer("Examples:\n"
                            "  vsthost validate trim.so\n"
                            "  vsthost validate trim.so --only load,info,processing --sample-rates 44100,192000 "
                            "--block-sizes 16,2048\n"
                            "  vsthost validate trim.so --skip fuzz,second-thread --json > report.json\n"
                            "  vsthost validate trim.dll --junit validate.xml    # a Windows DLL, under Wine\n"
                            "Exit code: 0 every check passed, 1 one failed, 2 a usage error or bad input.");
    // For a check run in a process of its own that this program started again (Windows); not shown in the help.
    validateCommand->add_option("--run-check", validate.runCheck)->group("");
    validateCommand->add_option(vsthost::kAnswerOption, validate.answerChannel)->group("");

    vsthost::BenchOptions bench;
    std::vector<std::string> benchNormalised, benchDisplayed;
    CLI::App* benchCommand = app.add_subcommand("bench", "time processing of one or more plug-ins, interleaved");
    benchCommand->add_option("plugins", bench.plugins, "plug-in binaries (.so or .dll)")->required();
    benchCommand->add_option("-b,--block", bench.blockSize, "frames per processing call")->capture_default_str();
    benchCommand->add_option("--rounds", bench.rounds, "timed rounds")->capture_default_str();
    benchCommand->add_option("--frames", bench.framesPerRound, "frames per plug-in and round")->capture_default_str();
    benchCommand->add_option("--rate", bench.sampleRate, "sample rate")->capture_default_str();
    AddParameterOptions(*benchCommand, benchNormalised, benchDisplayed, "[N:]");
    benchCommand->add_flag("--json", bench.json, "print JSON for machines");
    benchCommand->footer("Examples:\n"
                         "  vsthost bench trim.so other.so -b 64 --rounds 30\n"
                         "  vsthost bench trim.so trim.so -d \"2:level mono 1=-6\" --json    # one plug-in, two settings");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and version requests end well; every mistake on the command line is an error like any other.
        return app.exit(error) == 0 ? 0 : kErrorExit;
    }

    try {
        if (infoCommand->parsed()) {
            const auto elsewhere = vsthost::RunWithTheirBuild(
                {info.plugin}, [&](const std::vector<std::string>& plugins) { return InfoArguments(info, plugins); });
            if (elsewhere) return *elsewhere;
            const vsthost::FaultReport report("describing the plug-in");
            return vsthost::RunInfo(info);
        }
        if (renderCommand->parsed()) {
            render.settings = Settings(renderNormalised, renderDisplayed);
            const vsthost::FaultReport report("rendering");
            return vsthost::RunRender(render);
        }
        if (presetCommand->parsed()) {
            preset.convert = presetConvert->parsed();
            const vsthost::FaultReport report("reading the preset");
            return vsthost::RunPreset(preset);
        }
        if (validateCommand->parsed()) {
            const auto elsewhere = vsthost::RunWithTheirBuild(
                {validate.plugin}, [&](const std::vector<std::string>& plugins) { return ValidateArguments(validate, plugins); });
            return elsewhere ? *elsewhere : vsthost::RunValidate(validate);
        }
        const auto elsewhere = vsthost::RunWithTheirBuild(bench.plugins, [&](const std::vector<std::string>& plugins) {
            return BenchArguments(bench, benchNormalised, benchDisplayed, plugins);
        });
        if (elsewhere) return *elsewhere;
        for (const std::string& text : benchNormalised)
            bench.settings.push_back(BenchSettingOf(text, false, bench.plugins.size()));
        for (const std::string& text : benchDisplayed)
            bench.settings.push_back(BenchSettingOf(text, true, bench.plugins.size()));
        const vsthost::FaultReport report("benchmarking");
        return vsthost::RunBench(bench);
    } catch (const vsthost::HostError& error) {
        std::fprintf(stderr, "vsthost: error: %s\n", error.what());
        return kErrorExit;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vsthost: error: unexpected failure: %s\n", error.what());
        return kErrorExit;
    }
}
