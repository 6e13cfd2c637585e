#include "tools/vsthost/Isolation.h"

#include <exception>
#include <string_view>

namespace vsthost::isolation {

namespace {

constexpr std::string_view kDone = "done\n", kThrew = "threw\n";

bool StartsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

std::string AnswerOf(const std::function<std::string()>& work) {
    try {
        return std::string(kDone) + work();
    } catch (const std::exception& error) {
        return std::string(kThrew) + "an exception escaped: " + error.what();
    } catch (...) {
        return std::string(kThrew) + "an exception of unknown type escaped";
    }
}

bool ReadAnswer(const std::string& received, IsolatedResult& result) {
    if (StartsWith(received, kDone)) {
        result = {true, received.substr(kDone.size())};
        return true;
    }
    if (StartsWith(received, kThrew)) {
        result = {false, received.substr(kThrew.size())};
        return true;
    }
    if (StartsWith(received, kCrashed)) {
        result = {false, "crashed with " + received.substr(std::string_view(kCrashed).size())};
        return true;
    }
    return false;
}

}  // namespace vsthost::isolation
