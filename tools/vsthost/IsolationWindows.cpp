#include <windows.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "tools/vsthost/Isolation.h"
#include "tools/vsthost/WindowsExceptions.h"

namespace vsthost {

namespace {

// What the parent keeps of a child's standard error, to tell why it ended without an answer.
constexpr std::size_t kKeptErrors = 1 << 16;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) noexcept : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        reset();
        handle_ = std::exchange(other.handle_, nullptr);
        return *this;
    }
    HANDLE get() const noexcept { return handle_; }
    HANDLE* out() noexcept { return &handle_; }
    void reset() noexcept {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

std::string LastError(const char* what) { return std::string(what) + " failed with error " + std::to_string(GetLastError()); }

// One argument as the C runtime splits a command line: quoted when it holds blanks or quotes, with
// the backslashes before a quote doubled.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// Reads what the pipe holds now without waiting; answers false once the pipe is closed and empty.
bool Drain(HANDLE pipe, std::string& into, bool forwardToErrors) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        char buffer[4096];
        DWORD count = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &count, nullptr) || count == 0) return false;
        into.append(buffer, count);
        if (forwardToErrors) {
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), buffer, count, &written, nullptr);
            if (into.size() > kKeptErrors) into.erase(0, into.size() - kKeptErrors);
        }
    }
}

// An inheritable copy of one of this process's standard handles, for the child's.
Handle InheritableStandardHandle(DWORD which) {
    Handle copy;
    const HANDLE original = GetStdHandle(which);
    if (original != nullptr && original != INVALID_HANDLE_VALUE)
        DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), copy.out(), 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

// GCC's C++ runtime on 32-bit Windows cannot unwind from a plug-in's own runtime into the host's,
// so an exception leaving the plug-in ends the process through std::terminate, which names it.
bool EscapedException(const std::string& errors, std::string& type) {
    constexpr std::string_view kTerminate = "terminate called after throwing an instance of '";
    const auto at = errors.rfind(kTerminate);
    if (at == std::string::npos) return false;
    const auto begin = at + kTerminate.size();
    type = errors.substr(begin, errors.find('\'', begin) - begin);
    return true;
}

HANDLE answerChannel = nullptr;

[[noreturn]] void SendCrashAndEnd(const char* how, unsigned exitCode) noexcept {
    const char* parts[] = {isolation::kCrashed, how};
    for (const char* part : parts) {
        DWORD written = 0;
        WriteFile(answerChannel, part, static_cast<DWORD>(std::strlen(part)), &written, nullptr);
    }
    TerminateProcess(GetCurrentProcess(), exitCode);
    std::_Exit(static_cast<int>(exitCode));
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* pointers) {
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    const ExceptionText text = DescribeException(code);
    char how[sizeof text.text + 16];
    std::snprintf(how, sizeof how, "exception %s", text.text);
    SendCrashAndEnd(how, code);
}

void OnAbort(int) { SendCrashAndEnd("abort() (SIGABRT)", 3); }

}  // namespace

IsolatedResult RunIsolated(const IsolatedWork& work, int timeoutSeconds) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle answerRead, answerWrite, errorsRead, errorsWrite;
    if (!CreatePipe(answerRead.out(), answerWrite.out(), &inheritable, 0) ||
        !CreatePipe(errorsRead.out(), errorsWrite.out(), &inheritable, 0))
        return {false, LastError("CreatePipe")};
    SetHandleInformation(answerRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errorsRead.get(), HANDLE_FLAG_INHERIT, 0);

    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {false, LastError("GetModuleFileName")};
    std::string commandLine = Quoted(program);
    for (const std::string& argument : work.childArguments) commandLine += " " + Quoted(argument);
    commandLine += std::string(" ") + kAnswerOption + " " +
                   std::to_string(reinterpret_cast<std::uintptr_t>(answerWrite.get()));

    const Handle output = InheritableStandardHandle(STD_OUTPUT_HANDLE);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = errorsWrite.get();
    PROCESS_INFORMATION started{};
    std::fflush(nullptr);
    if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return {false, LastError("starting a child process (CreateProcess)")};
    const Handle process(started.hProcess), thread(started.hThread);
    answerWrite.reset();  // the child holds its own copies now
    errorsWrite.reset();

    std::string answer, errors;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        Drain(answerRead.get(), answer, false);
        Drain(errorsRead.get(), errors, true);
        if (WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            timedOut = true;
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), INFINITE);
            break;
        }
    }
    Drain(answerRead.get(), answer, false);
    Drain(errorsRead.get(), errors, true);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);

    if (timedOut) return {false, "no answer within " + std::to_string(timeoutSeconds) + " s (a hang); the child was killed"};
    IsolatedResult result;
    std::string type;
    const bool answered = isolation::ReadAnswer(answer, result);
    if (answered && result.completed) return result;
    if (EscapedException(errors, type))
        return {false, "an exception escaped: " + type + " (the plug-in's C++ runtime ended the process: std::terminate)"};
    if (answered) return result;
    if (exitCode >= 0xC0000000) return {false, std::string("crashed with exception ") + DescribeException(exitCode).text};
    return {false, "ended without an answer (exit status " + std::to_string(exitCode) + ")"};
}

void AnswerParent(const std::function<std::string()>& work, const std::string& channel) {
    answerChannel = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(channel.c_str(), nullptr, 10)));
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);
    std::signal(SIGABRT, OnAbort);
    const std::string answer = isolation::AnswerOf(work);
    DWORD written = 0;
    WriteFile(answerChannel, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    std::fflush(nullptr);
    // Like _exit on Linux: no exit handlers of a plug-in that stayed loaded run.
    TerminateProcess(GetCurrentProcess(), 0);
    std::_Exit(0);
}

}  // namespace vsthost
