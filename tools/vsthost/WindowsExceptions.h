// How a Windows process that a plug-in crashed says so: the exception code by number and name,
// written without allocating, since the heap of a crashed process may be broken.
#pragma once

namespace vsthost {

// "0xC0000005 (access violation)"; an unknown code gets its number and "an exception".
struct ExceptionText {
    char text[80];
};
ExceptionText DescribeException(unsigned long code) noexcept;

// Writes the parts to the process's standard error without allocating.
void SayOnStandardError(const char* const* parts, int count) noexcept;

}  // namespace vsthost
