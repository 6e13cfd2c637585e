// A file written without a name next to its destination and given its name only when committed, so
// a failed, crashed, interrupted or killed run leaves nothing behind. Where the file system cannot
// hold a file without a name (no O_TMPFILE), it is written under a temporary name instead, which
// only an orderly failure removes.
#pragma once

#include <cstddef>
#include <string>

namespace vsthost {

class PendingFile {
public:
    explicit PendingFile(const std::string& destination);  // creates the file; throws HostError
    ~PendingFile();                                         // discards the file unless committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // The open descriptor of the file. The caller may close it (a writer that takes it over does);
    // commit() no longer needs it then.
    int release() noexcept;
    void commit();  // gives the file the destination's name, replacing what was there; throws HostError

private:
    std::string destination_;
    std::string temporary_;  // empty while the file has no name
    std::string procLink_;   // /proc/self/fd/N of the unnamed file, to give it a name
    int descriptor_ = -1;
    int keptOpen_ = -1;      // a descriptor of our own, so the unnamed file lives until commit
    bool committed_ = false;
};

// Writes bytes to path through a PendingFile; throws HostError.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

}  // namespace vsthost
