# Cross build of the 32-bit Windows DLL with Debian's mingw-w64 compilers. The -posix ones are
# named on purpose: the plain names may select the win32 thread model, which lacks std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# GCC aligns the stack to 16 bytes at most on Windows, yet may spill 32-byte AVX vectors there with
# aligned moves (a crash on a misaligned slot). The assembler option turns every aligned vector move
# into the unaligned form, which costs nothing on aligned data, so the AVX2 kernels are safe here too.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CMake and CTest put this in front of every program built here, so they run under Wine on any
# machine (tools/wine-run picks the way; the test suites go through their Wine session instead).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run/wine-run win32)
