// The exported entry points. A host calls one of them once per plug-in instance with its callback.
#include <memory>
#include <new>

#include "effect/TVormlekEffect.h"
#include "runtime/FilePaths.h"
#include "shell/CVeST.h"
#include "shell/TVeSTBridge.h"

#if defined(_WIN32) && defined(__i386__) && !defined(__SSE2_MATH__)
// x87 arithmetic rounds differently: the 32-bit DLL must compute the same samples as the other builds.
#error "the 32-bit plug-in is built with -msse2 -mfpmath=sse"
#endif

#if defined(_WIN32)
#include <windows.h>
// The .def file names the exports.
#define VST_EXPORT
#else
#define VST_EXPORT __attribute__((visibility("default")))
#endif

namespace {

AEffect* CreateInstance(audioMasterCallback audioMaster) noexcept {
    try {
        const TVeSTBridge table = MakeTrimBridge();
        auto script = std::make_unique<TVormlekEffect>();
        CVeST* adapter = CreateVeST(script.get(), table, audioMaster, 1, script->ParameterCount());
        if (adapter == nullptr) return nullptr;  // the unused script object is released
        script.release()->adapter = adapter;     // from here on the adapter owns the script object
        return adapter->getAeffect();
    } catch (...) {  // out of memory while building the instance: nothing may escape to the host
        return nullptr;
    }
}

}  // namespace

extern "C" {

VST_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) noexcept {
    return CreateInstance(audioMaster);
}

VST_EXPORT AEffect* VSTCALLBACK MAIN(audioMasterCallback audioMaster) noexcept { return CreateInstance(audioMaster); }

#if defined(_WIN32)
// The load notification only remembers which module this is, so the file layer can find the
// folder the host loaded the DLL from. It succeeds for every reason.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) noexcept {
    vormlek::moduleInstance = instance;
    return TRUE;
}
#elif !defined(TRIM_WITHOUT_MAIN_ENTRY)  // set by a program that links this file and has its own main
// Older Linux hosts look for "main"; C++ does not allow a function of that name returning a pointer.
VST_EXPORT AEffect* MainEntry(audioMasterCallback audioMaster) noexcept __asm__("main");
AEffect* MainEntry(audioMasterCallback audioMaster) noexcept { return CreateInstance(audioMaster); }
#endif
}
