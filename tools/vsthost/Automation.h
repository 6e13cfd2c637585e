// Parameter changes over time for render, read from a text file of points, one a line:
//   TIME SHAPE -p|-d KEY=VALUE
// TIME is seconds ("1.5s") or samples ("72000smp") from the start of the input; SHAPE is "step"
// (the value holds from TIME on) or "ramp" (a straight line from the parameter's previous point, or
// from its starting value at time 0, reaching VALUE at TIME); -p and -d take KEY=VALUE as the
// command-line options of the same names do. '#' starts a comment; blank lines are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/vsthost/Parameters.h"

namespace vsthost {

struct AutomationPoint {
    std::int64_t frame;
    int index;
    float value;  // normalised
    bool ramp;
    // Where a ramp starts: the previous point of the parameter, else frame 0 at its starting value.
    std::int64_t rampFrom = 0;
    float rampStart = 0.0f;
    bool startsFromInitialValue = false;
};

// During a ramp the parameter is set again every kRampStepFrames frames, counted from the ramp's
// start: often enough that the steps are far below what a change of gain makes audible, and seldom
// enough that processing calls stay long and a plug-in's own parameter smoothing keeps working.
constexpr int kRampStepFrames = 32;

class Automation {
public:
    // Reads and resolves the file against the plug-in; throws HostError naming the line at fault.
    Automation(const std::string& path, Instance& instance, double sampleRate);

    // Takes the parameters' values now as the starting values of ramps from time 0.
    void start(const Plugin& plugin);
    // Sets every value due at frame, which only grows from call to call.
    void apply(const Plugin& plugin, std::int64_t frame);
    // Frames from frame until the next change, at least 1.
    std::int64_t framesUntilChange(std::int64_t frame) const;

private:
    std::vector<AutomationPoint> points_;  // in time order
    std::size_t next_ = 0;                 // the first point not yet reached
    // Per parameter automated, its first point not yet reached (points_.size() when none is left):
    // only there can a ramp be under way, so a long file costs no more per block than a short one.
    std::vector<std::size_t> upcoming_;
    std::vector<std::size_t> slotOf_;        // per point: its parameter's place in upcoming_
    std::vector<std::size_t> nextOfSame_;    // per point: the parameter's following point, or points_.size()
};

}  // namespace vsthost
