// The Linux build runs a Windows DLL's info, validate and bench with the Windows build of vsthost
// under Wine, through the project's tools/wine-run, which picks the way programs of that bitness run
// on this machine.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/vsthost/BinaryFormat.h"
#include "tools/vsthost/Platform.h"
#include "tools/vsthost/PluginBinary.h"

namespace fs = std::filesystem;

namespace vsthost {

namespace {

constexpr int kCannotRun = 125;  // wine-run: programs of that bitness cannot run here

struct WindowsBuild {
    const char* bits;          // wine-run's name for the bitness
    const char* program;       // the file the Windows build makes
    const char* variable;      // the environment variable that names it
    const char* description;   // for messages
};

WindowsBuild BuildFor(BinaryFormat format) {
    if (format == BinaryFormat::kWindows32) return {"win32", "vsthost-win32.exe", "VSTHOST_WIN32", "32-bit Windows"};
    return {"win64", "vsthost-win64.exe", "VSTHOST_WIN64", "64-bit Windows"};
}

// A plug-in's format; a path that names no regular file is left to the usual checks.
BinaryFormat FormatOf(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) ? InspectBinary(path) : BinaryFormat::kOther;
}

bool IsWindows(BinaryFormat format) { return format == BinaryFormat::kWindows32 || format == BinaryFormat::kWindows64; }

// The value of an environment variable; unset and empty are alike.
const char* Setting(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// The Windows build: the file the environment variable names, else the one beside this program,
// else the one in this project's build folder of that preset.
std::string FindWindowsBuild(const WindowsBuild& build) {
    if (const char* named = Setting(build.variable)) {
        std::error_code error;
        if (!fs::is_regular_file(named, error))
            throw HostError(std::string(build.variable) + " names '" + named + "', which is not a file; it should name " +
                            build.program);
        return named;
    }
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const fs::path beside = self.parent_path() / build.program;
    const fs::path built = fs::path(VSTHOST_SOURCE_DIR) / "build" / build.bits / "tools" / "vsthost" / build.program;
    for (const fs::path& candidate : {beside, built})
        if (fs::is_regular_file(candidate, error)) return candidate;
    throw HostError(std::string("there is no ") + build.description + " build of vsthost to run it under Wine: neither " +
                    beside.string() + " nor " + built.string() + " exists, and " + build.variable +
                    " is not set (build it with: cmake --preset " + build.bits + " && cmake --build --preset " +
                    build.bits + ")");
}

// wine-run: the file VSTHOST_WINE_RUN names, else the one in this project's tools/.
std::string FindWineRun() {
    const char* named = Setting("VSTHOST_WINE_RUN");
    const std::string wineRun = named != nullptr ? named : std::string(VSTHOST_SOURCE_DIR) + "/tools/wine-run/wine-run";
    if (access(wineRun.c_str(), X_OK) != 0)
        throw HostError("cannot run Windows programs: wine-run ('" + wineRun + "') is not an executable file" +
                        (named != nullptr ? " (named by VSTHOST_WINE_RUN)" : " (VSTHOST_WINE_RUN may name another)"));
    return wineRun;
}

// The path as Wine's programs see it: drive Z: is the root of this machine's file system.
std::string WinePath(const std::string& path) {
    std::string wine = "Z:" + fs::absolute(path).lexically_normal().string();
    for (char& c : wine)
        if (c == '/') c = '\\';
    return wine;
}

// Runs the command and answers its wait status; with output, its standard output is kept there
// instead of passed through.
int Run(const std::vector<std::string>& command, std::string* output) {
    int channel[2] = {-1, -1};
    if (output != nullptr && pipe(channel) != 0) throw HostError(std::string("cannot create a pipe: ") + std::strerror(errno));
    const pid_t child = fork();
    if (child < 0) throw HostError(std::string("cannot start ") + command.front() + ": " + std::strerror(errno));
    if (child == 0) {
        if (output != nullptr) {
            dup2(channel[1], STDOUT_FILENO);
            close(channel[0]);
            close(channel[1]);
        }
        // Quiet and without prompts unless the caller chose otherwise: no Wine debug lines on stderr,
        // no Mono or Gecko installer when Wine makes a new prefix.
        setenv("WINEDEBUG", "-all", 0);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 0);
        std::vector<char*> arguments;
        for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
        arguments.push_back(nullptr);
        execv(arguments.front(), arguments.data());
        std::fprintf(stderr, "vsthost: error: cannot start %s: %s\n", arguments.front(), std::strerror(errno));
        _exit(127);
    }
    if (output != nullptr) {
        close(channel[1]);
        char buffer[4096];
        for (ssize_t count; (count = read(channel[0], buffer, sizeof buffer)) > 0;)
            output->append(buffer, static_cast<std::size_t>(count));
        close(channel[0]);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Why programs of this bitness do not run here, in wine-run's words.
std::string WhyNotRunning(const std::string& wineRun, const WindowsBuild& build) {
    std::string answer;
    Run({wineRun, build.bits, "--probe"}, &answer);
    while (!answer.empty() && answer.back() == '\n') answer.pop_back();
    const std::string none = "none: ";
    return answer.compare(0, none.size(), none) == 0 ? answer.substr(none.size()) : "";
}

}  // namespace

void PrepareProcess() {}

std::string PathForTheirBuild(const std::string& path) { return WinePath(path); }

std::optional<int> RunWithTheirBuild(const std::vector<std::string>& plugins, const ArgumentsFor& arguments) {
    std::optional<BinaryFormat> windows;
    std::string firstDll, firstOther;
    for (const std::string& plugin : plugins) {
        const BinaryFormat format = FormatOf(plugin);
        if (!IsWindows(format)) {
            if (firstOther.empty()) firstOther = plugin;
            continue;
        }
        if (windows && *windows != format)
            throw HostError("'" + firstDll + "' is " + DescribeFormat(*windows) + " and '" + plugin + "' " +
                            DescribeFormat(format) + ": one run takes DLLs of one bitness");
        if (!windows) firstDll = plugin;
        windows = format;
    }
    if (!windows) return std::nullopt;
    if (!firstOther.empty())
        throw HostError("'" + firstDll + "' is " + DescribeFormat(*windows) + " and '" + firstOther +
                        "' is not: Windows DLLs and Linux plug-ins are run apart");
    const WindowsBuild build = BuildFor(*windows);
    const std::string program = FindWindowsBuild(build);
    const std::string wineRun = FindWineRun();
    std::vector<std::string> winePaths;
    for (const std::string& plugin : plugins) winePaths.push_back(WinePath(plugin));
    std::vector<std::string> command = {wineRun, build.bits, program};
    for (std::string& argument : arguments(winePaths)) command.push_back(std::move(argument));
    std::fflush(nullptr);
    const int status = Run(command, nullptr);
    if (WIFSIGNALED(status))
        throw HostError(std::string("the ") + build.description + " build of vsthost under Wine ended with signal " +
                        std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")");
    const int exitCode = WEXITSTATUS(status);
    if (exitCode == kCannotRun || exitCode == 126 || exitCode == 127) {
        const std::string why = WhyNotRunning(wineRun, build);
        if (!why.empty()) throw HostError(std::string(build.description) + " programs cannot run here: " + why);
        throw HostError(std::string("the ") + build.description + " build of vsthost did not start under Wine (exit status " +
                        std::to_string(exitCode) + ")");
    }
    return exitCode;
}

}  // namespace vsthost
