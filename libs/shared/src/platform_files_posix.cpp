#include "platform_files.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorva::plugin::platform {

namespace {

constexpr mode_t privateMask = S_IRWXG | S_IRWXO;

// The lock went to the file still named by the path: a cleaner that took the
// lock first may have removed the file, and a lock on a removed file guards
// nothing.
bool stillNamed(int descriptor, const boost::filesystem::path& file) {
    struct stat held {};
    struct stat named {};
    return ::fstat(descriptor, &held) == 0 && ::lstat(file.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

void restrictNewFileModes() { ::umask(privateMask); }

bool makePrivateDirectory(const boost::filesystem::path& directory) {
    if (::mkdir(directory.c_str(), S_IRWXU) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid())
        return false;
    return (status.st_mode & privateMask) == 0 ||
           ::chmod(directory.c_str(), status.st_mode & ~privateMask & 07777) == 0;
}

ProcessLock::ProcessLock(int descriptor, boost::filesystem::path file)
    : descriptor_(descriptor), file_(std::move(file)) {}

ProcessLock::~ProcessLock() { ::close(descriptor_); }

std::unique_ptr<ProcessLock> ProcessLock::create(const boost::filesystem::path& file) {
    const int descriptor =
        ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    // Blocking: a cleaner may hold the fresh file's lock for a moment.
    return locked(descriptor, file, LOCK_EX);
}

std::unique_ptr<ProcessLock> ProcessLock::takeAbandoned(const boost::filesystem::path& file) {
    const int descriptor = ::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    return locked(descriptor, file, LOCK_EX | LOCK_NB);
}

std::unique_ptr<ProcessLock> ProcessLock::locked(int descriptor,
                                                 const boost::filesystem::path& file,
                                                 int operation) {
    if (descriptor < 0) return nullptr;
    if (::flock(descriptor, operation) != 0 || !stillNamed(descriptor, file)) {
        ::close(descriptor);
        return nullptr;
    }
    return std::unique_ptr<ProcessLock>(new ProcessLock(descriptor, file));
}

void ProcessLock::removeFile() { ::unlink(file_.c_str()); }

}  // namespace zorva::plugin::platform
