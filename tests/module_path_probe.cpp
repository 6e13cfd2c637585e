// A test module built from the plug-in's own entry file, so it carries the plug-in's load
// notification: it tells a test where the file layer places a script file when the module is
// loaded from a given folder.
#include <string>

#include "runtime/FilePaths.h"

extern "C" __declspec(dllexport) const char* ResolveBesideModule(const char* name) noexcept {
    static std::string path;  // the test reads the answer before it asks again
    path = vormlek::ResolveFileName(name);
    return path.c_str();
}
