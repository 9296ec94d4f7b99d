#pragma once

#include "certificate.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace zorva::plugin::crypto {

// What one call to a time-stamp authority, an OCSP responder or a CRL
// server may take: the configuration sets the time, the size guards the
// host against a server that sends without end.
struct HttpLimits {
    std::chrono::milliseconds timeout{10000};
    std::size_t maxBytes = 4 * 1024 * 1024;
};

// A body to send and the type the answer must have ("" for any).
struct HttpExchange {
    std::string url;
    std::string contentType;
    Bytes body;
    std::string answerType;
};

// One synchronous HTTP or HTTPS call on the calling thread: a POST when the
// exchange has a body, else a GET. Only http and https are spoken, and a
// redirect must keep the URL's scheme. Proxies come from the environment
// (http_proxy, https_proxy, no_proxy), as for the user's other programs.
// Returns the body of a 200 answer. A server that cannot be reached or does
// not answer in time is ApplicationException TsaUnreachable; any other failure (a
// status other than 200, the wrong content type, too large an answer) is
// TsaOther. The detail names the URL and the cause.
Bytes httpCall(const HttpExchange& exchange, const HttpLimits& limits);

// The host name of a URL, as the user is told whom the host will contact;
// the URL itself when it has none.
std::string hostOf(const std::string& url);

}  // namespace zorva::plugin::crypto
