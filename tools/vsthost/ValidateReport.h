// The validate command's report for machines: JSON on standard output and JUnit XML for CI systems.
#pragma once

#include <string>
#include <vector>

#include "tools/vsthost/ValidateChecks.h"

namespace vsthost::validate {

struct CheckRecord {
    std::string id;        // what --only and --skip take
    std::string name;      // what the report lines show
    std::string expected;  // the failure's own expectation, else what the check expects in general
    Outcome outcome;
    double seconds;  // wall time of the check's child process
};

struct ValidateRun {
    std::string plugin;
    unsigned seed;
    std::vector<double> sampleRates;
    std::vector<int> blockSizes;
    std::vector<CheckRecord> checks;  // those that ran, in order
    bool stopped;  // the load check failed, so the others did not run
};

std::string JsonReport(const ValidateRun& run);
std::string JUnitReport(const ValidateRun& run);

// The text as XML 1.0 character data or attribute value: escaped, with bytes that are not UTF-8 and
// characters XML forbids replaced by U+FFFD.
std::string XmlText(const std::string& text);

}  // namespace vsthost::validate
