#include "config_normalizer.h"

#include "built_in_tables.h"
#include "exception.h"
#include "logging.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

namespace zorva::plugin {
namespace {

QString toQString(const boost::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.wstring());
#else
    return QString::fromStdString(path.string());
#endif
}

std::string readFile(const boost::filesystem::path& path) {
    std::ifstream input(path.string(), std::ios::binary);
    if (!input) throw std::runtime_error("unable to open " + path.string());
    return json_dto::read_all(input);
}

format::Config readConfig(const boost::filesystem::path& path) {
    return json_dto::from_json<format::Config>(readFile(path));
}

// A temporary file in the same directory renamed over the target: a crash
// never leaves a truncated user file behind.
void writeFileAtomically(const boost::filesystem::path& path, const std::string& bytes) {
    if (path.empty()) throw std::runtime_error("no file to write");
    QSaveFile file(toQString(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit())
        throw std::runtime_error("unable to write " + path.string() + ": " +
                                 file.errorString().toStdString());
}

// A time the file system cannot give is not-a-date-time.
boost::posix_time::ptime toPtime(const QDateTime& time) {
    if (!time.isValid()) return boost::posix_time::not_a_date_time;
    const QDateTime local = time.toLocalTime();
    const QDate date = local.date();
    const QTime clock = local.time();
    try {
        return {boost::gregorian::date(date.year(), date.month(), date.day()),
                boost::posix_time::hours(clock.hour()) +
                    boost::posix_time::minutes(clock.minute()) +
                    boost::posix_time::seconds(clock.second()) +
                    boost::posix_time::milliseconds(clock.msec())};
    } catch (const std::out_of_range&) {
        return boost::posix_time::not_a_date_time;
    }
}

}  // namespace

ConfigNormalizer::ConfigNormalizer(const format::ConfigPtr& config, ConfigFiles files)
    : target_(config), files_(std::move(files)) {
    if (!target_) PLUGIN_THROW(std::logic_error("no user config specified"), "ConfigNormalizer");
    working_ = *target_;
    if (!boost::filesystem::exists(files_.defaultFile))
        PLUGIN_THROW(std::logic_error("no default config specified"), "ConfigNormalizer");
    default_ = readConfig(files_.defaultFile);

    PLUGIN_LOG(info) << "config.normalizer: user " << json_dto::to_json(*target_);
    PLUGIN_LOG(info) << "config.normalizer: default " << json_dto::to_json(default_);

    checkObsoleteFile();
    checkVersion();
    checkDependencies();
}

ConfigNormalizer::~ConfigNormalizer() {
    try {
        PLUGIN_LOG(info) << "config.normalizer: result " << json_dto::to_json(*target_);
    } catch (const std::exception&) {
        // Nothing may leave a destructor.
    }
}

void ConfigNormalizer::checkObsoleteFile() {
    PLUGIN_LOG(info) << "config.normalizer: check if user config file obsolete";
    const auto installed = toPtime(QFileInfo(toQString(files_.programDir)).birthTime());
    const auto modified = toPtime(QFileInfo(toQString(files_.userFile)).lastModified());
    PLUGIN_LOG(info) << "config.normalizer:"
                     << " default config birth time: "
                     << boost::posix_time::to_simple_string(installed)
                     << ", user config last modified time: "
                     << boost::posix_time::to_simple_string(modified);

    // A reinstallation into a new directory makes the user's file stale.
    if (installed.is_special() || modified.is_special() || installed <= modified) return;
    PLUGIN_LOG(info) << "config.normalizer: update obsolete user config: "
                     << files_.userFile.string()
                     << " from default config: " << files_.defaultFile.string();
    auto meta = std::move(working_.meta);
    working_ = default_;
    working_.meta = std::move(meta);
    changed_ = true;
}

void ConfigNormalizer::checkVersion() {
    PLUGIN_LOG(info) << "config.normalizer: check version";
    const std::string& version = builtInCoreConfig().format.version;
    if (working_.format.version == version) return;
    PLUGIN_LOG(info) << "config.normalizer: update version";
    working_.format.version = version;
    changed_ = true;
}

void ConfigNormalizer::checkDependencies() {
    PLUGIN_LOG(info) << "config.normalizer: check dependencies";
    // The default file was readable moments ago; if it no longer is, the copy
    // read then is as good.
    format::Config installed = default_;
    try {
        installed = readConfig(files_.defaultFile);
    } catch (const std::exception&) {
    }
    std::set<std::string> allowed;
    for (const auto& dependency : installed.dependencies) allowed.insert(dependency.format.type);

    auto& dependencies = working_.dependencies;
    const bool broken =
        dependencies.empty() ||
        std::any_of(dependencies.begin(), dependencies.end(),
                    [](const auto& dependency) { return dependency.format.type.empty(); });
    // Dependencies the default lacks are dropped; those it adds are not added.
    std::set<format::Config> updated;
    if (broken) {
        updated = default_.dependencies;
    } else {
        for (const auto& dependency : dependencies)
            if (allowed.count(dependency.format.type)) updated.insert(dependency);
    }
    const bool stepChanged = broken || updated.size() != dependencies.size();
    if (!stepChanged) return;
    PLUGIN_LOG(info) << "config.normalizer: update dependencies";
    dependencies = std::move(updated);
    changed_ = true;
}

void ConfigNormalizer::apply() {
    if (!changed_) {
        PLUGIN_LOG(info) << "config.normalizer: nothing to apply";
        return;
    }
    *target_ = working_;
    changed_ = false;
    PLUGIN_LOG(info) << "config.normalizer: apply to: " << files_.userFile.string();
    try {
        writeFileAtomically(files_.userFile, json_dto::to_json(*target_));
    } catch (const std::exception&) {
        restoreDefault();
    }
}

void ConfigNormalizer::restoreDefault() {
    std::string restoreError;
    try {
        writeFileAtomically(files_.userFile, readFile(files_.defaultFile));
    } catch (const std::exception& error) {
        restoreError = error.what();
    }
    // The start-up entries (the protocol a browser start asked for) still hold.
    *target_ = default_;
    target_->meta = working_.meta;
    PLUGIN_LOG(warning) << "config.normalizer: apply failed, restore from "
                        << files_.defaultFile.string();
    // The process goes on with the default in memory; the file stays as it was.
    if (!restoreError.empty())
        PLUGIN_LOG(warning) << "config.normalizer: restore failed: " << restoreError;
}

}  // namespace zorva::plugin
