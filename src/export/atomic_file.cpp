#include "export/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace kavuro {
namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writing over a symbolic link writes the file it points to, as an editor would; the
// link stays a link.
std::string ResolvedTarget(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return path;
}

}  // namespace

AtomicFile::~AtomicFile() {
    Abandon();
}

std::error_code AtomicFile::Open(const std::string& path) {
    Abandon();
    if (path.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (path.back() == '/') {
        return std::make_error_code(std::errc::is_a_directory);
    }
    path_ = ResolvedTarget(path);
    // Known now rather than at the rename, after all the work.
    struct stat existing {};
    if (::stat(path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    const std::string folder = FolderOf(path_);
    const std::string base = path_.substr(path_.find_last_of('/') + 1);

    // A name of our own rather than mkstemp's, so that the file is created with the
    // usual permissions (0666 less the umask) and not 0600.
    std::random_device seed;
    std::mt19937 random(seed());
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + "/." + base + ".tmp";
        for (int i = 0; i < 8; ++i) {
            candidate += kLetters[pick(random)];
        }
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            tempPath_ = std::move(candidate);
            return {};
        }
        if (errno != EEXIST) {
            return LastError();
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code AtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::error_code AtomicFile::Commit() {
    if (fd_ < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    struct stat replaced {};
    if (::stat(path_.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode) &&
        ::fchmod(fd_, replaced.st_mode & 07777) != 0) {
        return LastError();
    }
    if (::fsync(fd_) != 0) {
        return LastError();
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        return LastError();
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        return LastError();
    }
    tempPath_.clear();
    // The rename itself lasts once the folder is on disk too; a failure here loses nothing
    // that is not already safe.
    const int folder = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

void AtomicFile::Abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file;
    if (std::error_code error = file.Open(path)) {
        return error;
    }
    if (std::error_code error = file.Write(bytes)) {
        return error;
    }
    return file.Commit();
}

}  // namespace kavuro
