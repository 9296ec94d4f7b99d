#pragma once

#include <string>

namespace zorva::plugin {

// The site of a web origin: the part of its host name that one owner
// registered (eTLD+1), by the public suffix list that Debian's publicsuffix
// package keeps current (read through libpsl). "https://a.b.example.co.uk:8443"
// and "https://example.co.uk" are both "example.co.uk", so a page cannot
// become a stranger by taking a fresh subdomain. A host that is an address or
// a public suffix itself ("localhost", "127.0.0.1", "[::1]", "github.io") is
// its own site; so is an origin that names no host ("file://...", a
// program's empty origin), as its whole text.
std::string siteOf(const std::string& origin);

}  // namespace zorva::plugin
