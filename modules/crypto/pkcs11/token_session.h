#pragma once

#include "provider.h"
#include "secret.h"

#include <mutex>
#include <optional>
#include <vector>

namespace zorva::plugin::cryptoki {

using Bytes = std::vector<unsigned char>;

// One PKCS#11 session for one operation, holding the slot's lock from
// opening to closing. A login lasts as long as the session: the destructor
// logs out, so no PIN outlives the operation on the token either.
class TokenSession {
public:
    explicit TokenSession(const Token& token);
    ~TokenSession();
    TokenSession(const TokenSession&) = delete;
    TokenSession& operator=(const TokenSession&) = delete;

    // User login. An empty PIN on a PIN-pad token lets the reader ask for it.
    void login(const Secret& pin);

    // The objects of a class, narrowed to one CKA_ID when it is given.
    std::vector<CK_OBJECT_HANDLE> find(CK_OBJECT_CLASS objectClass,
                                       const Bytes* id = nullptr) const;
    // The value of an attribute; nothing when the object does not reveal it.
    std::optional<Bytes> attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const;
    bool flag(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const;

    // A single-part signature. A key with CKA_ALWAYS_AUTHENTICATE gets the
    // PIN again, as a context-specific login right after C_SignInit.
    Bytes sign(CK_OBJECT_HANDLE key, CK_MECHANISM& mechanism, const Bytes& data,
               const Secret* contextPin) const;

private:
    void loginAs(CK_USER_TYPE user, const Secret& pin) const;

    Token token_;
    CK_FUNCTION_LIST& functions_;
    std::unique_lock<std::mutex> lock_;
    CK_SESSION_HANDLE session_ = CK_INVALID_HANDLE;
    bool loggedIn_ = false;
};

}  // namespace zorva::plugin::cryptoki
