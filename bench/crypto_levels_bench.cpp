// What each signature level adds to `sign`: a 1 MiB document signed
// detached at CAdES-BES, CAdES-T and CAdES-LT against a SoftHSM2 token, a
// time-stamp authority (`openssl ts -reply`) and an OCSP responder (`openssl
// ocsp -index`) with a CRL, all behind one local HTTP server on 127.0.0.1 as
// the tests use them. The consent is scripted: the dialog's own time is not
// part of the level. Prints the median of each level over the runs, the
// difference to BES, and the TSA round trip alone (request, answer, checks).
#include "authority_server.h"
#include "base64.h"
#include "evp_digest.h"
#include "provider_registry.h"
#include "scripted_consent.h"
#include "sign_methods.h"
#include "temp_dir.h"
#include "timestamp.h"

#include <openssl/evp.h>

#include <boost/process.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace crypto = zorva::plugin::crypto;
namespace bp = boost::process;
constexpr int runs = 15;

std::string sha256Hex(const std::string& bytes) {
    zorva::plugin::EvpDigest digest(EVP_sha256());
    digest.addData(bytes.data(), bytes.size());
    return digest.hexResult();
}

template <class Call>
double medianMs(Call call) {
    call();  // the first run opens what later runs reuse
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        call();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    const TempDir dir;
    const auto token = dir / "token", authorities = dir / "authorities";
    if (bp::system(MAKE_TOKEN, token.string()) != 0 ||
        bp::system(MAKE_AUTHORITIES, authorities.string()) != 0)
        return 1;
    setenv("SOFTHSM2_CONF", (token / "softhsm2.conf").c_str(), 1);
    const AuthorityServer server(AUTHORITY_SERVER, {authorities.string(), "good"});
    if (bp::system("/bin/sh", ISSUE_LONG_TERM, authorities.string(), std::to_string(server.port()),
                   token.string(), "good") != 0)
        return 1;

    crypto::LongTermSettings settings;
    settings.tsaUrls = {server.url() + "tsa"};
    settings.trustStore = (token / "ca.pem").string();
    settings.tsaTrustStore = (authorities / "tsa-ca.pem").string();
    settings.revocationFetch = true;
    zorva::plugin::cryptoki::ProviderRegistry registry({});
    const std::string certificate = sha256Hex(readFile(authorities / "signer.der"));
    const std::string document(1 << 20, 'd');
    const std::string files = R"("files":[{"name":"document.bin","content":")" +
                              zorva::plugin::base64::encode(document) +
                              R"(","contentEncoding":"base64"}]})";

    std::printf("document 1 MiB, detached, RSA-2048 on SoftHSM2, median of %d runs\n", runs);
    double bes = 0;
    for (const char* level : {"CAdES-BES", "CAdES-T", "CAdES-LT"}) {
        zorva::plugin::format::Message request;
        request.method.data = R"({"certificate":")" + certificate + R"(","format":")" + level +
                              R"(","sha256":[")" + sha256Hex(document) + R"("],)" + files;
        const double ms = medianMs([&] {
            ScriptedConsent consent({{certificate, "123456"}});
            crypto::signDocuments(registry, consent, request, settings);
        });
        if (bes == 0) bes = ms;
        std::printf("%-9s %7.1f ms  (+%.1f ms over CAdES-BES)\n", level, ms, ms - bes);
    }
    const crypto::Bytes value(256, 0x5a);
    const double roundTrip = medianMs([&] {
        crypto::timestampToken(value, EVP_sha256(),
                               {settings.tsaUrls.front(), settings.limits, settings.tsaTrustStore});
    });
    std::printf("TSA round trip alone (query, answer, checks): %.1f ms\n", roundTrip);
    return 0;
}
