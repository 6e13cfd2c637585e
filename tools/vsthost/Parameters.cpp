#include "tools/vsthost/Parameters.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vsthost {

namespace {

// Bisection steps: enough to pin a normalised value to single precision.
constexpr int kSearchSteps = 40;

double ParseNumber(const std::string& text, const std::string& what) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (text.empty() || end != begin + text.size() || !std::isfinite(value))
        throw HostError(what + ": '" + text + "' is not a number");
    return value;
}

std::string Shown(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

struct Resolved {
    int index;
    double value;
    bool displayed;
};

// Searches a normalised value that the plug-in displays as target. Display texts are taken to grow
// or shrink monotonically with the value; of the values that show target, the middle one is chosen
// so that the plug-in's own rounding of the value cannot tip it over into a neighbouring step.
float FindDisplayedValue(Instance& instance, int index, double target) {
    Plugin& plugin = instance.plugin();
    const std::string title = instance.parameterTitle(index);
    auto shownAt = [&](double x) {
        plugin.setParameter(index, static_cast<float>(x));
        const std::string text = plugin.parameterDisplay(index);
        DisplayedNumber number{};
        if (!ParseDisplayedNumber(text, number))
            throw HostError("parameter " + title + " displays '" + text +
                            "', not a number: set it by its normalised value (--param) instead");
        return number;
    };
    const DisplayedNumber atLow = shownAt(0.0);
    const DisplayedNumber atHigh = shownAt(1.0);
    const double least = std::min(atLow.value, atHigh.value);
    const double most = std::max(atLow.value, atHigh.value);
    // An end may show an infinity ("-inf" dB), which says nothing of the precision shown elsewhere.
    const double endTolerance = std::max(std::isfinite(atLow.value) ? atLow.halfUnit : 0.0,
                                         std::isfinite(atHigh.value) ? atHigh.halfUnit : 0.0);
    if (target < least - endTolerance || target > most + endTolerance) {
        throw HostError("value " + Shown(target) + " for parameter " + title +
                        " is outside the range the plug-in shows: " + Shown(least) + " to " + Shown(most));
    }
    const double direction = atHigh.value >= atLow.value ? 1.0 : -1.0;
    // The lowest normalised value whose display, along the direction of growth, reaches threshold.
    auto firstReaching = [&](double threshold, bool strictly) {
        auto reaches = [&](double x) {
            const double shown = direction * shownAt(x).value;
            return strictly ? shown > threshold : shown >= threshold;
        };
        if (reaches(0.0)) return 0.0;
        if (!reaches(1.0)) return 1.0;
        double below = 0.0, above = 1.0;
        for (int step = 0; step < kSearchSteps; ++step) {
            const double middle = 0.5 * (below + above);
            (reaches(middle) ? above : below) = middle;
        }
        return above;
    };
    // The precision shown where the display reaches the target decides what counts as showing it.
    const DisplayedNumber near = shownAt(firstReaching(direction * target, false));
    const double tolerance = std::isfinite(near.value) ? near.halfUnit : endTolerance;
    const double runStart = firstReaching(direction * target - tolerance, false);
    const double runEnd = firstReaching(direction * target + tolerance, true);
    const double chosen = 0.5 * (runStart + runEnd);
    const DisplayedNumber shown = shownAt(chosen);
    if (std::fabs(shown.value - target) > tolerance) {
        throw HostError("no setting of parameter " + title + " displays " + Shown(target) +
                        "; the nearest it shows is " + plugin.parameterDisplay(index));
    }
    return static_cast<float>(chosen);
}

}  // namespace

ParameterSetting ParseSetting(const std::string& text, bool displayed) {
    const auto split = text.rfind('=');
    if (split == std::string::npos || split == 0 || split + 1 == text.size())
        throw HostError("parameter setting '" + text + "' is not of the form KEY=VALUE");
    return {text.substr(0, split), text.substr(split + 1), displayed};
}

std::vector<float> ApplySettings(Instance& instance, const std::vector<ParameterSetting>& settings) {
    std::vector<Resolved> resolved;
    for (const ParameterSetting& setting : settings) {
        const int index = instance.parameterIndex(setting.key);
        const std::string what = "value for parameter " + instance.parameterTitle(index);
        const double value = ParseNumber(setting.value, what);
        if (!setting.displayed && (value < 0.0 || value > 1.0))
            throw HostError(what + ": " + setting.value + " is outside the normalised range 0 to 1");
        resolved.push_back({index, value, setting.displayed});
    }
    std::vector<float> applied;
    for (const Resolved& setting : resolved) {
        const float normalised = setting.displayed ? FindDisplayedValue(instance, setting.index, setting.value)
                                                   : static_cast<float>(setting.value);
        instance.plugin().setParameter(setting.index, normalised);
        applied.push_back(normalised);
    }
    return applied;
}

float ResolveSetting(Instance& instance, const ParameterSetting& setting, int& index) {
    index = instance.parameterIndex(setting.key);
    const std::string what = "value for parameter " + instance.parameterTitle(index);
    const double value = ParseNumber(setting.value, what);
    if (!setting.displayed) {
        if (value < 0.0 || value > 1.0)
            throw HostError(what + ": " + setting.value + " is outside the normalised range 0 to 1");
        return static_cast<float>(value);
    }
    // Searching moves the parameter; it is put back, whether the search succeeds or not.
    Plugin& plugin = instance.plugin();
    const float was = plugin.getParameter(index);
    try {
        const float found = FindDisplayedValue(instance, index, value);
        plugin.setParameter(index, was);
        return found;
    } catch (...) {
        plugin.setParameter(index, was);
        throw;
    }
}

bool ParseDisplayedNumber(const std::string& text, DisplayedNumber& number) {
    const char* begin = text.c_str();
    while (*begin == ' ') ++begin;
    char* end = nullptr;
    number.value = std::strtod(begin, &end);
    if (end == begin || std::isnan(number.value)) return false;
    const std::string digits(begin, static_cast<const char*>(end));
    const auto point = digits.find('.');
    int decimals = 0;
    if (point != std::string::npos) {
        for (std::size_t i = point + 1; i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i])); ++i)
            ++decimals;
    }
    number.halfUnit = 0.5 * std::pow(10.0, -decimals);
    return true;
}

}  // namespace vsthost
