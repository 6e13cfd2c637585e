#include "tools/vsthost/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/vsthost/PluginBinary.h"

namespace vsthost {

namespace {

// The permissions a plainly created file would get, since mkstemp makes it private to the owner.
mode_t DefaultFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666) & ~mask;
}

}  // namespace

PendingFile::PendingFile(const std::string& destination) : destination_(destination) {
    const std::filesystem::path folder = std::filesystem::path(destination).parent_path();
    const std::string directory = folder.empty() ? std::string(".") : folder.string();
    descriptor_ = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, DefaultFileMode());
    if (descriptor_ >= 0) {
        keptOpen_ = dup(descriptor_);
        procLink_ = "/proc/self/fd/" + std::to_string(keptOpen_);
        return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        throw HostError("cannot create '" + destination + "': " + std::strerror(errno));
    std::string pattern = destination + ".partial-XXXXXX";
    descriptor_ = mkstemp(pattern.data());
    if (descriptor_ < 0) throw HostError("cannot create '" + destination + "': " + std::strerror(errno));
    temporary_ = pattern;
    fchmod(descriptor_, DefaultFileMode());
}

PendingFile::~PendingFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (keptOpen_ >= 0) close(keptOpen_);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
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
    if (temporary_.empty()) {
        // A name is linked to the unnamed file, then renamed over the destination, which linking cannot replace.
        std::string linked;
        for (int attempt = 0; attempt < 100 && linked.empty(); ++attempt) {
            const std::string candidate = destination_ + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
            if (linkat(AT_FDCWD, procLink_.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
                linked = candidate;
            else if (errno != EEXIST)
                throw HostError("cannot write '" + destination_ + "': " + std::strerror(errno));
        }
        if (linked.empty()) throw HostError("cannot write '" + destination_ + "': no free temporary name");
        temporary_ = linked;
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
