#include "gui_registry.h"

#include "path_registry.h"

#include <boost/make_shared.hpp>

namespace zorva::plugin::ui {
namespace {

const BrandingTexts& zorvaTexts() {
    static const BrandingTexts texts{
        "ZorvaPlugin",
        ":/zorva_plugin/style.css",
        "zorva.plugin",
        "Введите ПИН пользователя от токена \n%1%",
        "%1% • S/N %2%",
        "Запомнить ПИН на сеанс работы с этим токеном",
        "Создание электронной подписи",
        "Электронная подпись создана",
        ":/zorva_plugin/",
        {{"xmldsig", "XMLDSig"}, {"attached", "присоединенная"}, {"detached", "отсоединенная"}}};
    return texts;
}

const BrandingTexts& civaraTexts() {
    static const BrandingTexts texts{"Циваплагин",
                                     ":/civara_plugin/style.css",
                                     "civara.plugin",
                                     "Введите ПИН-код от токена \n%1%",
                                     "%1% (S/N %2%)",
                                     "Запомнить на этот сеанс работы с токеном",
                                     "Идет подписание файлов...",
                                     "Файлы подписаны",
                                     ":/civara_plugin/",
                                     {{"xmldsig", "XMLDSig подпись"},
                                      {"attached", "Присоединенная подпись"},
                                      {"detached", "Отсоединенная подпись"}}};
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

std::string TextBranding::applicationName() const { return texts_.applicationName; }
std::string TextBranding::styleResource() const { return texts_.styleResource; }
std::string TextBranding::category() const { return texts_.category; }
std::string TextBranding::pinPromptTemplate() const { return texts_.pinPromptTemplate; }
std::string TextBranding::tokenLabelTemplate() const { return texts_.tokenLabelTemplate; }
std::string TextBranding::rememberPinText() const { return texts_.rememberPinText; }
std::string TextBranding::signingTitle() const { return texts_.signingTitle; }
std::string TextBranding::signedTitle() const { return texts_.signedTitle; }

std::string TextBranding::resourcePath(const std::string& name) const {
    return texts_.resourcePrefix + name;
}

std::string TextBranding::signatureTypeName(const std::string& key) const {
    const auto found = texts_.signatureTypeNames.find(key);
    return found != texts_.signatureTypeNames.end() ? found->second : std::string();
}

ZorvaPluginGuiRegistryImpl::ZorvaPluginGuiRegistryImpl() : TextBranding(zorvaTexts()) {}

CivaraPluginGuiRegistryImpl::CivaraPluginGuiRegistryImpl() : TextBranding(civaraTexts()) {}

}  // namespace zorva::plugin::ui
