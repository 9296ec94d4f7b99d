#include "long_term_settings.h"

#include "exception.h"

#include <algorithm>
#include <optional>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

[[noreturn]] void fail(ApplicationCode code, const std::string& reason) {
    PLUGIN_THROW(plugin::exception::ApplicationException(code)
                     << plugin::exception::Message_(reason),
                 "tsa");
}

std::optional<int> seconds(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(text);
    return value >= 1 && value <= 300 ? std::optional(value) : std::nullopt;
}

}  // namespace

std::string LongTermSettings::tsaFor(const std::string& requested) const {
    if (tsaUrls.empty())
        fail(ApplicationCode::NotImplemented, "no time-stamp authority is configured");
    if (requested.empty()) return tsaUrls.front();
    if (std::find(tsaUrls.begin(), tsaUrls.end(), requested) == tsaUrls.end())
        fail(ApplicationCode::RequestFormat,
             "the time-stamp authority \"" + requested + "\" is not configured");
    return requested;
}

LongTermSettings longTermSettings(const std::vector<std::pair<std::string, std::string>>& meta) {
    LongTermSettings settings;
    for (const auto& [category, data] : meta) {
        if (category == "tsa")
            settings.tsaUrls.push_back(data);
        else if (category == "trustStore" && settings.trustStore.empty())
            settings.trustStore = data;
        else if (category == "tsaTrustStore" && settings.tsaTrustStore.empty())
            settings.tsaTrustStore = data;
        else if (category == "revocationFetch")
            settings.revocationFetch = data == "true";
        else if (category == "networkTimeout")
            if (const auto value = seconds(data))
                settings.limits.timeout = std::chrono::seconds(*value);
    }
    return settings;
}

}  // namespace zorva::plugin::crypto
