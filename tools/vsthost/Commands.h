// The subcommands of the command-line host. Each answers the process exit code and throws
// HostError for failures a user must see.
#pragma once

#include <string>
#include <vector>

#include "tools/vsthost/Parameters.h"

namespace vsthost {

struct InfoOptions {
    std::string plugin;
    bool json = false;
};
int RunInfo(const InfoOptions& options);

struct RenderOptions {
    std::string plugin;
    std::string input;
    std::string output;
    int blockSize = 512;
    bool doublePrecision = false;
    std::string format;   // major format by libsndfile's extension name ("wav", "flac"); empty: the input's
    std::string subtype;  // "pcm16", "pcm24", "pcm32", "float", "double"; empty: the input's
    std::vector<ParameterSetting> settings;
    std::string loadState;
    std::string saveState;
    std::string loadPreset;    // .fxp or .fxb
    std::string savePreset;
    std::string presetFormat;  // "fxp" or "fxb"; empty: from the file name
    bool force = false;        // load a preset made for another plug-in ID
    bool levels = false;  // print per-channel peak and RMS before and after
    std::string automation;       // file of parameter points over time; empty: none
    std::string tail;             // seconds of silence processed after the input, or "auto"; empty: none
    bool compensateLatency = false;  // drop the plug-in's initial delay from the front, render as much more
};
int RunRender(const RenderOptions& options);  // the Windows build says it has none

// preset show FILE [--plugin P] and preset convert PLUGIN INPUT OUTPUT (Linux build only).
struct PresetOptions {
    bool convert = false;
    std::string plugin;  // show: optional, loads the file into it and shows the parameters
    std::string input;
    std::string output;
    std::string inputFormat;  // "fxp", "fxb" or "chunk"; empty: from the input's name
    std::string format;       // "fxp", "fxb" or "chunk"; empty: from the output's name
    std::string name;    // program name written when wrapping a chunk; empty: the plug-in's
    bool force = false;
};
int RunPreset(const PresetOptions& options);

struct ValidateOptions {
    std::string plugin;
    unsigned seed = 1;
    double timeoutFactor = 1.0;  // scales every check's time limit, e.g. for an emulated run
    std::vector<std::string> only;  // check names to run; empty: all
    std::vector<std::string> skip;  // check names not to run
    std::vector<double> sampleRates;  // of the processing checks; empty: their defaults
    std::vector<int> blockSizes;      // of the processing checks; empty: their defaults
    bool json = false;                // the report as JSON on standard output instead of lines
    std::string junitFile;            // where to write the report as JUnit XML too; empty: nowhere
    // Set in a child process that the validate command started again (Windows): the one check to
    // run and the channel its answer goes to.
    std::string runCheck;
    std::string answerChannel;
};
int RunValidate(const ValidateOptions& options);

struct BenchSetting {
    int plugin;  // position on the command line, 0-based
    ParameterSetting setting;
};
struct BenchOptions {
    std::vector<std::string> plugins;
    int blockSize = 512;
    int rounds = 15;
    int framesPerRound = 1 << 18;
    double sampleRate = 48000.0;
    std::vector<BenchSetting> settings;
    bool json = false;
};
int RunBench(const BenchOptions& options);

}  // namespace vsthost
