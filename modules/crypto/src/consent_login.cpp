#include "consent_login.h"

#include "exception.h"
#include "external_exceptions.h"

#include <utility>

namespace zorva::plugin::crypto {
namespace {

ConsentToken tokenState(const cryptoki::Token& token) {
    return {token.label, token.pinPad(), (token.flags & CKF_USER_PIN_COUNT_LOW) != 0,
            (token.flags & CKF_USER_PIN_FINAL_TRY) != 0};
}

ConsentCertificate consentCertificate(const SigningCertificate& certificate) {
    const CertificateText text = describe(*parseCertificate(certificate.der));
    return {certificate.id,  text.subject, text.issuer,
            text.validUntil, text.expired, tokenState(certificate.token)};
}

// The token's flags after the failed login say how many tries remain.
std::string wrongPinText(const cryptoki::Token& token) {
    const cryptoki::Token now = token.provider->token(token.slot);
    if (now.flags & CKF_USER_PIN_FINAL_TRY)
        return "Wrong PIN. One attempt left: one more wrong PIN locks the card.";
    if (now.flags & CKF_USER_PIN_COUNT_LOW) return "Wrong PIN. Few attempts left.";
    return "Wrong PIN.";
}

void refreshTokens(ConsentRequest& request, const std::vector<SigningCertificate>& candidates) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto& token = candidates[i].token;
        request.certificates[i].token = tokenState(token.provider->token(token.slot));
    }
}

}  // namespace

std::unique_ptr<UnlockedKey> unlockWithConsent(IConsent& consent, ConsentRequest request,
                                               const std::vector<SigningCertificate>& candidates) {
    request.certificates.clear();
    for (const auto& certificate : candidates)
        request.certificates.push_back(consentCertificate(certificate));
    for (;;) {
        ConsentAnswer answer = consent.ask(request);
        const SigningCertificate& chosen = findCertificate(candidates, answer.certificateId);
        try {
            return std::make_unique<UnlockedKey>(chosen, std::move(answer.pin));
        } catch (const cryptoki::exception::CryptokiException& error) {
            const auto rv = static_cast<CK_RV>(error.code().value());
            if (rv == CKR_FUNCTION_CANCELED)
                PLUGIN_THROW(plugin::exception::ApplicationException(20003), "unlockWithConsent");
            if (rv != CKR_PIN_INCORRECT && rv != CKR_PIN_LEN_RANGE) throw;
            request.previousError = rv == CKR_PIN_INCORRECT ? wrongPinText(chosen.token)
                                                            : "The PIN has the wrong length.";
            request.preselectedId = chosen.id;
            refreshTokens(request, candidates);
        }
    }
}

}  // namespace zorva::plugin::crypto
