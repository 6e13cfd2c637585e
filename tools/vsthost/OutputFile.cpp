#include "OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "HostedPlugin.h"

namespace vsthost {

namespace {

// The permissions a plainly created file would get, since mkstemp makes it private to the owner.
mode_t DefaultFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666) & ~mask;
}

}  // namespace

PendingFile::PendingFile(const std::string& destination)
    : destination_(destination), temporary_(destination + ".partial-XXXXXX") {
    std::vector<char> name(temporary_.begin(), temporary_.end());
    name.push_back('\0');
    descriptor_ = mkstemp(name.data());
    if (descriptor_ < 0)
        throw HostError("cannot create '" + destination + "': " + std::strerror(errno));
    temporary_ = name.data();
    fchmod(descriptor_, DefaultFileMode());
}

PendingFile::~PendingFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (!committed_) unlink(temporary_.c_str());
}

int PendingFile::release() noexcept {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return descriptor;
}

void PendingFile::commit() {
    if (descriptor_ >= 0) {
        close(descriptor_);
        descriptor_ = -1;
    }
    if (std::rename(temporary_.c_str(), destination_.c_str()) != 0)
        throw HostError("cannot write '" + destination_ + "': " + std::strerror(errno));
    committed_ = true;
}

void WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
    PendingFile file(path);
    const auto* bytes = static_cast<const char*>(data);
    const int descriptor = file.release();
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = write(descriptor, bytes + written, size - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            const int error = errno;
            close(descriptor);
            throw HostError("cannot write '" + path + "': " + std::strerror(error));
        }
        written += static_cast<std::size_t>(count);
    }
    if (close(descriptor) != 0) throw HostError("cannot write '" + path + "': " + std::strerror(errno));
    file.commit();
}

}  // namespace vsthost
