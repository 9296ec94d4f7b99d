#include "origin_allowlist.h"

#include <algorithm>
#include <cctype>

namespace zorva::plugin::module {

namespace {

const std::string anyPortSuffix = ":*";
constexpr std::size_t maxPortDigits = 5;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> words(const std::string& data) {
    std::vector<std::string> found;
    std::string word;
    for (const char c : data + ' ') {
        if (c != ',' && !std::isspace(static_cast<unsigned char>(c))) {
            word += c;
        } else if (!word.empty()) {
            found.push_back(lowercase(word));
            word.clear();
        }
    }
    return found;
}

// The origin is the prefix itself (default port) or the prefix, a colon and a port.
bool hasAnyPort(const std::string& origin, const std::string& prefix) {
    if (origin.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string rest = origin.substr(prefix.size());
    if (rest.empty()) return true;
    const std::string digits = rest.substr(1);
    return rest[0] == ':' && !digits.empty() && digits.size() <= maxPortDigits &&
           std::all_of(digits.begin(), digits.end(),
                       [](unsigned char c) { return std::isdigit(c); });
}

bool matches(const std::string& listed, const std::string& origin) {
    const std::size_t prefixSize = listed.size() - std::min(listed.size(), anyPortSuffix.size());
    if (listed.compare(prefixSize, std::string::npos, anyPortSuffix) != 0) return listed == origin;
    return hasAnyPort(origin, listed.substr(0, prefixSize));
}

}  // namespace

const format::Format& OriginAllowlist::entryFormat() {
    static const format::Format format = [] {
        format::Format entry;
        entry.type = "ws";
        entry.category = "protocol.origins";
        return entry;
    }();
    return format;
}

bool OriginAllowlist::isEntry(const format::Config::Meta& meta) {
    return meta.format.type == entryFormat().type && meta.format.category == entryFormat().category;
}

std::optional<OriginAllowlist> OriginAllowlist::fromMeta(const format::MetaSet& meta) {
    const auto entry = std::find_if(meta.begin(), meta.end(), isEntry);
    if (entry == meta.end()) return std::nullopt;
    return OriginAllowlist(entry->data);
}

OriginAllowlist::OriginAllowlist(const std::string& data) : origins_(words(data)) {}

bool OriginAllowlist::allows(const std::string& origin) const {
    const std::string wanted = lowercase(origin);
    return std::any_of(origins_.begin(), origins_.end(),
                       [&](const std::string& listed) { return matches(listed, wanted); });
}

std::string OriginAllowlist::text() const {
    std::string joined;
    for (const auto& origin : origins_) joined += (joined.empty() ? "" : " ") + origin;
    return joined;
}

}  // namespace zorva::plugin::module
