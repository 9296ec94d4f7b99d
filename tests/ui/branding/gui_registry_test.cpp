#include "gui_registry.h"

#include "qt_application.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using zorva::plugin::ui::GuiRegistry;

struct Selection {
    std::string name;
    std::string key;
    std::string applicationName;
};

class GuiRegistrySelection : public testing::TestWithParam<Selection> {};

TEST_P(GuiRegistrySelection, KeySelectsBranding) {
    const GuiRegistry registry(GetParam().key);

    EXPECT_EQ(registry.impl().applicationName(), GetParam().applicationName);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, GuiRegistrySelection,
    testing::Values(Selection{"Default", "zorva.plugin", "ZorvaPlugin"},
                    Selection{"Second", "civara.plugin", "CivaraPlugin"},
                    Selection{"OtherCaseGivesDefault", "Civara.Plugin", "ZorvaPlugin"},
                    Selection{"UnknownGivesDefault", "other.plugin", "ZorvaPlugin"}),
    [](const auto& info) { return info.param.name; });

TEST(GuiRegistry, SecondBrandingResourcesHaveItsPrefix) {
    const GuiRegistry registry("civara.plugin");
    const auto& civara = registry.impl();

    EXPECT_EQ(civara.resourcePath("logo_16x16.png"), ":/civara_plugin/logo_16x16.png");
    EXPECT_EQ(civara.resourcePath(""), ":/civara_plugin/");
}

TEST(GuiRegistry, SignatureTypeKeysMatchExactly) {
    const GuiRegistry registry("zorva.plugin");
    const auto& zorva = registry.impl();
    const auto& civara = *registry.implementations().at("civara.plugin");

    EXPECT_EQ(zorva.signatureTypeName("xmldsig"), "XMLDSig");
    EXPECT_EQ(civara.signatureTypeName("detached"), "Detached signature");
    EXPECT_EQ(zorva.signatureTypeName("XMLDSIG"), "");
}

// The described Russian texts are the translation the program ships.
TEST(GuiRegistry, RussianTranslationGivesTheBrandingsTexts) {
    ensureApplication<QCoreApplication>();
    QTranslator russian;
    ASSERT_TRUE(russian.load(LOCALIZATION_FILE));
    ASSERT_TRUE(QCoreApplication::installTranslator(&russian));
    const GuiRegistry registry("zorva.plugin");
    const auto& zorva = registry.impl();
    const auto& civara = *registry.implementations().at("civara.plugin");
    const std::vector<std::pair<std::string, std::string>> texts{
        {zorva.applicationName(), "ZorvaPlugin"},
        {zorva.pinPromptTemplate(), "Введите ПИН пользователя от токена \n%1%"},
        {zorva.tokenLabelTemplate(), "%1% • S/N %2%"},
        {zorva.rememberPinText(), "Запомнить ПИН на сеанс работы с этим токеном"},
        {zorva.signingTitle(), "Создание электронной подписи"},
        {zorva.signedTitle(), "Электронная подпись создана"},
        {zorva.signatureTypeName("xmldsig"), "XMLDSig"},
        {zorva.signatureTypeName("attached"), "присоединенная"},
        {zorva.signatureTypeName("detached"), "отсоединенная"},
        {civara.applicationName(), "Циваплагин"},
        {civara.pinPromptTemplate(), "Введите ПИН-код от токена \n%1%"},
        {civara.tokenLabelTemplate(), "%1% (S/N %2%)"},
        {civara.rememberPinText(), "Запомнить на этот сеанс работы с токеном"},
        {civara.signingTitle(), "Идет подписание файлов..."},
        {civara.signedTitle(), "Файлы подписаны"},
        {civara.signatureTypeName("xmldsig"), "XMLDSig подпись"},
        {civara.signatureTypeName("attached"), "Присоединенная подпись"},
        {civara.signatureTypeName("detached"), "Отсоединенная подпись"},
        {civara.signatureTypeName("XMLDSIG"), ""}};

    for (const auto& [shown, described] : texts) EXPECT_EQ(shown, described);
    QCoreApplication::removeTranslator(&russian);
}

TEST(GuiRegistry, EveryBrandingShipsItsStyleWithItsIdentifierFirst) {
    const std::map<std::string, std::string> identifiers{
        {"zorva.plugin", "/*7954BEB1-BF85-4023-AEA5-E28A05C34A5D*/"},
        {"civara.plugin", "/*8D55BEB1-BF85-4023-AEA8-E28A05C34C5D*/"}};
    const GuiRegistry registry("zorva.plugin");
    for (const auto& [category, branding] : registry.implementations()) {
        QFile style(QString::fromStdString(branding->styleResource()));
        ASSERT_TRUE(style.open(QIODevice::ReadOnly)) << category;
        EXPECT_EQ(style.readLine().trimmed().toStdString(), identifiers.at(category));
        EXPECT_EQ(branding->category(), category);
    }
}

TEST(GuiRegistry, EveryBrandingShipsItsPictures) {
    const GuiRegistry registry("zorva.plugin");
    for (const auto& [category, branding] : registry.implementations())
        for (const char* name : {"icon.ico", "logo_16x16.png", "logo_32x32.png", "logo_64x64.png",
                                 "logo_128x128.png", "loader.gif", "config.json"})
            EXPECT_TRUE(QFile::exists(QString::fromStdString(branding->resourcePath(name))))
                << category << " " << name;
}

}  // namespace
