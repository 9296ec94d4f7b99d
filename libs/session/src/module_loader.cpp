#include "module_loader.h"

#include "built_in_tables.h"
#include "logging.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QSet>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

namespace zorva::plugin {
namespace {

#ifdef Q_OS_WIN
const QString modulePattern = QStringLiteral("lib*.dll");
#else
const QString modulePattern = QStringLiteral("lib*.so");
#endif

// Depth first: the files of a directory come before those of its
// subdirectories. A directory reached a second time (a symbolic link back up
// the tree) is not searched again, or the search would never end.
void collectCandidates(const QString& directory, QStringList& candidates, QSet<QString>& visited) {
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    if (canonical.isEmpty() || visited.contains(canonical)) return;
    visited.insert(canonical);

    const QDir dir(directory);
    for (const QString& name :
         dir.entryList({modulePattern}, QDir::Files | QDir::NoSymLinks, QDir::NoSort))
        candidates.append(directory + "/" + name);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort))
        collectCandidates(directory + "/" + name, candidates, visited);
}

std::set<std::string> dependencyTypes(const format::Config& config) {
    std::set<std::string> types;
    for (const auto& dependency : config.dependencies) types.insert(dependency.format.type);
    return types;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : " ") + item;
    return text;
}

// Decides between a known entry and a newly read one of the same type.
void applyDuplicatePolicy(ModuleEntry& known, const ModuleEntry& read, int policy) {
    const auto& knownFormat = known.config->format;
    const auto& readFormat = read.config->format;
    const bool knownIsOlder = knownFormat.version < readFormat.version;
    if (policy == KeepFirst) {
        PLUGIN_LOG(warning) << "ignore module: " << readFormat.type
                            << " version: " << readFormat.version << " "
                            << "as dublicate of: " << knownFormat.version;
    } else if (policy == ReplaceKnown || (policy == KeepGreaterVersion && knownIsOlder)) {
        PLUGIN_LOG(warning) << "replace module: " << knownFormat.type
                            << " version: " << knownFormat.version << " "
                            << "as obsolete by: " << readFormat.version;
        known = read;
    } else if (policy == KeepGreaterVersion && readFormat.version < knownFormat.version) {
        PLUGIN_LOG(warning) << "ignore module: " << readFormat.type
                            << " version: " << readFormat.version << " "
                            << "as obsolete";
    } else if (policy == KeepGreaterVersion) {
        PLUGIN_LOG(warning) << "skip module: " << readFormat.type
                            << " version: " << readFormat.version << " "
                            << "as equivalent";
    }
}

}  // namespace

ModuleLoader::ModuleLoader(const std::string& iid, const QString& modulesDir, int duplicatePolicy,
                           QObject* parent)
    : QObject(parent) {
    readModules(findEntries(iid, modulesDir), duplicatePolicy);
    removeConflicted();
}

ModuleLoader::~ModuleLoader() {
    for (auto& [type, entry] : table_) {
        if (entry.loader && entry.loader->isLoaded()) entry.loader->unload();
    }
}

QStringList ModuleLoader::findEntries(const std::string& iid, const QString& directory) {
    PLUGIN_LOG(info) << "find entries in: " << directory.toStdString() << " by iid: " << iid
                     << " ...";
    QStringList candidates;
    QSet<QString> visited;
    collectCandidates(directory, candidates, visited);

    QStringList entries;
    for (const QString& candidate : candidates) {
        const QString path = QFileInfo(candidate).absoluteFilePath();
        if (!QLibrary::isLibrary(path)) continue;
        // Reads the metadata section without loading the library.
        const QJsonObject metaData = QPluginLoader(path).metaData();
        if (metaData.isEmpty()) continue;
        if (metaData.value(QStringLiteral("IID")).toString().toStdString() != iid) continue;
        PLUGIN_LOG(info) << "found entry: " << candidate.toStdString();
        entries.append(path);
    }
    return entries;
}

void ModuleLoader::readModules(const QStringList& paths, int duplicatePolicy) {
    PLUGIN_LOG(info) << "read entries ...";
    for (const QString& path : paths) readModule(path, duplicatePolicy);
}

void ModuleLoader::readModule(const QString& path, int duplicatePolicy) {
    // Stays a child even when its plug-in is skipped; it is then never loaded.
    auto* loader = new QPluginLoader(path, this);
    try {
        const QJsonObject metaData =
            loader->metaData().value(QStringLiteral("MetaData")).toObject();
        const std::string text =
            QJsonDocument(metaData).toJson(QJsonDocument::Compact).toStdString();
        const ModuleEntry read{
            boost::make_shared<format::Config>(json_dto::from_json<format::Config>(text)), nullptr,
            loader};
        const std::string& type = read.config->format.type;
        const auto known = table_.find(type);
        if (known == table_.end()) {
            PLUGIN_LOG(info) << "read module: " << type
                             << ", version: " << read.config->format.version;
            table_.emplace(type, read);
        } else {
            applyDuplicatePolicy(known->second, read, duplicatePolicy);
        }
    } catch (const std::exception& error) {
        PLUGIN_LOG(error) << "read module from entry: " << QFileInfo(path).fileName().toStdString()
                          << " failed: " << error.what();
    }
}

void ModuleLoader::removeConflicted() {
    // Removals do not cascade: every module is checked against the types read.
    std::set<std::string> available;
    for (const auto& [type, entry] : table_) available.insert(type);

    for (auto& [type, entry] : table_) {
        const auto dependencies = dependencyTypes(*entry.config);
        std::vector<std::string> missing;
        std::set_difference(dependencies.begin(), dependencies.end(), available.begin(),
                            available.end(), std::back_inserter(missing));
        if (missing.empty()) continue;
        if (entry.loader) entry.loader->deleteLater();
        entry.loader = nullptr;
        PLUGIN_LOG(error) << "remove module: " << type
                          << " as conflicted, missed dependencies: " << joined(missing);
    }
}

void ModuleLoader::load(const format::ConfigPtr& config) {
    if (!config) return;
    std::set<std::string> requested = dependencyTypes(*config);
    requested.insert(config->format.type);

    // One level only: a dependency's own dependencies are not followed.
    std::set<std::string> toLoad;
    for (const auto& type : requested) {
        const auto found = table_.find(type);
        if (found == table_.end()) continue;
        toLoad.insert(type);
        const auto dependencies = dependencyTypes(*found->second.config);
        toLoad.insert(dependencies.begin(), dependencies.end());
    }

    for (const auto& type : toLoad) {
        int state = NotFound;
        const auto found = table_.find(type);
        if (found != table_.end() && found->second.loader) {
            QPluginLoader* loader = found->second.loader;
            state = loader->isLoaded() || loader->load() ? Loaded : LoadFailed;
        }
        PLUGIN_LOG(info) << "load module: " << type << ", state: " << moduleStateName(state);
    }
}

}  // namespace zorva::plugin
