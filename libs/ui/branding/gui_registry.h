#pragma once

#include <boost/shared_ptr.hpp>

#include <map>
#include <string>

namespace zorva::plugin::ui {

// Everything the user sees that differs between the brandings. The branding
// is chosen once per process by the category of the current configuration,
// so a user configuration made from one branding's default keeps it.
class GuiRegistry {
public:
    // The order of the operations is part of the modules' contract: the
    // signing and PIN dialogs of modules call them through this table.
    struct Impl {
        virtual ~Impl() = default;
        virtual std::string applicationName() const = 0;
        virtual std::string styleResource() const = 0;
        virtual std::string category() const = 0;
        // "%1%" stands for the token label.
        virtual std::string pinPromptTemplate() const = 0;
        // "%1%" stands for the token name, "%2%" for its serial number.
        virtual std::string tokenLabelTemplate() const = 0;
        virtual std::string rememberPinText() const = 0;
        virtual std::string signingTitle() const = 0;
        virtual std::string signedTitle() const = 0;
        // The branding's resource prefix followed by name, unchanged.
        virtual std::string resourcePath(const std::string& name) const = 0;
        // Empty text for an unknown key.
        virtual std::string signatureTypeName(const std::string& key) const = 0;
    };
    using ImplPtr = boost::shared_ptr<const Impl>;
    using Implementations = std::map<std::string, ImplPtr>;

    // The registry of this process, selected by the current configuration's
    // category on first use. A failed first use leaves no registry behind.
    static const GuiRegistry& instance();

    // Selects by key, or by the current configuration's category when the
    // key is empty. An unknown key selects the default branding.
    explicit GuiRegistry(const std::string& key = std::string());

    const Impl& impl() const { return *selected_; }
    const Implementations& implementations() const { return implementations_; }

private:
    Implementations implementations_;
    ImplPtr selected_;
};

// The texts of one branding. Those the user reads are English and shown
// through the translation context named first.
struct BrandingTexts {
    std::string context;
    std::string applicationName;
    std::string styleResource;
    std::string category;
    std::string pinPromptTemplate;
    std::string tokenLabelTemplate;
    std::string rememberPinText;
    std::string signingTitle;
    std::string signedTitle;
    std::string resourcePrefix;
    std::map<std::string, std::string> signatureTypeNames;
};

// The brandings differ only in their texts.
class TextBranding : public GuiRegistry::Impl {
public:
    std::string applicationName() const override;
    std::string styleResource() const override;
    std::string category() const override;
    std::string pinPromptTemplate() const override;
    std::string tokenLabelTemplate() const override;
    std::string rememberPinText() const override;
    std::string signingTitle() const override;
    std::string signedTitle() const override;
    std::string resourcePath(const std::string& name) const override;
    std::string signatureTypeName(const std::string& key) const override;

protected:
    explicit TextBranding(const BrandingTexts& texts) : texts_(texts) {}

private:
    // In the user's language.
    std::string shown(const std::string& text) const;

    const BrandingTexts& texts_;
};

// The default branding, category "zorva.plugin".
class ZorvaPluginGuiRegistryImpl : public TextBranding {
public:
    ZorvaPluginGuiRegistryImpl();
};

// The second branding, category "civara.plugin".
class CivaraPluginGuiRegistryImpl : public TextBranding {
public:
    CivaraPluginGuiRegistryImpl();
};

}  // namespace zorva::plugin::ui
