// A file written under a temporary name next to its destination and renamed into place only when
// committed, so a failed run leaves no partial output behind.
#pragma once

#include <cstddef>
#include <string>

namespace vsthost {

class PendingFile {
public:
    explicit PendingFile(const std::string& destination);  // creates the temporary file; throws HostError
    ~PendingFile();                                         // removes the temporary file unless committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // The open descriptor of the temporary file; the caller may hand it to a writer that closes it.
    int release() noexcept;
    const std::string& temporaryPath() const noexcept { return temporary_; }
    void commit();  // renames the temporary file to the destination; throws HostError

private:
    std::string destination_;
    std::string temporary_;
    int descriptor_ = -1;
    bool committed_ = false;
};

// Writes bytes to path through a PendingFile; throws HostError.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

}  // namespace vsthost
