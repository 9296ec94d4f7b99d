#include "consent_login.h"

#include "cryptoki_exception.h"
#include "exception.h"

#include <QtGlobal>

#include <utility>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

ConsentToken tokenState(const cryptoki::Token& token) {
    return {token.label, token.pinPad(), (token.flags & CKF_USER_PIN_COUNT_LOW) != 0,
            (token.flags & CKF_USER_PIN_FINAL_TRY) != 0};
}

// As the token reports itself now: its flags change with each failed login.
ConsentToken currentState(const cryptoki::Token& token) {
    return tokenState(token.provider->token(token.slot));
}

ConsentCertificate consentCertificate(const SigningCertificate& certificate) {
    const CertificateText text = describeCommonNameFirst(certificate.certificate.x509());
    return {certificate.id,  text.subject, text.issuer,
            text.validUntil, text.expired, tokenState(certificate.token)};
}

// The token's flags after the failed login say how many tries remain.
std::string wrongPinText(const ConsentToken& now) {
    if (now.pinFinalTry)
        return QT_TRANSLATE_NOOP("zorva::plugin::crypto",
                                 "Wrong PIN. One attempt left: one more wrong PIN locks the card.");
    if (now.pinCountLow)
        return QT_TRANSLATE_NOOP("zorva::plugin::crypto", "Wrong PIN. Few attempts left.");
    return QT_TRANSLATE_NOOP("zorva::plugin::crypto", "Wrong PIN.");
}

ConsentFailure failedLogin(CK_RV rv, const SigningCertificate& chosen,
                           const std::vector<SigningCertificate>& candidates) {
    ConsentFailure failure;
    failure.error = rv == CKR_PIN_INCORRECT ? wrongPinText(currentState(chosen.token))
                                            : QT_TRANSLATE_NOOP("zorva::plugin::crypto",
                                                                "The PIN has the wrong length.");
    for (const auto& certificate : candidates)
        failure.tokens.push_back(currentState(certificate.token));
    return failure;
}

// Unlocks the chosen key into `unlocked`, or says why the user may try again.
std::optional<ConsentFailure> login(const std::vector<SigningCertificate>& candidates,
                                    ConsentAnswer answer, std::unique_ptr<UnlockedKey>& unlocked) {
    const SigningCertificate& chosen = findCertificate(candidates, answer.certificateId);
    try {
        unlocked = std::make_unique<UnlockedKey>(chosen, std::move(answer.pin));
        return std::nullopt;
    } catch (const cryptoki::exception::CryptokiException& error) {
        const auto rv = static_cast<CK_RV>(error.code().value());
        if (rv == CKR_FUNCTION_CANCELED)
            PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::Cancelled),
                         "unlockWithConsent");
        if (rv != CKR_PIN_INCORRECT && rv != CKR_PIN_LEN_RANGE) throw;
        return failedLogin(rv, chosen, candidates);
    }
}

}  // namespace

std::unique_ptr<UnlockedKey> unlockWithConsent(IConsent& consent, ConsentRequest request,
                                               const std::vector<SigningCertificate>& candidates) {
    request.certificates.clear();
    for (const auto& certificate : candidates)
        request.certificates.push_back(consentCertificate(certificate));
    std::unique_ptr<UnlockedKey> unlocked;
    consent.ask(request, [&candidates, &unlocked](ConsentAnswer answer) {
        return login(candidates, std::move(answer), unlocked);
    });
    return unlocked;
}

}  // namespace zorva::plugin::crypto
