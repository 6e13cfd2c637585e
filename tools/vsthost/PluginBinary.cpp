#include "tools/vsthost/PluginBinary.h"

#include <charconv>
#include <filesystem>

#include "tools/support/Text.h"
#include "tools/vsthost/BinaryFormat.h"

namespace vsthost {

namespace {

constexpr double kTransportTempo = 120.0;

// Which vsthost loads a plug-in that this one does not.
std::string WhereItLoads(BinaryFormat format) {
    if (format == BinaryFormat::kElf64) return "the Linux build of vsthost loads it";
    if (kLoadableFormat == BinaryFormat::kElf64)
        return "vsthost runs a Windows DLL under Wine with its Windows build for info, validate and bench, not for render";
    return std::string(format == BinaryFormat::kWindows32 ? "vsthost-win32.exe" : "vsthost-win64.exe") + " loads it";
}

std::string FilePath(const std::string& path) {
    return std::filesystem::path(path).has_parent_path() ? path : (std::filesystem::path(".") / path).string();
}

}  // namespace

void CheckPluginFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) throw HostError("cannot open plug-in '" + path + "': no such file");
    if (std::filesystem::is_directory(status))
        throw HostError("cannot open plug-in '" + path + "': it is a directory, not a plug-in binary");
    const BinaryFormat format = InspectBinary(path);
    if (format != BinaryFormat::kOther && format != kLoadableFormat)
        throw HostError("cannot load plug-in '" + path + "': it is " + DescribeFormat(format) + ", and this vsthost loads only " +
                        DescribeFormat(kLoadableFormat).substr(2) + "s; " + WhereItLoads(format));
}

PluginBinary::PluginBinary(const std::string& path) {
    CheckPluginFile(path);
    // A name without a folder means the file in the current one, not a search of the library path.
    if (!library_.load(FilePath(path)))
        throw HostError("cannot load plug-in '" + path + "': not a loadable shared library (" + library_.error() + ")");
    entry_ = library_.entry();
    if (entry_ == nullptr)
        throw HostError("'" + path + "' is not a VST 2.4 plug-in: it exports none of VSTPluginMain, main, MAIN");
    entryName_ = library_.entryName();
}

Instance::Instance(const PluginBinary& binary) {
    host_.recording = false;  // the CLI reads no call log, and it must not race with a second thread
    host_.timeInfo = &transport_;
    AEffect* aeffect = host_.instantiate(binary.entry());
    if (aeffect == nullptr)
        throw HostError("plug-in '" + binary.path() + "': its entry " + binary.entryName() +
                        " returned no instance (null)");
    if (aeffect->magic != kEffectMagic) {
        // An object of unknown layout: calling its dispatcher to close it would be unsafe, so it is left alone.
        throw HostError("plug-in '" + binary.path() + "': its entry " + binary.entryName() +
                        " returned an object without the VST magic number");
    }
    plugin_ = std::make_unique<Plugin>(aeffect);
    answerSettings(44100.0, 512);
}

bool Instance::offersDouble() const noexcept {
    return (fields().flags & effFlagsCanDoubleReplacing) != 0 && fields().processDoubleReplacing != nullptr;
}

void Instance::open(double sampleRate, int blockSize) {
    plugin_->open();
    answerSettings(sampleRate, blockSize);
    plugin_->setSampleRate(static_cast<float>(sampleRate));
    plugin_->setBlockSize(blockSize);
}

void Instance::reconfigure(double sampleRate, int blockSize) {
    plugin_->suspend();
    answerSettings(sampleRate, blockSize);
    plugin_->setSampleRate(static_cast<float>(sampleRate));
    plugin_->setBlockSize(blockSize);
    plugin_->resume();
}

void Instance::answerSettings(double sampleRate, int blockSize) {
    host_.answers[audioMasterGetSampleRate] = static_cast<VstIntPtr>(sampleRate);
    host_.answers[audioMasterGetBlockSize] = blockSize;
    transport_ = VstTimeInfo{};
    transport_.sampleRate = sampleRate;
    transport_.tempo = kTransportTempo;
    transport_.timeSigNumerator = 4;
    transport_.timeSigDenominator = 4;
    transport_.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
}

void Instance::advance(int frames) noexcept {
    transport_.samplePos += frames;
    transport_.ppqPos = transport_.samplePos / transport_.sampleRate * (kTransportTempo / 60.0);
}

int Instance::parameterIndex(const std::string& key) const {
    const int count = fields().numParams;
    int index = -1;
    const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), index);
    if (error == std::errc() && end == key.data() + key.size() && !key.empty()) {
        if (index < 0 || index >= count)
            throw HostError("parameter index " + key + " is out of range: the plug-in has " + std::to_string(count) +
                            " parameters (0 to " + std::to_string(count - 1) + ")");
        return index;
    }
    std::vector<int> caseless;
    for (int i = 0; i < count; ++i) {
        const std::string name = plugin_->parameterName(i);
        if (name == key) return i;
        if (Lowered(name) == Lowered(key)) caseless.push_back(i);
    }
    if (caseless.size() == 1) return caseless.front();
    std::string known;
    for (int i = 0; i < count; ++i) known += (i == 0 ? "" : ", ") + plugin_->parameterName(i);
    throw HostError("unknown parameter '" + key + "'" +
                    (caseless.empty() ? "" : " (more than one name matches when case is ignored)") +
                    "; the plug-in's parameters are: " + (known.empty() ? "(none)" : known));
}

std::string Instance::parameterTitle(int index) const {
    return std::to_string(index) + " (" + plugin_->parameterName(index) + ")";
}

}  // namespace vsthost
