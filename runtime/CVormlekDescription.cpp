#include "runtime/CVormlekDescription.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runtime/FilePaths.h"
#include "runtime/HostText.h"
#include "runtime/Numeric.h"

void CVormlekDescription::DeclareSlider(std::int32_t number, double defaultValue, double minimum, double maximum,
                                        double step, std::vector<std::string> names, std::string path,
                                        std::string label, std::string name) {
    SliderInfo info;
    info.names = std::move(names);
    info.number = number;
    info.defaultValue = defaultValue;
    info.minimum = minimum;
    info.maximum = maximum;
    info.step = step;
    info.path = std::move(path);
    info.label = std::move(label);
    info.name = std::move(name);
    SliderValue(info) = defaultValue;
    sliderInfos.push_back(std::move(info));
    ScanSlider(sliderInfos.back());
}

void CVormlekDescription::ScanSlider(SliderInfo& info) {
    if (info.scanned) return;
    info.scanned = true;
    if (info.path.empty()) return;
    info.names = vormlek::ListDirectory(vormlek::WithTrailingSeparator(vormlek::ResolveFileName(info.path)));
    if (info.names.empty()) info.names.emplace_back("(No Data Files)");
    info.minimum = 0.0;
    info.maximum = static_cast<double>(info.names.size()) - 1.0;
    info.defaultValue = 0.0;
    info.step = 0.5;
}

const SliderInfo* CVormlekDescription::Slider(std::int32_t index) const noexcept {
    if (index < 0 || index >= ParameterCount()) return nullptr;
    return &sliderInfos[static_cast<std::size_t>(index)];
}

double& CVormlekDescription::SliderValue(const SliderInfo& info) noexcept {
    return sliderValues[static_cast<std::size_t>(info.number) & (kSliderCount - 1)];
}

const double& CVormlekDescription::SliderValue(const SliderInfo& info) const noexcept {
    return sliderValues[static_cast<std::size_t>(info.number) & (kSliderCount - 1)];
}

double CVormlekDescription::GetNormalized(std::int32_t index) const noexcept {
    const SliderInfo* info = Slider(index);
    if (info == nullptr) return 0.0;
    return (vormlek::LoadShared(SliderValue(*info)) - info->minimum) / (info->maximum - info->minimum);
}

void CVormlekDescription::SetNormalized(std::int32_t index, double normalized) {
    const SliderInfo* info = Slider(index);
    // A NaN or infinite value from a host would poison the slider, the display and the saved state.
    if (info == nullptr || !std::isfinite(normalized)) return;
    // Hosts speak 0..1; a value beyond it would take the slider past its range (normalised 100 is
    // +2388 dB for a trim slider), so it is held at the nearest end.
    normalized = std::clamp(normalized, 0.0, 1.0);
    // The grid is the multiples of step counted from 0, not from the minimum.
    const double value =
        info->step * std::floor((info->minimum + normalized * (info->maximum - info->minimum) + info->step * 0.5) /
                                info->step);
    double& current = SliderValue(*info);
    if (!vormlek::Differ(value, vormlek::LoadShared(current))) return;
    vormlek::StoreSource(current, value);
    if (info->linked != nullptr) vormlek::StoreShared(*info->linked, value);
    DoSlider();
}

void CVormlekDescription::ConfineLoadedSliders(const std::array<double, kSliderCount>& before) noexcept {
    for (std::size_t k = 0; k < kSliderCount; ++k) {
        double& value = sliderValues[k];
        if (!std::isfinite(vormlek::LoadShared(value))) vormlek::StoreSource(value, before[k]);
    }
    for (const SliderInfo& info : sliderInfos) {
        double& value = SliderValue(info);
        const double loaded = vormlek::LoadShared(value);
        const double held =
            std::clamp(loaded, std::min(info.minimum, info.maximum), std::max(info.minimum, info.maximum));
        if (held != loaded) vormlek::StoreSource(value, held);
    }
}

void CVormlekDescription::ParameterName(std::int32_t index, char* text) const noexcept {
    if (const SliderInfo* info = Slider(index))
        vormlek::CopyHostText(text, info->name, vormlek::kParameterNameCapacity);
}

void CVormlekDescription::ParameterLabel(std::int32_t index, char* text) const noexcept {
    if (const SliderInfo* info = Slider(index))
        vormlek::CopyHostText(text, info->label, vormlek::kParameterLabelCapacity);
}

namespace {

// The value with two decimals. Where that does not fit the host's bytes, fewer decimals and then
// fewer significant digits in exponent form, so that no text is cut into another number.
void DisplayNumber(char* text, double value) noexcept {
    char formatted[32];
    auto fits = [&](const char* format, int precision) {
        const int length = std::snprintf(formatted, sizeof(formatted), format, precision, value);
        return length >= 0 && static_cast<std::size_t>(length) < vormlek::kParameterDisplayCapacity;
    };
    bool found = false;
    for (int decimals = 2; decimals >= 0 && !found; --decimals) found = fits("%.*f", decimals);
    for (int digits = 6; digits >= 1 && !found; --digits) found = fits("%.*g", digits);
    vormlek::CopyHostText(text, formatted, vormlek::kParameterDisplayCapacity);
}

}  // namespace

void CVormlekDescription::ParameterDisplay(std::int32_t index, char* text) const noexcept {
    const SliderInfo* info = Slider(index);
    if (info == nullptr) return;
    const double value = vormlek::LoadShared(SliderValue(*info));
    if (info->names.empty()) {
        DisplayNumber(text, value);
        return;
    }
    const auto last = static_cast<double>(info->names.size() - 1);
    const double position = std::trunc((value - info->minimum) * last / (info->maximum - info->minimum));
    // A negative position, or one beyond 32 bits (or NaN), shows the first name.
    std::size_t name = 0;
    if (position > 0.0 && position < 2147483648.0) name = static_cast<std::size_t>(std::min(position, last));
    vormlek::CopyHostText(text, info->names[name], vormlek::kParameterDisplayCapacity);
}
