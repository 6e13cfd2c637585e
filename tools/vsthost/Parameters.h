// Parameter settings given on the command line: KEY=VALUE, the key an index or a name, the value
// normalised (0..1) or as the plug-in displays it (e.g. dB).
#pragma once

#include <string>
#include <vector>

#include "tools/vsthost/PluginBinary.h"

namespace vsthost {

struct ParameterSetting {
    std::string key;
    std::string value;
    bool displayed = false;  // value is a display value to search for, not a normalised one
};

// Splits "KEY=VALUE" at the last '=' (names may contain one); throws HostError on a malformed text.
ParameterSetting ParseSetting(const std::string& text, bool displayed);

// Resolves and checks every setting, then applies them in order; throws HostError naming the setting
// that is unknown or out of range. Answers the normalised values set, in order.
std::vector<float> ApplySettings(Instance& instance, const std::vector<ParameterSetting>& settings);

// The normalised value a setting asks for, resolved without changing the parameter; throws
// HostError as ApplySettings does.
float ResolveSetting(Instance& instance, const ParameterSetting& setting, int& index);

// The number a display text starts with and half a unit of its last shown digit ("6.00 dB": 6, 0.005).
struct DisplayedNumber {
    double value;
    double halfUnit;
};
bool ParseDisplayedNumber(const std::string& text, DisplayedNumber& number);

}  // namespace vsthost
