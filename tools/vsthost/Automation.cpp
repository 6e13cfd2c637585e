#include "tools/vsthost/Automation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace vsthost {

namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::int64_t FrameOf(const std::string& text, double sampleRate) {
    const auto unitAt = text.find_first_not_of("0123456789.+-eE");
    const std::string number = text.substr(0, unitAt == std::string::npos ? text.size() : unitAt);
    const std::string unit = unitAt == std::string::npos ? "" : text.substr(unitAt);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(value))
        throw HostError("time '" + text + "' is not a number followed by s or smp");
    if (value < 0.0) throw HostError("time '" + text + "' is before the start");
    if (unit == "s") return std::llround(value * sampleRate);
    if (unit == "smp") {
        if (value != std::floor(value)) throw HostError("time '" + text + "' is not a whole number of samples");
        return static_cast<std::int64_t>(value);
    }
    throw HostError("time '" + text + "' has no unit: write seconds as '1.5s' or samples as '72000smp'");
}

}  // namespace

Automation::Automation(const std::string& path, Instance& instance, double sampleRate) {
    std::ifstream file(path);
    if (!file) throw HostError("cannot read automation file '" + path + "'");
    std::map<int, std::size_t> previous;  // parameter index: its latest point
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        try {
            const auto comment = line.find('#');
            if (comment != std::string::npos) line.erase(comment);
            std::istringstream fields(line);
            std::string time, shape, kind;
            if (!(fields >> time)) continue;
            if (!(fields >> shape >> kind))
                throw HostError("expected TIME SHAPE -p|-d KEY=VALUE, e.g. '1.5s ramp -d gain=-6'");
            if (shape != "step" && shape != "ramp") throw HostError("shape '" + shape + "' is neither step nor ramp");
            if (kind != "-p" && kind != "-d") throw HostError("'" + kind + "' is neither -p (normalised) nor -d (displayed)");
            std::string text;
            std::getline(fields, text);
            ParameterSetting setting = ParseSetting(Trimmed(text), kind == "-d");
            setting.key = Trimmed(setting.key);
            setting.value = Trimmed(setting.value);
            AutomationPoint point{FrameOf(time, sampleRate), 0, 0.0f, shape == "ramp"};
            point.value = ResolveSetting(instance, setting, point.index);
            if (!points_.empty() && point.frame < points_.back().frame)
                throw HostError("time " + time + " is earlier than the line before; points go in time order");
            const auto before = previous.find(point.index);
            if (before == previous.end()) {
                point.startsFromInitialValue = true;
            } else {
                point.rampFrom = points_[before->second].frame;
                point.rampStart = points_[before->second].value;
            }
            previous[point.index] = points_.size();
            points_.push_back(point);
        } catch (const HostError& error) {
            throw HostError("automation file '" + path + "' line " + std::to_string(number) + ": " + error.what());
        }
    }
    std::map<int, std::size_t> slots;  // parameter index: its place in upcoming_
    slotOf_.resize(points_.size());
    nextOfSame_.assign(points_.size(), points_.size());
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const auto [slot, first] = slots.try_emplace(points_[i].index, upcoming_.size());
        if (first) upcoming_.push_back(i);
        slotOf_[i] = slot->second;
    }
    std::map<int, std::size_t> following;
    for (std::size_t i = points_.size(); i-- > 0;) {
        const auto later = following.find(points_[i].index);
        if (later != following.end()) nextOfSame_[i] = later->second;
        following[points_[i].index] = i;
    }
}

void Automation::start(const Plugin& plugin) {
    for (AutomationPoint& point : points_)
        if (point.startsFromInitialValue) point.rampStart = plugin.getParameter(point.index);
}

void Automation::apply(const Plugin& plugin, std::int64_t frame) {
    // Ramps under way, each at its value at the start of its current step; then the points reached.
    for (const std::size_t i : upcoming_) {
        if (i == points_.size()) continue;
        const AutomationPoint& point = points_[i];
        if (!point.ramp || point.rampFrom > frame || point.frame <= frame) continue;
        const std::int64_t stepStart = frame - (frame - point.rampFrom) % kRampStepFrames;
        const double along = static_cast<double>(stepStart - point.rampFrom) / static_cast<double>(point.frame - point.rampFrom);
        plugin.setParameter(point.index, static_cast<float>(point.rampStart + (point.value - point.rampStart) * along));
    }
    for (; next_ < points_.size() && points_[next_].frame <= frame; ++next_) {
        plugin.setParameter(points_[next_].index, points_[next_].value);
        upcoming_[slotOf_[next_]] = nextOfSame_[next_];
    }
}

std::int64_t Automation::framesUntilChange(std::int64_t frame) const {
    std::int64_t until = next_ < points_.size() ? points_[next_].frame - frame : std::numeric_limits<std::int64_t>::max();
    for (const std::size_t i : upcoming_) {
        if (i == points_.size()) continue;
        const AutomationPoint& point = points_[i];
        if (point.ramp && point.rampFrom <= frame)
            until = std::min(until, kRampStepFrames - (frame - point.rampFrom) % kRampStepFrames);
    }
    return std::max<std::int64_t>(until, 1);
}

}  // namespace vsthost
