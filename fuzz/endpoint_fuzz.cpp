// The address of the configuration and the Origin header of a page: the
// input's first line is an address, the rest an allowlist and an origin.
#include "endpoint.h"
#include "fuzz_input.h"
#include "origin_allowlist.h"

#include <stdexcept>

using zorva::plugin::module::Endpoint;
using zorva::plugin::module::OriginAllowlist;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = inputText(data, size);
    const std::size_t line = input.find('\n');
    try {
        const Endpoint endpoint = Endpoint::parse(input.substr(0, line));
        require(endpoint.host.empty() == endpoint.scheme.empty());
    } catch (const std::out_of_range&) {
    }
    if (line == std::string::npos) return 0;
    const std::size_t origin = input.find('\n', line + 1);
    const OriginAllowlist list(input.substr(line + 1, origin - line - 1));
    const std::string page = origin == std::string::npos ? "" : input.substr(origin + 1);
    // The start of the host logs the list as text; that text is the same list.
    require(list.allows(page) == OriginAllowlist(list.text()).allows(page));
    return 0;
}
