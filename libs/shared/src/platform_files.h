#pragma once

#include <boost/filesystem/path.hpp>

#include <memory>

// Files and directories that are the user's alone. Other local users may
// share the machine and the folders above ours: a name they plant must never
// make us write through it, and nothing we create may be readable by them.
namespace zorva::plugin::platform {

// New files and directories of this process get no access for group and
// others, whatever the caller asked for.
void restrictNewFileModes();

// Creates the directory for this user only. A name that exists already is
// taken only when it is a real directory (not a link) owned by this user; its
// access for group and others is then taken away. False otherwise.
bool makePrivateDirectory(const boost::filesystem::path& directory);

// A lock file held while this process lives. The kernel releases the lock
// when the process ends however it ends, so a lock that can be taken marks
// what a dead process left behind.
class ProcessLock {
public:
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Creates the file (never one that was there before) and holds its lock.
    // Nothing when the name is taken or the lock went to a cleaner that
    // removed the file meanwhile.
    static std::unique_ptr<ProcessLock> create(const boost::filesystem::path& file);

    // Holds the lock of an existing file when no live process holds it.
    static std::unique_ptr<ProcessLock> takeAbandoned(const boost::filesystem::path& file);

    // Removes the file while the lock is still held.
    void removeFile();

private:
    ProcessLock(int descriptor, boost::filesystem::path file);
    // Takes ownership of the descriptor; closes it when the lock is not had.
    static std::unique_ptr<ProcessLock> locked(int descriptor, const boost::filesystem::path& file,
                                               int operation);

    int descriptor_;
    boost::filesystem::path file_;
};

}  // namespace zorva::plugin::platform
