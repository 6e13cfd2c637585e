#include "tools/vsthost/WindowsExceptions.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace vsthost {

namespace {

constexpr struct {
    unsigned long code;
    const char* name;
} kExceptions[] = {
    {0xC0000005, "access violation"},
    {0xC000001D, "illegal instruction"},
    {0xC0000096, "privileged instruction"},
    {0xC0000094, "integer division by zero"},
    {0xC0000095, "integer overflow"},
    {0xC000008C, "array bounds exceeded"},
    {0xC000008E, "floating-point division by zero"},
    {0xC0000090, "invalid floating-point operation"},
    {0xC0000091, "floating-point overflow"},
    {0xC0000093, "floating-point underflow"},
    {0xC00000FD, "stack overflow"},
    {0xC0000006, "in-page error"},
    {0xC0000374, "heap corruption"},
    {0xC0000409, "stack buffer overrun or fast fail"},
    {0x80000003, "breakpoint"},
    {0x80000002, "misaligned data"},
    {0xE06D7363, "a C++ exception of the Microsoft runtime"},
    {0x20474343, "a C++ exception of the GCC runtime"},
};

}  // namespace

ExceptionText DescribeException(unsigned long code) noexcept {
    const char* name = "an exception";
    for (const auto& known : kExceptions)
        if (known.code == code) name = known.name;
    ExceptionText described{};
    std::snprintf(described.text, sizeof described.text, "0x%08lX (%s)", code, name);
    return described;
}

void SayOnStandardError(const char* const* parts, int count) noexcept {
    const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    for (int i = 0; i < count; ++i) {
        DWORD written = 0;
        if (!WriteFile(errors, parts[i], static_cast<DWORD>(std::strlen(parts[i])), &written, nullptr)) return;
    }
}

}  // namespace vsthost
