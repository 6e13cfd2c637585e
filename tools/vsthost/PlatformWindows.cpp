#include <fcntl.h>
#include <io.h>
#include <unwind.h>
#include <windows.h>

#include <cstdio>

#include "tools/vsthost/Commands.h"
#include "tools/vsthost/Platform.h"

namespace vsthost {

namespace {

constexpr DWORD kGccThrow = 0x20474343;  // what GCC's runtime raises for a C++ throw on 64-bit Windows

// A DLL links its own C++ runtime, so an exception it throws carries that DLL's type information and
// destructor. The host catches it after unwinding, which may already have unloaded the plug-in (a
// PluginBinary on the way); the catch would then read unmapped memory. The module whose runtime
// raised the exception (the one holding its cleanup function) therefore stays loaded for good.
LONG WINAPI KeepThrowingModuleLoaded(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == kGccThrow && record.NumberParameters >= 1 && record.ExceptionInformation[0] != 0) {
        const auto* thrown = reinterpret_cast<const _Unwind_Exception*>(record.ExceptionInformation[0]);
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(thrown->exception_cleanup), &module);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void PrepareProcess() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, KeepThrowingModuleLoaded);
}

// Every plug-in this build is given is for Windows; one for another system is refused by name when
// it is checked before loading.
std::optional<int> RunWithTheirBuild(const std::vector<std::string>&, const ArgumentsFor&) { return std::nullopt; }

std::string PathForTheirBuild(const std::string& path) { return path; }

int RunRender(const RenderOptions&) {
    throw HostError("render is part of the Linux build of vsthost only: it reads and writes audio files through "
                    "libsndfile, which the Windows build does without (it has info, validate and bench)");
}

int RunPreset(const PresetOptions&) {
    throw HostError("preset is part of the Linux build of vsthost only, as render is (this build has info, validate "
                    "and bench)");
}

}  // namespace vsthost
