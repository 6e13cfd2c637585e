#include "tools/driver/Plugin.h"

#include <cstring>

namespace vsthost {

namespace {

constexpr std::size_t kTextBufferSize = 1024;

}  // namespace

Plugin::Plugin(ScriptedHost& host, VstPluginMainProc entry) : aeffect_(host.instantiate(entry)) {}

Plugin::~Plugin() {
    if (aeffect_ != nullptr) close();
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const {
    return aeffect_->dispatcher(aeffect_, opcode, index, value, ptr, opt);
}

void Plugin::start(float sampleRate, VstInt32 blockSize) const {
    open();
    setSampleRate(sampleRate);
    setBlockSize(blockSize);
    resume();
}

VstIntPtr Plugin::close() {
    const VstIntPtr answer = dispatch(effClose);
    aeffect_ = nullptr;
    return answer;
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index) const {
    char buffer[kTextBufferSize] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kTextBufferSize - 1] = '\0';
    return buffer;
}

VstIntPtr Plugin::canDo(const char* capability) const {
    char buffer[kTextBufferSize] = {};
    std::strncpy(buffer, capability, kTextBufferSize - 1);
    return dispatch(effCanDo, 0, 0, buffer);
}

std::vector<std::uint8_t> Plugin::getChunk(bool isPreset) const {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

VstIntPtr Plugin::setChunk(const std::vector<std::uint8_t>& bytes, bool isPreset) const {
    std::vector<std::uint8_t> copy = bytes;  // hosts hand over their own buffer, which may be written
    return dispatch(effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(copy.size()), copy.data());
}

}  // namespace vsthost
