#include "environment.h"

#include "gui_registry.h"
#include "host_config.h"
#include "logging.h"
#include "path_registry.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLocale>
#include <QStringList>

#include <boost/filesystem/operations.hpp>

#include <fstream>

namespace zorva::plugin {
namespace {

namespace fs = boost::filesystem;

fs::path temporaryBeside(const fs::path& target) {
    return target.parent_path() / fs::unique_path(target.filename().string() + ".%%%%-%%%%.tmp");
}

// Files are written beside their target and renamed over it, so a crash
// never leaves a truncated configuration behind.
void copyReplacing(const fs::path& from, const fs::path& to) {
    const fs::path temporary = temporaryBeside(to);
    try {
        fs::copy_file(from, temporary);
        fs::rename(temporary, to);
    } catch (...) {
        boost::system::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
}

// A resource that cannot be opened leaves no file at all.
void writeResource(const std::string& resource, const fs::path& to) {
    fs::remove(to);
    QFile file(QString::fromStdString(resource));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray content = file.readAll();
    const fs::path temporary = temporaryBeside(to);
    std::ofstream output(temporary.string(), std::ios::binary | std::ios::trunc);
    output.write(content.constData(), content.size());
    output.close();
    if (!output) {
        boost::system::error_code ignored;
        fs::remove(temporary, ignored);
        throw fs::filesystem_error(
            "write", temporary,
            boost::system::errc::make_error_code(boost::system::errc::io_error));
    }
    fs::rename(temporary, to);
}

void resetConfigFiles(const fs::path& given) {
    const fs::path user = path_registry::userConfigFile();
    const fs::path defaults = path_registry::defaultConfigFile();
    if (!given.empty()) {
        copyReplacing(given, user);
        copyReplacing(given, defaults);
        PLUGIN_LOG(info) << "reset user config file: " << user
                         << " from default config file: " << defaults;
        return;
    }
    const std::string resource = path_registry::defaultConfigResource();
    PLUGIN_LOG(info) << "reset config file from resource: " << fs::path(resource);
    writeResource(resource, user);
    copyReplacing(user, defaults);
}

void resetStyleFiles() {
    const fs::path user = path_registry::userStyleFile();
    const fs::path defaults = path_registry::defaultStyleFile();
    writeResource(ui::GuiRegistry::instance().impl().styleResource(), user);
    copyReplacing(user, defaults);
    PLUGIN_LOG(info) << "reset user style file: " << user
                     << " from default style file: " << defaults;
}

// Only a development tree has a localization to install.
void resetLocalization() {
    const fs::path development = path_registry::devLocalizationFile();
    if (fs::exists(development)) {
        const fs::path target = path_registry::localizationFile();
        copyReplacing(development, target);
        PLUGIN_LOG(info) << "reset user localization file: " << target
                         << " from default localization file: " << development;
    }
    if (fs::exists(development.parent_path()))
        copyReplacing(development.parent_path() / "localization.qm",
                      path_registry::thisDir() / "localization.qm");
}

// The language the user reads first: LANGUAGE, else LC_ALL, LC_MESSAGES
// and LANG, as Qt reads them.
bool isUserLanguage(const QString& language) {
    const QStringList wanted = QLocale::system().uiLanguages();
    return !wanted.isEmpty() && QLocale(wanted.first()).language() == QLocale(language).language();
}

void copyTokenLibraries() {
    const fs::path programDir = path_registry::thisDir();
    for (const auto resourceDir :
         {&path_registry::rutokenResourceDir, &path_registry::jacartaResourceDir,
          &path_registry::esmartResourceDir}) {
        const fs::path source = resourceDir();
        PLUGIN_LOG(info) << "copy token libs to: " << programDir
                         << " from token resource dir: " << source;
        for (const auto& entry : fs::directory_iterator(source))
            fs::copy_file(entry.path(), programDir / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
    }
}

}  // namespace

void configureEnvironment(const std::string& configPath) {
    const fs::path given = configPath;
    PLUGIN_LOG(info) << "process program option: config " << given;
    if (!given.empty() && !host_config::loadConfig(given)) return;
    resetConfigFiles(given);
    resetStyleFiles();
    resetLocalization();
    copyTokenLibraries();
}

void registerFonts() {
    const char* const fonts[] = {":/font/Segoe UI.ttf",       ":/font/RobotoMono-Regular.ttf",
                                 ":/font/roboto-regular.ttf", ":/font/Roboto-Bold.woff2",
                                 ":/font/Lato-Regular.ttf",   ":/font/Lato-Bold.ttf"};
    for (const char* font : fonts) QFontDatabase::addApplicationFont(font);
}

std::unique_ptr<QTranslator> installTranslator() {
    auto translator = std::make_unique<QTranslator>();
    const auto file = path_registry::thisDir() / "localization.qm";
    if (!translator->load(QString::fromStdString(file.string()))) {
        PLUGIN_LOG(warning) << "translator: load failed";
        return translator;
    }
    const QString language = translator->language();
    if (!isUserLanguage(language)) {
        PLUGIN_LOG(info) << "translator: the windows stay in English, the user's language is not "
                         << language.toStdString();
        return translator;
    }
    if (!QCoreApplication::installTranslator(translator.get())) {
        PLUGIN_LOG(warning) << "translator: install failed";
        return translator;
    }
    // Numbers in the windows are written as the language writes them.
    QLocale::setDefault(QLocale(language));
    return translator;
}

}  // namespace zorva::plugin
