#include "chunk_area.h"

#include "exception.h"
#include "logging.h"
#include "path_registry.h"
#include "platform.h"
#include "platform_files.h"
#include "safe_file_name.h"

#include <boost/filesystem/operations.hpp>

#include <memory>
#include <string>

namespace zorva::plugin::chunk_area {

namespace fs = boost::filesystem;

namespace {

constexpr const char* lockExtension = ".lock";
constexpr int maxLockAttempts = 4;

[[noreturn]] void refuse(const fs::path& path, const char* operation) {
    PLUGIN_LOG(error) << "chunk store: refused, not a directory of this user's own: " << path;
    PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::RequestFormat),
                 operation);
}

fs::path computeRoot() {
    const std::string category = path_registry::currentConfigCategory();
    // A category such as ".." would put the stores beside the data directory.
    if (!category.empty()) checkedFileName(category, "root");
    const fs::path root = path_registry::tempDir() / category;
    PLUGIN_LOG(info) << "chunk store: root  " << root.string();
    return root;
}

fs::path lockFileOf(const fs::path& directory) {
    return directory.parent_path() / (directory.filename().string() + lockExtension);
}

// Directories whose lock file no live process holds; the lock file goes last,
// so a directory is never left without the mark that makes it removable.
void removeAbandoned(const fs::path& root) {
    boost::system::error_code ignored;
    for (fs::directory_iterator entry(root, ignored), end; entry != end; entry.increment(ignored)) {
        const fs::path& lockFile = entry->path();
        if (lockFile.extension() != lockExtension) continue;
        const auto lock = platform::ProcessLock::takeAbandoned(lockFile);
        if (!lock) continue;
        const fs::path directory = root / lockFile.stem();
        PLUGIN_LOG(info) << "chunk store: remove what an ended process left: " << directory;
        fs::remove_all(directory, ignored);
        lock->removeFile();
    }
}

std::string randomName() { return fs::unique_path("%%%%%%%%%%%%%%%%").string(); }

// Held for the life of the process: its end, however it comes, frees the lock.
class ProcessDirectory {
public:
    ProcessDirectory() {
        requirePrivateDirectory(path_registry::tempDir(), "join");
        requirePrivateDirectory(root(), "join");
        removeAbandoned(root());
        const std::string prefix = std::to_string(platform::processId()) + "-";
        // A fresh name is taken only when something else holds it already.
        for (int attempt = 0; !lock_ && attempt < maxLockAttempts; ++attempt) {
            path_ = root() / (prefix + randomName());
            lock_ = platform::ProcessLock::create(lockFileOf(path_));
        }
        if (!lock_) refuse(lockFileOf(path_), "join");
        requirePrivateDirectory(path_, "join");
    }

    ~ProcessDirectory() {
        boost::system::error_code ignored;
        fs::remove_all(path_, ignored);
        lock_->removeFile();
    }

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
    std::unique_ptr<platform::ProcessLock> lock_;
};

const fs::path& processDirectory() {
    static const ProcessDirectory directory;
    return directory.path();
}

}  // namespace

const fs::path& root() {
    static const fs::path value = computeRoot();
    return value;
}

fs::path newStoreDirectory() {
    const fs::path directory = processDirectory() / randomName();
    requirePrivateDirectory(directory, "join");
    return directory;
}

void requirePrivateDirectory(const fs::path& directory, const char* operation) {
    if (!platform::makePrivateDirectory(directory)) refuse(directory, operation);
}

}  // namespace zorva::plugin::chunk_area
