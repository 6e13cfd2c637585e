#include "tools/vsthost/ValidateReport.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

namespace vsthost::validate {

namespace {

const char* Verdict(Status status) {
    return status == Status::Pass ? "pass" : status == Status::Fail ? "fail" : "skip";
}

int Count(const ValidateRun& run, Status status) {
    int count = 0;
    for (const CheckRecord& check : run.checks) count += check.outcome.status == status ? 1 : 0;
    return count;
}

double TotalSeconds(const ValidateRun& run) {
    double total = 0.0;
    for (const CheckRecord& check : run.checks) total += check.seconds;
    return total;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

bool AllowedInXml(std::uint32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The UTF-8 sequence at text[at]: its code point and length, or length 0 when it is not UTF-8.
std::pair<std::uint32_t, std::size_t> Decode(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return {0, 0};
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {0, 0};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {0, 0};
    return {code, length};
}

}  // namespace

std::string XmlText(const std::string& text) {
    std::string xml;
    for (std::size_t at = 0; at < text.size();) {
        const auto [code, length] = Decode(text, at);
        if (length == 0 || !AllowedInXml(code)) {
            xml += "\xEF\xBF\xBD";
            at += length == 0 ? 1 : length;
            continue;
        }
        switch (code) {
            case '&': xml += "&amp;"; break;
            case '<': xml += "&lt;"; break;
            case '>': xml += "&gt;"; break;
            case '"': xml += "&quot;"; break;
            case '\'': xml += "&apos;"; break;
            // Kept as characters in attribute values too, where a parser would read them as spaces.
            case '\t': xml += "&#9;"; break;
            case '\n': xml += "&#10;"; break;
            case '\r': xml += "&#13;"; break;
            default: xml.append(text, at, length);
        }
        at += length;
    }
    return xml;
}

std::string JsonReport(const ValidateRun& run) {
    nlohmann::json checks = nlohmann::json::array();
    for (const CheckRecord& check : run.checks)
        checks.push_back({{"id", check.id},
                          {"name", check.name},
                          {"verdict", Verdict(check.outcome.status)},
                          {"expected", check.expected},
                          {"seen", check.outcome.seen},
                          {"durationSeconds", check.seconds}});
    const nlohmann::json report = {
        {"plugin", run.plugin},
        {"seed", run.seed},
        {"sampleRates", run.sampleRates},
        {"blockSizes", run.blockSizes},
        {"checks", checks},
        {"passed", Count(run, Status::Pass)},
        {"failed", Count(run, Status::Fail)},
        {"skipped", Count(run, Status::Skip)},
        {"stopped", run.stopped}};
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string JUnitReport(const ValidateRun& run) {
    const std::string counts = "tests=\"" + std::to_string(run.checks.size()) + "\" failures=\"" +
                               std::to_string(Count(run, Status::Fail)) + "\" errors=\"0\" skipped=\"" +
                               std::to_string(Count(run, Status::Skip)) + "\" time=\"" + Seconds(TotalSeconds(run)) + "\"";
    std::string rates, blocks;
    for (const double rate : run.sampleRates) rates += (rates.empty() ? "" : " ") + Number(rate);
    for (const int block : run.blockSizes) blocks += (blocks.empty() ? "" : " ") + std::to_string(block);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"vsthost validate\" " + counts +
                      ">\n  <testsuite name=\"" + XmlText(run.plugin) + "\" " + counts + ">\n    <properties>\n";
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"seed", std::to_string(run.seed)},
                                      {"sample rates", rates},
                                      {"block sizes", blocks},
                                      {"stopped", run.stopped ? "the load check failed: the others did not run" : "no"}})
        xml += "      <property name=\"" + name + "\" value=\"" + XmlText(value) + "\"/>\n";
    xml += "    </properties>\n";
    for (const CheckRecord& check : run.checks) {
        xml += "    <testcase classname=\"vsthost.validate\" name=\"" + XmlText(check.name) + "\" time=\"" +
               Seconds(check.seconds) + "\">\n";
        const Outcome& outcome = check.outcome;
        if (outcome.status == Status::Fail)
            xml += "      <failure type=\"" + XmlText(check.id) + "\" message=\"" + XmlText(outcome.text()) + "\">expected " +
                   XmlText(check.expected) + "\nseen " + XmlText(outcome.seen) + "</failure>\n";
        else if (outcome.status == Status::Skip)
            xml += "      <skipped message=\"" + XmlText(outcome.seen) + "\"/>\n";
        else
            xml += "      <system-out>" + XmlText(outcome.seen) + "</system-out>\n";
        xml += "    </testcase>\n";
    }
    return xml + "  </testsuite>\n</testsuites>\n";
}

}  // namespace vsthost::validate
