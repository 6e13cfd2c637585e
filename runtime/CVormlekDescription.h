// The effect's description (names, version, channel count) and its sliders as host parameters.
#pragma once

#include <string>
#include <vector>

#include "runtime/CVormlekSamples.h"
#include "runtime/SliderInfo.h"

class CVormlekDescription : public CVormlekSamples {
public:
    // Declares slider k in the order the host is to see it; the value starts at its default.
    void DeclareSlider(std::int32_t number, double defaultValue, double minimum, double maximum, double step,
                       std::vector<std::string> names, std::string path, std::string label, std::string name);

    // Host parameter operations. An index outside the declared sliders touches nothing:
    // get answers 0, set changes nothing, the text operations write nothing.
    double GetNormalized(std::int32_t index) const noexcept;
    // Runs DoSlider when the value changes; what the hook throws is the caller's to catch.
    void SetNormalized(std::int32_t index, double normalized);
    void ParameterName(std::int32_t index, char* text) const noexcept;
    void ParameterLabel(std::int32_t index, char* text) const noexcept;
    void ParameterDisplay(std::int32_t index, char* text) const noexcept;

    // After a state chunk was read into the slider table: an entry that came in as a NaN or an
    // infinity gets back its value from before, and a declared slider outside its range is held
    // at the nearest end. Values inside the range stay exactly as they were read.
    void ConfineLoadedSliders(const std::array<double, kSliderCount>& before) noexcept;

    std::int32_t ParameterCount() const noexcept { return static_cast<std::int32_t>(sliderInfos.size()); }

    std::vector<SliderInfo> sliderInfos;
    std::string effectName;
    std::string productName;
    std::string vendorName;
    std::string programName;
    std::int32_t vendorVersion = 0;
    std::int32_t uniqueId = 0;
    std::int32_t channelCount = 0;

protected:
    CVormlekDescription() = default;
    ~CVormlekDescription() = default;

private:
    const SliderInfo* Slider(std::int32_t index) const noexcept;
    double& SliderValue(const SliderInfo& info) noexcept;
    const double& SliderValue(const SliderInfo& info) const noexcept;
    void ScanSlider(SliderInfo& info);
};
