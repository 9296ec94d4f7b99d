#include "token_session.h"

#include "cryptoki_error.h"

namespace zorva::plugin::cryptoki {

TokenSession::TokenSession(const Token& token)
    : token_(token),
      functions_(token.provider->functions()),
      lock_(token.provider->slotLock(token.slot)) {
    CRYPTOKI_CHECK(
        functions_.C_OpenSession(token.slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session_),
        "openSession");
}

TokenSession::~TokenSession() {
    if (loggedIn_) functions_.C_Logout(session_);
    functions_.C_CloseSession(session_);
}

void TokenSession::login(const Secret& pin) {
    loginAs(CKU_USER, pin);
    loggedIn_ = true;
}

void TokenSession::loginAs(CK_USER_TYPE user, const Secret& pin) const {
    // PKCS#11 takes the PIN as a non-const pointer; no module writes to it.
    auto* bytes = const_cast<unsigned char*>(pin.bytes());
    const bool pinPad = pin.empty() && token_.pinPad();
    const CK_RV rv = functions_.C_Login(session_, user, pinPad ? nullptr : bytes,
                                        pinPad ? 0 : static_cast<CK_ULONG>(pin.size()));
    // Another session of this process may have logged the token in already.
    if (rv != CKR_USER_ALREADY_LOGGED_IN) CRYPTOKI_CHECK(rv, "login");
}

std::vector<CK_OBJECT_HANDLE> TokenSession::find(CK_OBJECT_CLASS objectClass,
                                                 const Bytes* id) const {
    CK_ATTRIBUTE filter[] = {
        {CKA_CLASS, &objectClass, sizeof objectClass},
        {CKA_ID, id ? const_cast<unsigned char*>(id->data()) : nullptr,
         id ? static_cast<CK_ULONG>(id->size()) : 0},
    };
    CRYPTOKI_CHECK(functions_.C_FindObjectsInit(session_, filter, id ? 2 : 1), "find");
    std::vector<CK_OBJECT_HANDLE> objects;
    CK_OBJECT_HANDLE batch[32];
    CK_ULONG count = 0;
    do {
        const CK_RV rv = functions_.C_FindObjects(session_, batch, 32, &count);
        if (rv != CKR_OK) functions_.C_FindObjectsFinal(session_);
        CRYPTOKI_CHECK(rv, "find");
        objects.insert(objects.end(), batch, batch + count);
    } while (count == 32);
    CRYPTOKI_CHECK(functions_.C_FindObjectsFinal(session_), "find");
    return objects;
}

std::optional<Bytes> TokenSession::attribute(CK_OBJECT_HANDLE object,
                                             CK_ATTRIBUTE_TYPE type) const {
    CK_ATTRIBUTE query{type, nullptr, 0};
    if (functions_.C_GetAttributeValue(session_, object, &query, 1) != CKR_OK ||
        query.ulValueLen == CK_UNAVAILABLE_INFORMATION)
        return std::nullopt;
    Bytes value(query.ulValueLen);
    query.pValue = value.data();
    CRYPTOKI_CHECK(functions_.C_GetAttributeValue(session_, object, &query, 1), "attribute");
    value.resize(query.ulValueLen);
    return value;
}

bool TokenSession::flag(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const {
    const auto value = attribute(object, type);
    return value && value->size() == sizeof(CK_BBOOL) && (*value)[0] == CK_TRUE;
}

Bytes TokenSession::sign(CK_OBJECT_HANDLE key, CK_MECHANISM& mechanism, const Bytes& data,
                         const Secret* contextPin) const {
    CRYPTOKI_CHECK(functions_.C_SignInit(session_, &mechanism, key), "sign");
    if (contextPin) loginAs(CKU_CONTEXT_SPECIFIC, *contextPin);
    auto* input = const_cast<unsigned char*>(data.data());
    CK_ULONG length = 0;
    CRYPTOKI_CHECK(functions_.C_Sign(session_, input, data.size(), nullptr, &length), "sign");
    Bytes signature(length);
    CRYPTOKI_CHECK(functions_.C_Sign(session_, input, data.size(), signature.data(), &length),
                   "sign");
    signature.resize(length);
    return signature;
}

}  // namespace zorva::plugin::cryptoki
