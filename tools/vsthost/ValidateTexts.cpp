// Text checks: every text query answered into a buffer of exactly its published size, followed by
// guard bytes, as the hosts with the smallest buffers give it. A write past the published size of a
// name or a vendor or product string overwrites the host's memory there; parameter texts beyond 8
// bytes are common practice, and hosts give them more, so those are noted.
#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

namespace {

// Guard bytes after the published size; a write that reaches their end is reported as "at least".
constexpr std::size_t kGuardBytes = 1024;
// Two fillings, so that no byte the plug-in writes can pass for untouched in both.
constexpr std::array<unsigned char, 2> kFillings = {0xA5, 0x5A};
constexpr int kMaxProgramsChecked = 128;
constexpr int kMaxParametersChecked = 1024;

struct TextQuery {
    VstInt32 opcode;
    const char* opcodeName;
    VstInt32 index;
    VstIntPtr value;
    std::size_t published;
};

// What one query wrote: how far (0 when nothing), and whether a text that stays within the
// published size ends with a zero there.
struct Written {
    std::size_t bytes = 0;
    bool terminated = true;
};

Written Answer(const Plugin& plugin, const TextQuery& query) {
    Written written;
    for (const unsigned char filling : kFillings) {
        std::vector<unsigned char> buffer(query.published + kGuardBytes, filling);
        plugin.dispatch(query.opcode, query.index, query.value, buffer.data());
        const auto last = std::find_if(buffer.rbegin(), buffer.rend(), [&](unsigned char c) { return c != filling; });
        const auto bytes = static_cast<std::size_t>(buffer.rend() - last);
        written.bytes = std::max(written.bytes, bytes);
        const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(bytes);
        if (bytes > 0 && bytes <= query.published && std::find(buffer.begin(), end, 0) == end)
            written.terminated = false;
    }
    return written;
}

bool Sound(const TextQuery& query, const Written& written) {
    return written.bytes <= query.published && written.terminated;
}

// A write that reached the end of the guard bytes may have gone further.
std::string Bytes(std::size_t bytes, std::size_t published) {
    return (bytes == published + kGuardBytes ? "at least " : "") + std::to_string(bytes) +
           (bytes == 1 ? " byte" : " bytes");
}

std::string Parameters(int count) { return std::to_string(count) + (count == 1 ? " parameter" : " parameters"); }

std::string Described(const TextQuery& query, const Written& written) {
    std::string subject = query.opcodeName;
    if (query.opcode == effGetProgramNameIndexed) subject += " of program " + std::to_string(query.index);
    subject += " wrote " + Bytes(written.bytes, query.published);
    if (written.bytes > query.published) return subject + " into a buffer of " + std::to_string(query.published);
    return subject + " with no terminating zero";
}

// Parameter texts past their published size, per opcode: how many parameters, the most bytes, and
// how many fill it with no terminating zero.
struct Overrun {
    int parameters = 0;
    std::size_t most = 0;
    int unterminated = 0;
};

}  // namespace

Outcome CheckTextBuffers(const Subject& subject) {
    const PluginBinary binary(subject.path);
    Instance instance(binary);
    instance.open(kDefaultRate, kDefaultBlock);
    const Plugin& plugin = instance.plugin();
    const AEffect& fields = instance.fields();

    std::vector<TextQuery> names = {
        {effGetEffectName, "effGetEffectName", 0, 0, kVstMaxEffectNameLen},
        {effGetVendorString, "effGetVendorString", 0, 0, kVstMaxVendorStrLen},
        {effGetProductString, "effGetProductString", 0, 0, kVstMaxProductStrLen},
        {effGetProgramName, "effGetProgramName", 0, 0, kVstMaxProgNameLen},
    };
    for (int p = 0; p < std::min(fields.numPrograms, kMaxProgramsChecked); ++p)
        names.push_back({effGetProgramNameIndexed, "effGetProgramNameIndexed", p, -1, kVstMaxProgNameLen});
    std::vector<std::string> faults;
    for (const TextQuery& query : names) {
        const Written written = Answer(plugin, query);
        if (!Sound(query, written)) faults.push_back(Described(query, written));
    }

    // A parameter's display text at the value the plug-in starts with and at both ends of the range;
    // the worst of the three is judged.
    const int parameters = std::min(fields.numParams, kMaxParametersChecked);
    std::map<std::string, Overrun> overruns;
    auto note = [&](const TextQuery& query, const Written& written) {
        if (Sound(query, written)) return;
        Overrun& overrun = overruns[query.opcodeName];
        overrun.parameters += 1;
        overrun.most = std::max(overrun.most, written.bytes);
        if (!written.terminated) overrun.unterminated += 1;
    };
    for (int p = 0; p < parameters; ++p) {
        for (const TextQuery& query : {TextQuery{effGetParamName, "effGetParamName", p, 0, kVstMaxParamStrLen},
                                       TextQuery{effGetParamLabel, "effGetParamLabel", p, 0, kVstMaxParamStrLen}})
            note(query, Answer(plugin, query));
        const TextQuery display{effGetParamDisplay, "effGetParamDisplay", p, 0, kVstMaxParamStrLen};
        const float start = plugin.getParameter(p);
        Written worst;
        for (const float value : {start, 0.0f, 1.0f}) {
            plugin.setParameter(p, value);
            const Written written = Answer(plugin, display);
            worst.bytes = std::max(worst.bytes, written.bytes);
            worst.terminated = worst.terminated && written.terminated;
        }
        plugin.setParameter(p, start);
        note(display, worst);
    }

    std::string notes;
    for (const auto& [opcodeName, overrun] : overruns) {
        notes += (notes.empty() ? "" : ", ") + opcodeName + " of " + Parameters(overrun.parameters) + " (up to " +
                 Bytes(overrun.most, kVstMaxParamStrLen) + ")";
        if (overrun.unterminated > 0)
            notes += ", " + std::to_string(overrun.unterminated) + " of them with no terminating zero";
    }
    if (!notes.empty()) notes = "; note: parameter texts not within 8 bytes with their zero: " + notes;
    if (!faults.empty()) {
        std::string seen;
        for (const std::string& fault : faults) seen += (seen.empty() ? "" : ", ") + fault;
        return Failed("every name, vendor and product string terminated within its published size", seen + notes);
    }
    std::string detail = std::to_string(names.size()) + " name, vendor and product texts within their published " +
                         "sizes and terminated; name, label and display texts of " + Parameters(parameters) + " read";
    return Passed(detail + notes);
}

}  // namespace vsthost::validate
