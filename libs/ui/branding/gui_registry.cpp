#include "gui_registry.h"

#include "path_registry.h"

#include <QCoreApplication>

#include <boost/make_shared.hpp>

namespace zorva::plugin::ui {
namespace {

// The texts are written in English and shown in the user's language: each
// branding translates its own, in a context named after it.
const BrandingTexts& zorvaTexts() {
    static const BrandingTexts texts{
        "ZorvaPluginGuiRegistryImpl",
        QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "ZorvaPlugin"),
        ":/zorva_plugin/style.css",
        "zorva.plugin",
        QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "Enter the user PIN of the token \n%1%"),
        "%1% • S/N %2%",
        QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl",
                          "Remember the PIN for this session with the token"),
        QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "Creating an electronic signature"),
        QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "Electronic signature created"),
        ":/zorva_plugin/",
        {{"xmldsig", QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "XMLDSig")},
         {"attached", QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "attached")},
         {"detached", QT_TRANSLATE_NOOP("ZorvaPluginGuiRegistryImpl", "detached")}}};
    return texts;
}

const BrandingTexts& civaraTexts() {
    static const BrandingTexts texts{
        "CivaraPluginGuiRegistryImpl",
        QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "CivaraPlugin"),
        ":/civara_plugin/style.css",
        "civara.plugin",
        QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "Enter the token PIN \n%1%"),
        "%1% (S/N %2%)",
        QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl",
                          "Remember for this session with the token"),
        QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "Signing the files..."),
        QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "The files are signed"),
        ":/civara_plugin/",
        {{"xmldsig", QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "XMLDSig signature")},
         {"attached", QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "Attached signature")},
         {"detached", QT_TRANSLATE_NOOP("CivaraPluginGuiRegistryImpl", "Detached signature")}}};
    return texts;
}

}  // namespace

const GuiRegistry& GuiRegistry::instance() {
    static const GuiRegistry registry;
    return registry;
}

GuiRegistry::GuiRegistry(const std::string& key)
    : implementations_{{"zorva.plugin", boost::make_shared<ZorvaPluginGuiRegistryImpl>()},
                       {"civara.plugin", boost::make_shared<CivaraPluginGuiRegistryImpl>()}} {
    const std::string selection = key.empty() ? path_registry::currentConfigCategory() : key;
    const auto found = implementations_.find(selection);
    selected_ = found != implementations_.end() ? found->second
                                                : boost::make_shared<ZorvaPluginGuiRegistryImpl>();
}

std::string TextBranding::shown(const std::string& text) const {
    return QCoreApplication::translate(texts_.context.c_str(), text.c_str()).toStdString();
}

std::string TextBranding::applicationName() const { return shown(texts_.applicationName); }
std::string TextBranding::styleResource() const { return texts_.styleResource; }
std::string TextBranding::category() const { return texts_.category; }
std::string TextBranding::pinPromptTemplate() const { return shown(texts_.pinPromptTemplate); }
std::string TextBranding::tokenLabelTemplate() const { return texts_.tokenLabelTemplate; }
std::string TextBranding::rememberPinText() const { return shown(texts_.rememberPinText); }
std::string TextBranding::signingTitle() const { return shown(texts_.signingTitle); }
std::string TextBranding::signedTitle() const { return shown(texts_.signedTitle); }

std::string TextBranding::resourcePath(const std::string& name) const {
    return texts_.resourcePrefix + name;
}

std::string TextBranding::signatureTypeName(const std::string& key) const {
    const auto found = texts_.signatureTypeNames.find(key);
    return found != texts_.signatureTypeNames.end() ? shown(found->second) : std::string();
}

ZorvaPluginGuiRegistryImpl::ZorvaPluginGuiRegistryImpl() : TextBranding(zorvaTexts()) {}

CivaraPluginGuiRegistryImpl::CivaraPluginGuiRegistryImpl() : TextBranding(civaraTexts()) {}

}  // namespace zorva::plugin::ui
