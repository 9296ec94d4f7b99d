#include "site_name.h"

#include <libpsl.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zorva::plugin {
namespace {

// "scheme://host[:port]": the host, lower case; empty when there is none.
std::string hostOf(std::string_view origin) {
    const auto schemeEnd = origin.find("://");
    if (schemeEnd == std::string_view::npos) return {};
    const std::string_view rest = origin.substr(schemeEnd + 3);
    const bool bracketed = !rest.empty() && rest.front() == '[';
    const auto hostEnd = bracketed ? rest.find(']') : rest.find_first_of(":/");
    if (bracketed && hostEnd == std::string_view::npos) return {};
    std::string host(rest.substr(0, bracketed ? hostEnd + 1 : hostEnd));
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

bool isAddress(const std::string& host) {
    return host.front() == '[' || host.find_first_not_of("0123456789.") == std::string::npos;
}

// The newest list there is: the system's file when it is newer than the
// library's own copy. Loaded once, never freed, read by any thread.
const psl_ctx_t* suffixes() {
    static const psl_ctx_t* const list = psl_latest(nullptr);
    return list;
}

}  // namespace

std::string siteOf(const std::string& origin) {
    if (origin.empty()) return origin;
    const std::string host = hostOf(origin);
    if (host.empty()) return origin;
    if (isAddress(host) || !suffixes()) return host;
    const char* registered = psl_registrable_domain(suffixes(), host.c_str());
    return registered ? std::string(registered) : host;
}

}  // namespace zorva::plugin
