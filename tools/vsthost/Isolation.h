// Runs a piece of work in a child process, so a plug-in that crashes or hangs in it fails that work
// and not the whole run.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vsthost {

struct IsolatedResult {
    bool completed = false;  // the work returned and its text arrived
    std::string text;        // what the work answered, or why it did not complete
};

// The work, and how a fresh start of this program does the same work. On Linux the child is a copy
// of this process (fork) that runs `run` itself and ends with _exit, so exit handlers of loaded
// plug-ins do not run twice. Windows has no fork: there the child is this program started again
// with childArguments (the arguments after the program's name) followed by kAnswerOption and the
// answer channel; that start must hand the same work to AnswerParent.
struct IsolatedWork {
    std::function<std::string()> run;
    std::vector<std::string> childArguments;
};

// Runs the work in a child process with a time limit. A crash, a hang (the child is ended after the
// limit), an end without an answer and an exception escaping the work each come back as a result
// that did not complete, saying which.
IsolatedResult RunIsolated(const IsolatedWork& work, int timeoutSeconds);

// The option that gives a child started on Windows the channel for its answer.
inline constexpr const char* kAnswerOption = "--answer-channel";

// In a child started again by RunIsolated: runs the work, sends its answer (or its crash) through
// the channel to the parent and ends the process.
[[noreturn]] void AnswerParent(const std::function<std::string()>& work, const std::string& channel);

namespace isolation {

// What the two platforms' children send and their parents read: "done\n" and the work's text,
// "threw\n" and what escaped, or "crashed\n" and how (Windows, where the child reports its own crash).
std::string AnswerOf(const std::function<std::string()>& work);
inline constexpr const char* kCrashed = "crashed\n";
// Sets result to what the answer stands for; false when the text holds no answer.
bool ReadAnswer(const std::string& received, IsolatedResult& result);

}  // namespace isolation

}  // namespace vsthost
