// Writing a file whole or not at all: the bytes go to a temporary file beside it, which
// is renamed over the name only once everything is on disk. A failed, cancelled or
// interrupted write leaves no half file and the file it would replace as it was.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace kavuro {

class AtomicFile {
public:
    AtomicFile() = default;
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file in path's folder, so that a folder that cannot be written
    // shows before any work is done.
    std::error_code Open(const std::string& path);
    // Adds bytes to the temporary file.
    std::error_code Write(std::string_view bytes);
    // Flushes to disk and renames the temporary file over path. A replaced file's
    // permissions carry over; a new file gets the usual ones (umask applies).
    std::error_code Commit();
    // Removes the temporary file; path is untouched.
    void Abandon();

private:
    std::string path_;      // where the file ends up (a symbolic link's target)
    std::string tempPath_;  // empty once removed or renamed
    int fd_ = -1;
};

// Open, Write and Commit in one.
std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace kavuro
