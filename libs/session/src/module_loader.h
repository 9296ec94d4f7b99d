#pragma once

#include "config.h"
#include "module.h"

#include <QObject>
#include <QPluginLoader>
#include <QString>
#include <QStringList>

#include <map>
#include <string>

namespace zorva::plugin {

// One module type of the table.
struct ModuleEntry {
    format::ConfigPtr config;
    module::Module* module = nullptr;  // bound by the session; not owned
    QPluginLoader* loader = nullptr;   // child of the ModuleLoader; null once removed
};

// What happens when a second plug-in of an already known type is read. Any
// other code keeps the known one silently.
enum DuplicatePolicy { KeepFirst = 0, ReplaceKnown = 1, KeepGreaterVersion = 2 };

// Finds the module plug-ins of the host, reads their metadata without loading
// them and later loads the libraries a configuration asks for. Runs on the
// thread that owns the session.
class ModuleLoader : public QObject {
    Q_OBJECT

public:
    // Ordered by type, compared byte-wise.
    using Table = std::map<std::string, ModuleEntry>;

    // Lists, reads and checks the plug-ins of modulesDir. A bad plug-in file
    // is logged and skipped; nothing is thrown for it.
    ModuleLoader(const std::string& iid, const QString& modulesDir, int duplicatePolicy,
                 QObject* parent = nullptr);
    // Unloads every loaded plug-in, which destroys its root object.
    ~ModuleLoader() override;

    // Loads the plug-ins of the configuration's type and dependencies, and
    // their direct dependencies; logs the state of each.
    void load(const format::ConfigPtr& config);

    Table& table() { return table_; }
    const Table& table() const { return table_; }

    // Absolute paths of the "lib*.so" files below directory whose Qt plug-in
    // IID equals iid, root directory first, then subdirectories depth first.
    static QStringList findEntries(const std::string& iid, const QString& directory);

private:
    void readModules(const QStringList& paths, int duplicatePolicy);
    void readModule(const QString& path, int duplicatePolicy);
    void removeConflicted();

    Table table_;
};

}  // namespace zorva::plugin
