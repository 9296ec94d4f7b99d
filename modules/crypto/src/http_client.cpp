#include "http_client.h"

#include "exception.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

struct CurlFree {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

[[noreturn]] void fail(ApplicationCode code, const std::string& url, const std::string& cause) {
    PLUGIN_THROW(plugin::exception::ApplicationException(code)
                     << plugin::exception::Message_(url + ": " + cause),
                 "http");
}

struct Answer {
    Bytes body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto& answer = *static_cast<Answer*>(target);
    const std::size_t length = size * count;
    if (answer.body.size() + length > answer.maxBytes) {
        answer.tooLarge = true;
        return 0;
    }
    answer.body.insert(answer.body.end(), data, data + length);
    return length;
}

std::string schemeOf(const std::string& url) {
    const auto colon = url.find("://");
    const std::string scheme = colon == std::string::npos ? "" : url.substr(0, colon);
    if (scheme != "http" && scheme != "https")
        fail(ApplicationCode::TsaOther, url, "only http and https are used");
    return scheme;
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool unreachable(CURLcode result) {
    return result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
           result == CURLE_COULDNT_RESOLVE_PROXY || result == CURLE_OPERATION_TIMEDOUT ||
           result == CURLE_SEND_ERROR || result == CURLE_RECV_ERROR ||
           result == CURLE_GOT_NOTHING || result == CURLE_SSL_CONNECT_ERROR;
}

}  // namespace

Bytes httpCall(const HttpExchange& exchange, const HttpLimits& limits) {
    const std::string scheme = schemeOf(exchange.url);
    initialiseOnce();
    const std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) fail(ApplicationCode::TsaOther, exchange.url, "no HTTP client");
    Answer answer;
    answer.maxBytes = limits.maxBytes;
    std::unique_ptr<curl_slist, SlistFree> headers;
    if (!exchange.contentType.empty())
        headers.reset(
            curl_slist_append(nullptr, ("Content-Type: " + exchange.contentType).c_str()));

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, exchange.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, scheme.c_str());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 3L);
    // Signals are the host's: no SIGALRM; Debian's libcurl resolves names on
    // a thread of its own, so the time limit holds for the name lookup too.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.timeout.count()));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
    if (headers) curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    if (!exchange.body.empty()) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, exchange.body.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(exchange.body.size()));
    }

    const CURLcode result = curl_easy_perform(handle);
    if (answer.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        fail(ApplicationCode::TsaOther, exchange.url,
             "the answer is longer than " + std::to_string(limits.maxBytes) + " bytes");
    if (result == CURLE_OPERATION_TIMEDOUT)
        fail(ApplicationCode::TsaUnreachable, exchange.url,
             "no answer within " + std::to_string(limits.timeout.count()) + " ms");
    if (result != CURLE_OK)
        fail(unreachable(result) ? ApplicationCode::TsaUnreachable : ApplicationCode::TsaOther,
             exchange.url, curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        fail(ApplicationCode::TsaOther, exchange.url, "HTTP status " + std::to_string(status));
    const char* type = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type);
    const std::string answered =
        type ? std::string(type).substr(0, std::string(type).find(';')) : "";
    if (!exchange.answerType.empty() && answered != exchange.answerType)
        fail(ApplicationCode::TsaOther, exchange.url,
             "the answer's type is \"" + answered + "\", not \"" + exchange.answerType + "\"");
    return std::move(answer.body);
}

std::string hostOf(const std::string& url) {
    const std::unique_ptr<CURLU, void (*)(CURLU*)> parsed(curl_url(), curl_url_cleanup);
    char* host = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK)
        return url;
    const std::string name = host;
    curl_free(host);
    return name;
}

}  // namespace zorva::plugin::crypto
