#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "Commands.h"
#include "Platform.h"

namespace vsthost {

void PrepareProcess() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

// Every plug-in this build is given is for Windows; one for another system is refused by name when
// it is checked before loading.
std::optional<int> RunWithTheirBuild(const std::vector<std::string>&, const ArgumentsFor&) { return std::nullopt; }

int RunRender(const RenderOptions&) {
    throw HostError("render is part of the Linux build of vsthost only: it reads and writes audio files through "
                    "libsndfile, which the Windows build does without (it has info, validate and bench)");
}

}  // namespace vsthost
