#pragma once

#include "secret.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorva::plugin::crypto {

// A document the user is asked to sign, as the dialog shows it.
struct ConsentDocument {
    std::string name;
    std::uint64_t size = 0;
    // The first 16 hexadecimal digits of the SHA-256 of its raw bytes, enough
    // to compare with what the site shows.
    std::string sha256Prefix;
};

// A hash a site prepared, as the dialog shows it: the hash function, such as
// "SHA-256", and the first 16 hexadecimal digits of the hash.
struct ConsentHash {
    std::string function;
    std::string prefix;
};

// The state of the token that holds a certificate's key.
struct ConsentToken {
    std::string label;
    // A PIN pad (CKF_PROTECTED_AUTHENTICATION_PATH): the PIN is typed on the
    // reader, the dialog asks for none.
    bool pinPad = false;
    bool pinCountLow = false;
    bool pinFinalTry = false;
};

// A certificate whose private key can sign.
struct ConsentCertificate {
    std::string id;
    std::string subject;
    std::string issuer;
    // "YYYY-MM-DD HH:MM:SS" UTC.
    std::string validUntil;
    // Shown greyed out; it can still be chosen, the site decides what it accepts.
    bool expired = false;
    ConsentToken token;
};

// The texts a consent carries for the user (the operation, the reason of a
// failed attempt) are English, marked for translation in the context
// `consentTextContext`; the dialog shows them in the user's language.
inline constexpr const char* consentTextContext = "zorva::plugin::crypto";

// One question to the user: may this site sign this with one of these keys?
struct ConsentRequest {
    // The web origin of the page, as the transport recorded it.
    std::string origin;
    // "Sign %n documents", "Sign a hash prepared by the site": "%n" stands
    // for the number of documents.
    std::string operation;
    std::vector<ConsentDocument> documents;
    std::vector<ConsentCertificate> certificates;
    // The certificate the page named; the user may choose another one unless
    // the list holds only it.
    std::string preselectedId;
    // What signHash signs, instead of documents.
    std::optional<ConsentHash> hash;
    // The level of the signatures that will be made ("CAdES-T"), empty for a
    // hash; the host names of the TSA it asks for timestamps, if any, and
    // whether it asks the certificates' OCSP responders or CRL servers too.
    std::string level;
    std::string timestampHost;
    bool asksRevocation = false;
};

struct ConsentAnswer {
    std::string certificateId;
    // Empty for a PIN-pad token.
    cryptoki::Secret pin;
};

// A login the user may try again: the reason, such as "Wrong PIN. Few
// attempts left.", and the states of the request's certificates' tokens, in
// their order, as the tokens report them after the attempt.
struct ConsentFailure {
    std::string error;
    std::vector<ConsentToken> tokens;
};

// One login with the user's answer, on the asking thread while the question
// stays open. Nothing comes back when it succeeded; a failure the user can
// mend (a wrong PIN) comes back to be shown; any other failure is thrown and
// ends the question with it.
using ConsentAttempt = std::function<std::optional<ConsentFailure>(ConsentAnswer answer)>;

// Asks the person at the keyboard, and tries each answer until one succeeds:
// after a wrong PIN the same question stays open with the reason. A cancel, a
// closed dialog or a time-out raises ApplicationException Cancelled and is never
// asked again in a loop.
class IConsent {
public:
    virtual ~IConsent() = default;
    virtual void ask(const ConsentRequest& request, const ConsentAttempt& attempt) = 0;
};

}  // namespace zorva::plugin::crypto
