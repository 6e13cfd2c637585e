#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/vsthost/Isolation.h"

namespace vsthost {

namespace {

void WriteAll(int descriptor, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count <= 0) return;
        written += static_cast<std::size_t>(count);
    }
}

[[noreturn]] void Answer(int descriptor, const std::function<std::string()>& work) {
    WriteAll(descriptor, isolation::AnswerOf(work));
    close(descriptor);
    std::fflush(nullptr);
    _exit(0);
}

}  // namespace

IsolatedResult RunIsolated(const IsolatedWork& work, int timeoutSeconds) {
    int channel[2];
    if (pipe(channel) != 0) return {false, std::string("cannot create a pipe: ") + std::strerror(errno)};
    std::fflush(nullptr);  // buffered output must not be written twice, once by each process
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return {false, std::string("cannot start a child process: ") + std::strerror(errno)};
    }
    if (child == 0) {
        close(channel[0]);
        Answer(channel[1], work.run);
    }
    close(channel[1]);
    std::string received;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd readable{channel[0], POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t count = read(channel[0], buffer, sizeof buffer);
        if (count <= 0) break;
        received.append(buffer, static_cast<std::size_t>(count));
    }
    close(channel[0]);
    if (timedOut) kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (timedOut) return {false, "no answer within " + std::to_string(timeoutSeconds) + " s (a hang); the child was killed"};
    if (WIFSIGNALED(status))
        return {false, "crashed with signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")"};
    IsolatedResult result;
    if (isolation::ReadAnswer(received, result)) return result;
    return {false, "ended without an answer (exit status " + std::to_string(WEXITSTATUS(status)) + ")"};
}

void AnswerParent(const std::function<std::string()>& work, const std::string& channel) {
    Answer(std::atoi(channel.c_str()), work);
}

}  // namespace vsthost
