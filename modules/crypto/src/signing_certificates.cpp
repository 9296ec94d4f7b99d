#include "signing_certificates.h"

#include "evp_digest.h"
#include "exception.h"
#include "token_session.h"

#include <openssl/evp.h>

#include <algorithm>
#include <utility>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

using cryptoki::TokenSession;

bool hasKey(const TokenSession& session, const Bytes& keyId) {
    return !session.find(CKO_PRIVATE_KEY, &keyId).empty() ||
           !session.find(CKO_PUBLIC_KEY, &keyId).empty();
}

std::string idOf(const Bytes& der) {
    EvpDigest digest(EVP_sha256());
    digest.addData(der.data(), der.size());
    return digest.hexResult();
}

void collect(const cryptoki::Token& token, std::vector<SigningCertificate>& found) {
    const TokenSession session(token);
    for (CK_OBJECT_HANDLE object : session.find(CKO_CERTIFICATE)) {
        const auto der = session.attribute(object, CKA_VALUE);
        const auto keyId = session.attribute(object, CKA_ID);
        if (!der || !keyId || keyId->empty() || !hasKey(session, *keyId)) continue;
        Certificate certificate(*der);
        if (!canSign(certificate.x509())) continue;
        found.push_back({idOf(*der), token, *keyId, std::move(certificate)});
    }
}

}  // namespace

std::vector<SigningCertificate> signingCertificates(cryptoki::ProviderRegistry& registry) {
    std::vector<SigningCertificate> found;
    for (const auto& provider : registry.providers())
        for (const auto& token : provider->tokens()) collect(token, found);
    return found;
}

const SigningCertificate& findCertificate(const std::vector<SigningCertificate>& certificates,
                                          const std::string& id) {
    const auto found = std::find_if(certificates.begin(), certificates.end(),
                                    [&](const auto& certificate) { return certificate.id == id; });
    if (found == certificates.end())
        PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::RequestFormat)
                         << plugin::exception::Message_(
                                "no token holds a signing key for certificate " + id),
                     "findCertificate");
    return *found;
}

}  // namespace zorva::plugin::crypto
