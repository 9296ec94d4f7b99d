#pragma once

#include "secret.h"

#include <cstdint>
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

// One question to the user: may this site sign this with one of these keys?
struct ConsentRequest {
    // The web origin of the page, as the transport recorded it.
    std::string origin;
    // "Sign 3 documents", "Sign a hash prepared by the site".
    std::string operation;
    std::vector<ConsentDocument> documents;
    std::vector<ConsentCertificate> certificates;
    // The certificate the page named; the user may choose another one unless
    // the list holds only it.
    std::string preselectedId;
    // Empty on the first attempt; after a failed login the reason, such as
    // "Wrong PIN. 2 attempts left.", shown above the PIN field.
    std::string previousError;
};

struct ConsentAnswer {
    std::string certificateId;
    // Empty for a PIN-pad token.
    Secret pin;
};

// Asks the person at the keyboard. The method layer calls ask once per
// attempt, again after a wrong PIN with previousError set. A cancel, a closed
// dialog or a time-out raises ApplicationException 20003 and is never asked
// again in a loop.
class IConsent {
public:
    virtual ~IConsent() = default;
    virtual ConsentAnswer ask(const ConsentRequest& request) = 0;
};

}  // namespace zorva::plugin::crypto
