#include "session.h"

#include "built_in_tables.h"
#include "exception.h"
#include "file_info.h"
#include "ihandler.h"
#include "iprotocol.h"
#include "logging.h"
#include "module.h"
#include "module_loader.h"
#include "origin_approvals.h"
#include "path_registry.h"
#include "request_origin.h"

#include <QApplication>
#include <QCoreApplication>

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include <atomic>
#include <optional>
#include <set>
#include <stdexcept>

namespace zorva::plugin {
namespace {

namespace paths = path_registry;

constexpr const char* approvalsFileName = "permissions.json";

// Written by init on the main thread before any reader starts; later only
// when no protocol had been found.
std::atomic<module::IProtocol*> selectedProtocol{nullptr};

// The host configuration supplies per-module settings (the WebSocket endpoint,
// for one) through the meta list of the dependency entry of the module's type.
void handOverMeta(const format::Config& host, format::Config& module) {
    for (const auto& dependency : host.dependencies) {
        if (dependency.format.type != module.format.type) continue;
        module.meta = dependency.meta;
        return;
    }
}

// The type that the first "protocol" entry of the host's meta names, if any.
std::optional<std::string> wantedProtocol(const format::MetaSet& meta) {
    for (const auto& entry : meta) {
        if (entry.format.category != "protocol") continue;
        PLUGIN_LOG(info) << "session: set meta protocol: " << entry.format.type;
        return entry.format.type;
    }
    return std::nullopt;
}

FileInfo checkedStyle(const FileInfo& style) {
    PLUGIN_LOG(info) << "session: set style";
    boost::system::error_code ignored;
    if (style.content.empty() && !boost::filesystem::exists(style.path, ignored))
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::FileNotFound),
                     "init");
    if (!style.content.empty() && style.path.empty())
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::FileIdMissing),
                     "init");
    return style;
}

// None when the style file cannot be resolved: the current style then stays.
std::optional<FileInfo> currentStyle() {
    PLUGIN_LOG(info) << "session: reset style";
    try {
        PLUGIN_LOG(info) << "session: reset user style file: " << paths::userStyleFile().string()
                         << " from default style file: " << paths::defaultStyleFile().string();
        FileInfo current;
        current.path = paths::currentStyleFile().string();
        return current;
    } catch (const std::exception& error) {
        PLUGIN_LOG(warning) << "session: reset style file failed: " << error.what();
        return std::nullopt;
    }
}

// An empty style file is an empty style sheet, not missing data.
std::string styleText(const FileInfo& style) {
    if (!style.content.empty()) return style.content;
    return fileSize(style.path, style.content) == 0 ? std::string() : rawBytes(style);
}

// The interfaces that the bound modules offer; modules without one are left
// out, so the set never holds an empty entry.
template <class Interface>
std::set<Interface*> interfacesOf(const ModuleLoader::Table& table,
                                  Interface* (module::Module::*accessor)()) {
    std::set<Interface*> found;
    for (const auto& [type, entry] : table)
        if (Interface* offered = entry.module ? (entry.module->*accessor)() : nullptr)
            found.insert(offered);
    return found;
}

// Every "protocol.origins" entry of the configuration, whichever module's.
std::vector<module::OriginAllowlist> administratorLists(const format::Config& config) {
    std::vector<module::OriginAllowlist> lists;
    for (const auto& dependency : config.dependencies)
        if (auto list = module::OriginAllowlist::fromMeta(dependency.meta))
            lists.push_back(std::move(*list));
    return lists;
}

bool asksForVersionOnly(const format::Message& request) {
    return request.module.type == "system" && request.method.type == "version";
}

void applyStyleSheet(const FileInfo& style) {
    // Without an application object (a module test, a command-line request)
    // there is nothing to style.
    if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance()))
        application->setStyleSheet(QString::fromStdString(styleText(style)));
}

}  // namespace

Session::Session()
    : loader_(std::make_unique<ModuleLoader>(builtInCoreConfig().format.category,
                                             QString::fromStdString(paths::modulesDir().string()),
                                             KeepFirst)) {}

Session::~Session() = default;

boost::shared_ptr<Session> Session::instance() {
    // Never released before exit: modules and message handlers keep weak
    // references to it.
    static const boost::shared_ptr<Session> session(new Session);
    return session;
}

void Session::init(const format::ConfigPtr& config) {
    config_ = config;
    if (!config_) return;
    approvals_ = std::make_unique<OriginApprovals>(paths::dataDir() / approvalsFileName,
                                                   administratorLists(*config_));
    loader_->load(config_);
    bindModules();
    announceProtocol();
    if (handlers().empty()) PLUGIN_THROW(std::logic_error("session: no handler found"), "init");

    auto style = boost::make_shared<FileInfo>();
    style->path = paths::currentStyleFile().string();
    setStyle(style);
}

void Session::bindModules() {
    // Without an owning shared pointer this raises boost::bad_weak_ptr.
    const boost::shared_ptr<Session> self = shared_from_this();
    for (auto& [type, entry] : loader_->table()) {
        QObject* root =
            entry.loader && entry.loader->isLoaded() ? entry.loader->instance() : nullptr;
        if (!root) continue;
        handOverMeta(*config_, *entry.config);
        auto& module = dynamic_cast<module::Module&>(*root);
        module.init(self, entry.config);
        entry.module = &module;
    }
}

void Session::announceProtocol() {
    module::IProtocol* protocol = selectedProtocol.load();
    if (!protocol) selectedProtocol = protocol = selectProtocol();
    const std::string name = protocol ? protocol->name() : "[]";
    const auto protocolCount = protocols().size();
    if (protocolCount == 0) PLUGIN_THROW(std::logic_error("session: no protocol found"), "init");
    if (protocolCount == 1)
        PLUGIN_LOG(info) << "session: set protocol: " << name;
    else
        PLUGIN_LOG(warning) << "session: multi protocols found, set default: " << name;
}

void Session::setStyle(const FileInfoPtr& style) {
    if (style)
        style_ = checkedStyle(*style);
    else if (auto current = currentStyle())
        style_ = *current;
    applyStyleSheet(style_);
}

module::IProtocol* Session::protocolModule() {
    if (module::IProtocol* protocol = selectedProtocol.load()) return protocol;
    if (!config_) return nullptr;
    module::IProtocol* protocol = selectProtocol();
    selectedProtocol = protocol;
    return protocol;
}

Session::ProtocolSet Session::protocols() const {
    return interfacesOf(loader_->table(), &module::Module::protocol);
}

Session::HandlerSet Session::handlers() const {
    return interfacesOf(loader_->table(), &module::Module::handler);
}

Session::ModuleVersions Session::moduleVersions() const {
    ModuleVersions versions;
    for (const auto& [type, entry] : loader_->table())
        if (entry.loader && entry.loader->isLoaded()) versions[type] = entry.config->format.version;
    return versions;
}

const ModuleLoader& Session::moduleLoader() const { return *loader_; }

void Session::admit(const format::Message& request) {
    const std::string origin = format::originOf(request);
    if (origin.empty() || asksForVersionOnly(request)) return;
    if (approvals().admits(origin)) return;
    PLUGIN_LOG(warning) << "session: origin refused: \"" << origin << '"';
    PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::SiteNotApproved)
                     << exception::Module_(request.module.type)
                     << exception::Method_(request.method.type),
                 "admit");
}

bool Session::isApproved(const std::string& origin) {
    return origin.empty() || approvals().isApproved(origin);
}

OriginApprovals& Session::approvals() {
    if (!approvals_) PLUGIN_THROW(std::logic_error("session: not initialised"), "approvals");
    return *approvals_;
}

module::IProtocol* Session::selectProtocol() const {
    PLUGIN_LOG(info) << "session: parse meta: " << json_dto::to_json(config_->meta);
    const auto wanted = wantedProtocol(config_->meta);
    for (module::IProtocol* protocol : protocols())
        if (!wanted || protocol->name() == *wanted) return protocol;
    return nullptr;
}

}  // namespace zorva::plugin
