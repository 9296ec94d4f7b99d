#include "path_registry.h"

#include "config.h"
#include "exception.h"
#include "json_binding.h"
#include "logging.h"
#include "platform.h"
#include "platform_files.h"

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <stdexcept>
#include <utility>

namespace zorva::plugin::path_registry {
namespace fs = boost::filesystem;

namespace {

// A status error (no permission on a parent, say) counts as absent.
bool isPresent(const Path& path) {
    boost::system::error_code error;
    return fs::exists(path, error);
}

// The program directory always holds at least the program file, so an empty
// or unreadable one means the program's own path is wrong.
bool hasEntries(const Path& directory) {
    boost::system::error_code error;
    const bool empty = fs::is_empty(directory, error);
    return !error && !empty;
}

// A path with the result of its one existence check: a failed check keeps
// failing even when the path appears later.
class CheckedPath {
public:
    explicit CheckedPath(const Path& value) : CheckedPath(value, isPresent(value)) {}
    CheckedPath(Path value, bool present) : value_(std::move(value)), present_(present) {}

    Path get(const char* errorText, const char* operation) const {
        if (!present_) PLUGIN_THROW(std::runtime_error(errorText), operation);
        return value_;
    }

private:
    Path value_;
    bool present_;
};

// Only the user may enter the directories of the user's data; one that is not
// the user's own fails its path's check.
Path created(const Path& directory) {
    fs::create_directories(directory.parent_path());
    return platform::makePrivateDirectory(directory) ? directory : Path();
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Copies through a temporary file in the target's directory and renames it
// over the target: a crash or a failed read never leaves a truncated user
// file behind, and a failed copy leaves the target as it was.
void copyReplacing(const Path& from, const Path& to) {
    const Path temporary =
        to.parent_path() / fs::unique_path(to.filename().string() + ".%%%%-%%%%.tmp");
    boost::system::error_code error;
    bool complete = false;
    if (fs::is_regular_file(from, error)) {
        std::ifstream input(from.string(), std::ios::binary);
        std::ofstream output(temporary.string(), std::ios::binary | std::ios::trunc);
        char buffer[4096];
        while (input && output) {
            input.read(buffer, sizeof buffer);
            output.write(buffer, input.gcount());
        }
        output.close();
        complete = input.eof() && !input.bad() && !output.fail();
    }
    if (complete) fs::rename(temporary, to, error);
    if (!complete || error) fs::remove(temporary, error);
}

// Up to the first line feed; a file that cannot be opened gives an empty line.
std::string firstLine(const Path& file) {
    std::ifstream input(file.string(), std::ios::binary);
    std::string line;
    std::getline(input, line);
    return line;
}

Path computeDataDir() {
    const Path here = thisDir();
    const Path name = dataDirName();
    const Path dir = !isSubPath(here, userAppDataDir()) && isSubPath(here, commonAppDataDir())
                         ? commonAppDataDir() / name
                         : here / ".." / name;
    boost::system::error_code error;
    fs::create_directories(dir.parent_path(), error);
    if (!error && platform::makePrivateDirectory(dir) && platform::isWritableDirectory(dir))
        return dir;
    // A system-wide install gives a folder that a user can neither create nor
    // write: keep the data in the user's own folder instead.
    const Path fallback = userAppDataDir() / name;
    PLUGIN_LOG(info) << "paths: unable to create or write data dir " << dir << ", using "
                     << fallback;
    return created(fallback);
}

Path computeCurrentConfigFile() {
    const Path user = userConfigFile();
    if (isPresent(user)) return user;
    const Path defaults = defaultConfigFile();
    if (!isPresent(defaults))
        PLUGIN_THROW(std::runtime_error("Не удалось прочитать файл конфигурации"), "operator ()");
    copyReplacing(defaults, user);
    return user;
}

Path computeCurrentStyleFile() {
    const Path user = userStyleFile();
    const Path defaults = defaultStyleFile();
    if (isPresent(user)) {
        // Without a default there is nothing to replace the user's file with.
        if (!isPresent(defaults)) return user;
        if (firstLine(defaults) == firstLine(user)) return user;
    }
    copyReplacing(defaults, user);
    return user;
}

// The build output lies three levels below the checkout that holds the
// product's source directory.
constexpr const char* devProductDir = "../../../zorva_plugin";

}  // namespace

Path programLocation() {
    static const Path value = platform::programLocation();
    return value;
}

Path thisDir() {
    static const Path value = programLocation().parent_path();
    static const CheckedPath path(value, hasEntries(value));
    return path.get("Не удалось получить путь к приложению", "thisDir");
}

Path userAppDataDir() {
    static const CheckedPath path(platform::userDataDir());
    return path.get("Не удалось получить путь к userAppData", "userAppDataDir");
}

Path commonAppDataDir() {
    static const CheckedPath path(platform::commonDataDir());
    return path.get("Не удалось получить путь к commonAppData", "commonAppDataDir");
}

Path dataDirName() {
    static const Path value = [] {
        const std::string programName = programLocation().filename().string();
        if (startsWith(programName, "zorva")) return Path("./ZorvaPluginData");
        if (startsWith(programName, "civara")) return Path("./CivaraPluginData");
        return programLocation().parent_path().filename();
    }();
    return value;
}

Path dataDir() {
    static const CheckedPath path(computeDataDir());
    return path.get("Не удалось получить путь к dataDir", "dataDir");
}

Path logDir() {
    static const CheckedPath path(created(dataDir() / "./logs"));
    return path.get("Не удалось получить путь к logDir", "logDir");
}

Path tempDir() {
    static const CheckedPath path(created(dataDir() / "./data"));
    return path.get("Не удалось получить путь к tempDir", "tempDir");
}

Path dumpDir() {
    static const CheckedPath path(created(dataDir() / "./dumps"));
    return path.get("Не удалось получить путь к dumpDir", "dumpDir");
}

Path cacheDir() {
    static const Path value = thisDir() / "./.cache";
    return value;
}

Path modulesDir() {
    static const CheckedPath path([] {
        const Path modules = thisDir() / "./modules";
        return isPresent(modules) ? modules : thisDir();
    }());
    return path.get("Не удалось получить путь к modulesDir", "modulesDir");
}

std::string modulePattern() { return "lib*.so"; }

Path userConfigFile() {
    static const Path value = dataDir() / "config.json.user";
    return value;
}

Path defaultConfigFile() {
    static const Path value = thisDir() / "config.json";
    return value;
}

std::string defaultConfigResource() { return ":/zorva_plugin/config.json"; }

Path currentConfigFile() {
    static const CheckedPath path(computeCurrentConfigFile());
    return path.get("Не удалось прочитать файл конфигурации пользователя", "currentConfigFile");
}

Path userStyleFile() {
    static const Path value = dataDir() / "style.css.user";
    return value;
}

Path defaultStyleFile() {
    static const Path value = thisDir() / "style.css";
    return value;
}

Path currentStyleFile() {
    static const CheckedPath path(computeCurrentStyleFile());
    return path.get("Не удалось прочитать файл стилей пользователя", "currentStyleFile");
}

Path localizationFile() {
    static const Path value = thisDir() / "localization.qm";
    return value;
}

Path devLocalizationFile() {
    static const Path value = thisDir() / devProductDir / "_qtlocalization/localization.qm";
    return value;
}

Path devTokensDir() {
    static const Path value = thisDir() / devProductDir / "modules/tokens";
    return value;
}

Path rutokenResourceDir() {
    static const CheckedPath path(devTokensDir() / "rutoken/resource/windows/X86_32");
    return path.get("Не удалось получить путь к директории с ресурсами rutoken",
                    "rutokenResourceDir");
}

Path jacartaResourceDir() {
    static const CheckedPath path(devTokensDir() / "jacarta/resource/windows/X86_32");
    return path.get("Не удалось получить путь к директории с ресурсами jacarta",
                    "jacartaResourceDir");
}

Path esmartResourceDir() {
    static const CheckedPath path(devTokensDir() / "esmart/resource/windows/X86_32");
    return path.get("Не удалось получить путь к директории с ресурсами esmart",
                    "esmartResourceDir");
}

std::string currentConfigCategory() {
    try {
        const Path file = currentConfigFile();
        if (!isPresent(file)) return {};
        std::ifstream input(file.string(), std::ios::binary);
        format::Config config;
        json_dto::from_stream(input, config);
        return config.format.category;
    } catch (const std::exception& error) {
        PLUGIN_LOG(warning) << "unable to get category from config, reason: " << error.what();
        return {};
    }
}

bool isSubPath(const Path& path, const Path& base) {
    auto element = path.begin();
    for (const Path& baseElement : base) {
        if (element == path.end() || *element != baseElement) return false;
        ++element;
    }
    return true;
}

}  // namespace zorva::plugin::path_registry
