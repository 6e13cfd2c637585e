// A plug-in binary and its instances as the command-line host runs them: loading with errors a user
// can act on, start-up with a transport, and parameters found by index or by name.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/driver/Plugin.h"

namespace vsthost {

// A failure to report to the user; the message says what went wrong and with which file.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Checks that path names a plug-in file this host can load, without loading it: it exists, is no
// folder, and its headers fit the file; a binary for another system or bitness is refused by name.
// Throws HostError.
void CheckPluginFile(const std::string& path);

// A loaded plug-in binary with a found entry point. Instances must end before it does.
class PluginBinary {
public:
    explicit PluginBinary(const std::string& path);  // throws HostError

    VstPluginMainProc entry() const noexcept { return entry_; }
    const std::string& entryName() const noexcept { return entryName_; }
    const std::string& path() const noexcept { return library_.path(); }
    void* handle() const noexcept { return library_.handle(); }  // the system loader's

private:
    PluginLibrary library_;
    VstPluginMainProc entry_ = nullptr;
    std::string entryName_;
};

// One instance with its own host callback, which answers the sample rate, the block size and a
// running transport (120 bpm, 4/4, playing).
class Instance {
public:
    explicit Instance(const PluginBinary& binary);  // throws HostError
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    Plugin& plugin() noexcept { return *plugin_; }
    const Plugin& plugin() const noexcept { return *plugin_; }
    const AEffect& fields() const noexcept { return plugin_->fields(); }
    int inputs() const noexcept { return fields().numInputs; }
    int outputs() const noexcept { return fields().numOutputs; }
    bool offersDouble() const noexcept;

    // Open, then configure: what a host does before the first resume.
    void open(double sampleRate, int blockSize);
    void resume() const { plugin_->resume(); }
    void suspend() const { plugin_->suspend(); }
    // Suspend, new rate and block size, resume: a host changing its audio settings.
    void reconfigure(double sampleRate, int blockSize);
    // Moves the transport on after a processed block.
    void advance(int frames) noexcept;

    // The parameter meant by key: a decimal index or a name (exact, else unique ignoring case).
    int parameterIndex(const std::string& key) const;  // throws HostError
    std::string parameterTitle(int index) const;       // "3 (level mono 4)"

private:
    void answerSettings(double sampleRate, int blockSize);

    ScriptedHost host_;
    VstTimeInfo transport_{};
    std::unique_ptr<Plugin> plugin_;
};

}  // namespace vsthost
