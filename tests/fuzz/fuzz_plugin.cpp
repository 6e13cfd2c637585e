// A coverage-guided fuzz target: the input is a run of host operations on one plug-in instance,
// made through its AEffect as a host makes them: dispatcher opcodes -1 to 80 with any arguments,
// state chunks of any bytes and size and the plug-in's own chunk handed back, parameters set to
// any float, audio in both precisions and several buffer layouts, MIDI event lists. After every
// operation it checks what must hold whatever a host does, and aborts (a finding) when it does not:
// - every parameter reads back finite and within 0..1;
// - every output sample is its input times 10^(dB/20) of its channel, computed in double, a
//   non-finite product set to 0, narrowed to the buffer's precision, a non-finite float set to 0;
// - every text the plug-in writes is terminated within the bytes hosts provide for its kind.
// The input is read front to back (see Input), so regression and seed inputs can be written by hand.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "effect/TVormlekEffect.h"
#include "runtime/HostText.h"
#include "shell/CVeST.h"
#include "vst/vst24.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster) noexcept;

namespace {

constexpr int kChannels = 4;
constexpr int kMaxOperations = 256;
constexpr VstInt32 kMaxFrames = 4096;
constexpr std::size_t kHostBufferSize = 1024;  // larger than any text a host expects back
constexpr std::size_t kLongestHostText = 64;    // the published general text limit, zero included
constexpr float kChunkMarker = -1000.0f;

[[noreturn]] void Finding(const char* what, double detail = 0.0) {
    std::fprintf(stderr, "fuzz finding: %s (%.9g)\n", what, detail);
    std::abort();
}

void Require(bool condition, const char* what, double detail = 0.0) {
    if (!condition) Finding(what, detail);
}

// The fuzz input, consumed front to back; an exhausted input reads as zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }

    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }

    std::uint32_t Raw32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return value;
    }

    std::uint64_t Raw64() { return Raw32() | (static_cast<std::uint64_t>(Raw32()) << 32); }

    // Mostly small numbers around the valid parameter indexes, sometimes any 32-bit number.
    VstInt32 Index() {
        const std::uint8_t kind = Byte();
        return kind < 0xF0 ? static_cast<VstInt32>(kind % 9) - 2 : static_cast<VstInt32>(Raw32());
    }

    VstIntPtr Value() {
        const std::uint8_t kind = Byte();
        if (kind < 0xC0) return static_cast<VstIntPtr>(kind % 8) - 1;
        if (kind < 0xF0) return static_cast<VstIntPtr>(static_cast<std::int32_t>(Raw32()));
        return static_cast<VstIntPtr>(Raw64());
    }

    float Float() {
        const std::uint8_t kind = Byte();
        constexpr float kInfinity = std::numeric_limits<float>::infinity();
        switch (kind % 8) {
            case 0: return std::bit_cast<float>(Raw32());
            case 1: return std::numeric_limits<float>::quiet_NaN();
            case 2: return kind < 128 ? kInfinity : -kInfinity;
            case 3: return kind < 128 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
            case 4: return (kind < 128 ? 1.0f : -1.0f) * std::ldexp(1.0f, Byte() % 254 - 126);
            case 5: return static_cast<float>(Byte()) / 127.0f - 0.5f;
            default: return static_cast<float>(Byte()) / 255.0f;
        }
    }

    std::vector<std::uint8_t> Bytes(std::size_t count) {
        std::vector<std::uint8_t> bytes(count, 0);
        for (auto& b : bytes) b = Byte();
        return bytes;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// What the host answers when the plug-in calls back.
VstTimeInfo timeInfo{};
bool offersTimeInfo = false;

VstIntPtr VSTCALLBACK HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return kVstVersion;
        case audioMasterGetTime: return offersTimeInfo ? reinterpret_cast<VstIntPtr>(&timeInfo) : 0;
        case audioMasterWantMidi: return 1;
        default: return 0;
    }
}

// FUZZ_PLUGIN_TRACE=1 in the environment lists the operations of an input as they run.
const bool tracing = std::getenv("FUZZ_PLUGIN_TRACE") != nullptr;
constexpr const char* kOperationNames[] = {"dispatch", "set parameter", "get parameter", "load chunk",
                                           "own chunk handed back", "process", "events"};

class Session {
public:
    explicit Session(Input& input) : input_(input) { Create(); }
    ~Session() {
        if (aeffect_ != nullptr) aeffect_->dispatcher(aeffect_, effClose, 0, 0, nullptr, 0.0f);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Run() {
        if (input_.Byte() % 2 == 1) Start();
        for (int operation = 0; operation < kMaxOperations && !input_.empty(); ++operation) {
            const int kind = input_.Byte() % 7;
            if (tracing) std::fprintf(stderr, "operation %d: %s\n", operation, kOperationNames[kind]);
            switch (kind) {
                case 0: Dispatch(); break;
                case 1: SetParameter(); break;
                case 2: GetParameter(); break;
                case 3: LoadChunk(); break;
                case 4: OwnChunkHandedBack(); break;
                case 5: Process(); break;
                default: SendEvents(); break;
            }
            CheckParameters();
        }
    }

private:
    void Create() {
        aeffect_ = VSTPluginMain(HostCallback);
        Require(aeffect_ != nullptr && aeffect_->magic == kEffectMagic, "instance creation failed");
        Require(aeffect_->numInputs == kChannels && aeffect_->numOutputs == kChannels, "channel count");
        gainsReset_ = true;  // nothing has computed the gains yet
    }

    void Start() {
        aeffect_->dispatcher(aeffect_, effOpen, 0, 0, nullptr, 0.0f);
        aeffect_->dispatcher(aeffect_, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        aeffect_->dispatcher(aeffect_, effSetBlockSize, 0, 512, nullptr, 0.0f);
        aeffect_->dispatcher(aeffect_, effMainsChanged, 0, 1, nullptr, 0.0f);
        gainsReset_ = false;
    }

    const TVormlekEffect& Script() const {
        const auto* adapter = static_cast<const CVeST*>(static_cast<AudioEffect*>(aeffect_->object));
        return *static_cast<const TVormlekEffect*>(adapter->effect);
    }

    double SliderDecibels(int channel) const { return Script().sliderValues[static_cast<std::size_t>(channel) + 1]; }

    // The gain the host may expect on a channel: 0 after an open until something recomputes the
    // gains (a resume, a slider change, an accepted chunk), else 10^(dB/20).
    double ExpectedGain(int channel) const {
        return gainsReset_ ? 0.0 : std::pow(10.0, SliderDecibels(channel) / 20.0);
    }

    void CheckParameters() const {
        for (VstInt32 p = 0; p < kChannels; ++p) {
            const float value = aeffect_->getParameter(aeffect_, p);
            Require(std::isfinite(value) && value >= 0.0f && value <= 1.0f, "parameter outside 0..1", value);
            const double decibels = SliderDecibels(p);
            Require(std::isfinite(decibels) && decibels >= -12.0 && decibels <= 12.0, "slider outside its range",
                    decibels);
        }
    }

    // Whatever a slider did since `before`, the hook that recomputes the gains ran when one changed.
    void NoteSliderChanges(const std::array<double, kChannels>& before) {
        for (int c = 0; c < kChannels; ++c) {
            if (std::bit_cast<std::uint64_t>(before[c]) != std::bit_cast<std::uint64_t>(SliderDecibels(c))) {
                gainsReset_ = false;
            }
        }
    }

    std::array<double, kChannels> Sliders() const {
        std::array<double, kChannels> values{};
        for (int c = 0; c < kChannels; ++c) values[c] = SliderDecibels(c);
        return values;
    }

    static bool IsTextOpcode(VstInt32 opcode) {
        switch (opcode) {
            case effSetProgramName:
            case effCanDo:
            case effString2Parameter: return true;
            default: return false;
        }
    }

    // The bytes a text query may fill in a host's buffer; the general limit for any other opcode.
    static std::size_t TextCapacity(VstInt32 opcode) {
        switch (opcode) {
            case effGetEffectName: return vormlek::kEffectNameCapacity;
            case effGetProgramName:
            case effGetProgramNameIndexed: return vormlek::kProgramNameCapacity;
            case effGetVendorString: return vormlek::kVendorStringCapacity;
            case effGetProductString: return vormlek::kProductStringCapacity;
            case effGetParamName: return vormlek::kParameterNameCapacity;
            case effGetParamLabel: return vormlek::kParameterLabelCapacity;
            case effGetParamDisplay: return vormlek::kParameterDisplayCapacity;
            default: return kLongestHostText;
        }
    }

    void Dispatch() {
        const VstInt32 opcode = static_cast<VstInt32>(input_.Byte() % 82) - 1;
        const VstInt32 index = input_.Index();
        VstIntPtr value = input_.Value();
        const float opt = input_.Float();
        if (tracing) {
            std::fprintf(stderr, "  opcode %d, index %d, value %lld, opt %g\n", opcode, index,
                         static_cast<long long>(value), static_cast<double>(opt));
        }
        switch (opcode) {
            case effClose:
                Require(aeffect_->dispatcher(aeffect_, effClose, index, value, nullptr, opt) == 1, "close answer");
                aeffect_ = nullptr;
                Create();
                return;
            case effGetChunk: SaveChunk(index); return;
            case effSetChunk: LoadChunk(); return;
            case effProcessEvents: SendEvents(); return;
            default: break;
        }
        // Every pointer argument is a buffer as large as a host would give; a text the host passes
        // in is terminated within it.
        alignas(16) std::array<char, kHostBufferSize> buffer;
        alignas(16) std::array<char, kHostBufferSize> second;
        buffer.fill(0x7F);
        second.fill(0x7F);
        if (IsTextOpcode(opcode)) {
            const std::size_t length = input_.Byte() % kLongestHostText;
            for (std::size_t i = 0; i < length; ++i) buffer[i] = static_cast<char>(input_.Byte() | 1);
            buffer[length] = '\0';
        }
        if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement) {
            value = reinterpret_cast<VstIntPtr>(second.data());
        }
        const auto before = Sliders();
        const bool resumes = opcode == effMainsChanged && value != 0;
        aeffect_->dispatcher(aeffect_, opcode, index, value, buffer.data(), opt);
        if (opcode == effOpen) gainsReset_ = true;
        if (resumes) gainsReset_ = false;
        NoteSliderChanges(before);
        if (!IsTextOpcode(opcode)) CheckText(buffer, TextCapacity(opcode));
        CheckText(second, kLongestHostText);
    }

    // A buffer the plug-in wrote to holds a terminated text within the capacity for its query.
    static void CheckText(const std::array<char, kHostBufferSize>& buffer, std::size_t capacity) {
        const bool untouched = std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == 0x7F; });
        if (untouched) return;
        const auto limit = buffer.begin() + static_cast<std::ptrdiff_t>(capacity);
        Require(std::find(buffer.begin(), limit, '\0') != limit, "text not terminated within its capacity",
                static_cast<double>(capacity));
        Require(std::all_of(limit, buffer.end(), [](char c) { return c == 0x7F; }), "written beyond the capacity",
                static_cast<double>(capacity));
    }

    void SetParameter() {
        const VstInt32 index = input_.Index();
        const float value = input_.Float();
        if (tracing) std::fprintf(stderr, "  index %d, value %g\n", index, static_cast<double>(value));
        const auto before = Sliders();
        aeffect_->setParameter(aeffect_, index, value);
        NoteSliderChanges(before);
    }

    void GetParameter() const {
        const VstInt32 index = input_.Index();
        const float value = aeffect_->getParameter(aeffect_, index);
        Require(std::isfinite(value), "parameter not finite", value);
        if (index < 0 || index >= kChannels) Require(value == 0.0f, "parameter beyond the count is not 0", value);
    }

    // A save: the marker, then the slider table in single precision, or no chunk at all.
    std::vector<float> SaveChunk(VstInt32 presetFlag) {
        void* data = nullptr;
        const VstIntPtr size = aeffect_->dispatcher(aeffect_, effGetChunk, presetFlag, 0, &data, 0.0f);
        Require(size == 260 && data != nullptr, "chunk size", static_cast<double>(size));
        std::vector<float> values(65);
        std::memcpy(values.data(), data, 260);
        Require(values[0] == kChunkMarker, "chunk marker", values[0]);
        for (int c = 0; c < kChannels; ++c) {
            Require(values[1 + c] == static_cast<float>(SliderDecibels(c)), "saved slider value", values[1 + c]);
        }
        return values;
    }

    void LoadChunk() {
        const std::uint8_t flags = input_.Byte();
        std::vector<std::uint8_t> bytes = input_.Bytes(input_.Word() % 4200);
        if ((flags & 1) != 0 && bytes.size() >= sizeof(float)) std::memcpy(bytes.data(), &kChunkMarker, sizeof(float));
        // A host may say fewer bytes than it has; never more.
        const std::size_t divisor = (flags & 2) != 0 ? 1 + input_.Byte() % 4 : 1;
        const auto count = static_cast<VstInt32>(bytes.size() / divisor);
        // An exactly sized copy, so the sanitizer sees any read beyond what the host gave.
        std::vector<std::uint8_t> exact(bytes.begin(), bytes.begin() + count);
        float first = 0.0f;
        if (count >= 4) std::memcpy(&first, exact.data(), sizeof(first));
        const auto before = Sliders();
        const VstIntPtr answer = aeffect_->dispatcher(aeffect_, effSetChunk, (flags >> 2) & 1, count,
                                                     exact.empty() ? nullptr : exact.data(), 0.0f);
        Require(answer == count, "load answer", static_cast<double>(answer));
        if (count >= 4 && first == kChunkMarker) {
            gainsReset_ = false;
        } else {
            Require(Sliders() == before, "a rejected chunk changed a slider");
        }
    }

    void OwnChunkHandedBack() {
        const std::vector<float> saved = SaveChunk(0);
        void* own = nullptr;
        const auto size = static_cast<VstInt32>(aeffect_->dispatcher(aeffect_, effGetChunk, 0, 0, &own, 0.0f));
        Require(size == 260 && std::memcmp(own, saved.data(), 260) == 0, "second save differs");
        const auto unchanged = Sliders();
        for (int change = input_.Byte() % 4; change > 0; --change) {
            const VstInt32 index = input_.Index();
            aeffect_->setParameter(aeffect_, index, input_.Float());
        }
        NoteSliderChanges(unchanged);
        const std::uint8_t cut = input_.Byte();
        const VstInt32 handed = cut >= 0xC0 ? size : std::min<VstInt32>(size, cut % 66 * 4 + cut % 4);
        const auto before = Sliders();
        Require(aeffect_->dispatcher(aeffect_, effSetChunk, 0, handed, own, 0.0f) == handed, "own chunk answer");
        if (handed < 4) {
            Require(Sliders() == before, "a chunk without a marker changed a slider");
            return;
        }
        gainsReset_ = false;
        for (int c = 0; c < kChannels; ++c) {
            const double expected = 4 * (c + 2) <= handed ? static_cast<double>(saved[1 + c]) : before[c];
            Require(std::bit_cast<std::uint64_t>(SliderDecibels(c)) == std::bit_cast<std::uint64_t>(expected),
                    "own chunk did not restore a slider", SliderDecibels(c));
        }
    }

    template <typename Sample>
    static Sample Expected(Sample input, double gain) {
        double product = static_cast<double>(input) * gain;
        if (!std::isfinite(product)) product = 0.0;
        const auto narrowed = static_cast<Sample>(product);
        return std::isfinite(narrowed) ? narrowed : Sample(0);
    }

    // Input samples: some from the fuzz input, the rest from a generator it seeds, with the awkward
    // values mixed in.
    template <typename Sample>
    void FillSamples(std::vector<Sample>& samples) {
        std::uint64_t state = input_.Raw64() | 1;
        const std::size_t given = std::min<std::size_t>(samples.size(), input_.Byte());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (i < given) {
                samples[i] = static_cast<Sample>(input_.Float());
                continue;
            }
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            const auto pick = static_cast<std::uint32_t>(state >> 32);
            if (pick % 16 == 0) {
                samples[i] = static_cast<Sample>(std::bit_cast<float>(pick));
            } else if (pick % 16 == 1) {
                samples[i] = std::bit_cast<double>(state) > 0 ? static_cast<Sample>(std::bit_cast<double>(state))
                                                              : Sample(0);
            } else {
                samples[i] = static_cast<Sample>(static_cast<double>(pick) / 2147483648.0 - 1.0);
            }
        }
    }

    void Process() {
        const std::uint8_t flags = input_.Byte();
        if ((flags & 1) != 0) ProcessIn<double>(flags >> 1);
        else ProcessIn<float>(flags >> 1);
    }

    // Layouts: 0 separate buffers, 1 in place, 2 each output on the next channel's input, 3 one
    // input read by every channel.
    template <typename Sample>
    void ProcessIn(int layout) {
        const VstInt32 frames = input_.Word() % (kMaxFrames + 1);
        const auto length = static_cast<std::size_t>(frames);
        std::vector<std::vector<Sample>> inputs(kChannels, std::vector<Sample>(length));
        std::vector<std::vector<Sample>> outputs(kChannels, std::vector<Sample>(length, Sample(-77)));
        for (auto& channel : inputs) FillSamples(channel);
        layout %= 4;
        if (layout == 3) {
            for (int c = 1; c < kChannels; ++c) inputs[c] = inputs[0];
        }
        const std::vector<std::vector<Sample>> original = inputs;
        Sample* in[kChannels];
        Sample* out[kChannels];
        for (int c = 0; c < kChannels; ++c) {
            in[c] = layout == 3 ? inputs[0].data() : inputs[c].data();
            out[c] = layout == 1 ? inputs[c].data() : layout == 2 ? inputs[(c + 1) % kChannels].data()
                                                                  : outputs[c].data();
        }
        std::array<double, kChannels> gains{};
        for (int c = 0; c < kChannels; ++c) gains[c] = ExpectedGain(c);
        if constexpr (std::is_same_v<Sample, float>) aeffect_->processReplacing(aeffect_, in, out, frames);
        else aeffect_->processDoubleReplacing(aeffect_, in, out, frames);
        for (int c = 0; c < kChannels; ++c) {
            for (std::size_t j = 0; j < length; ++j) {
                const Sample expected = Expected(original[c][j], gains[c]);
                if (std::memcmp(&out[c][j], &expected, sizeof(Sample)) != 0) {
                    std::fprintf(stderr,
                                 "channel %d frame %zu of %d, layout %d: input %.9g, gain %.17g, expected %.9g, "
                                 "got %.9g\n",
                                 c, j, frames, layout, static_cast<double>(original[c][j]), gains[c],
                                 static_cast<double>(expected), static_cast<double>(out[c][j]));
                    Finding("output is not input times gain");
                }
            }
        }
    }

    void SendEvents() {
        const std::uint8_t flags = input_.Byte();
        const std::size_t count = (flags & 0x80) != 0 ? 1000 + input_.Byte() : flags % 12;
        // Every record is as large as the largest event type, as a host's event pool is.
        constexpr std::size_t kRecord = std::max(sizeof(VstMidiEvent), sizeof(VstMidiSysexEvent));
        std::vector<std::array<std::uint8_t, kRecord>> records(count);
        std::vector<std::uint8_t> list(sizeof(VstEvents) + count * sizeof(VstEvent*));
        auto* events = reinterpret_cast<VstEvents*>(list.data());
        VstEvent** entries = events->events;  // numEvents of them, beyond the two the record declares
        const auto listed = static_cast<VstInt32>(count);
        events->numEvents = (flags & 0x40) != 0 ? -listed : listed;
        for (std::size_t i = 0; i < count; ++i) {
            auto& record = records[i];
            record.fill(0);
            const std::uint8_t kind = input_.Byte();
            VstMidiEvent event{};
            event.type = kVstMidiType;
            if (kind % 4 == 0) event.type = kVstSysExType;
            if (kind % 4 == 3) event.type = static_cast<VstInt32>(input_.Raw32());
            event.byteSize = static_cast<VstInt32>(input_.Raw32());
            event.deltaFrames = static_cast<VstInt32>(input_.Raw32());
            for (char& data : event.midiData) data = static_cast<char>(input_.Byte());
            std::memcpy(record.data(), &event, sizeof(event));
            entries[i] = kind % 8 == 5 ? nullptr : reinterpret_cast<VstEvent*>(record.data());
        }
        Require(aeffect_->dispatcher(aeffect_, effProcessEvents, 0, 0, events, 0.0f) == 1, "events answer");
    }

    Input& input_;
    AEffect* aeffect_ = nullptr;
    bool gainsReset_ = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint8_t setup = input.Byte();
    offersTimeInfo = (setup & 1) != 0;
    if (offersTimeInfo) {
        const auto bytes = input.Bytes(sizeof(timeInfo));
        std::memcpy(&timeInfo, bytes.data(), sizeof(timeInfo));
    }
    Session session(input);
    session.Run();
    return 0;
}
