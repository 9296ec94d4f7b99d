#pragma once

#include <p11-kit/pkcs11.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorva::plugin::cryptoki {

class Provider;

// A slot that holds an initialised token, with what the token said of itself
// when it was listed.
struct Token {
    Provider* provider = nullptr;
    CK_SLOT_ID slot = 0;
    std::string label;
    std::string manufacturer;
    std::string model;
    std::string serial;
    CK_FLAGS flags = 0;

    bool pinPad() const { return (flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0; }
};

// One PKCS#11 module that p11-kit loaded, initialised once and finalised when
// the provider goes. A module that fails to initialise stays listed with its
// error, so the user can see why a card is missing.
class Provider {
public:
    // Takes over a module that p11-kit loaded.
    Provider(std::string name, CK_FUNCTION_LIST* functions);
    // A module that did not load.
    Provider(std::string name, std::string error);
    ~Provider();
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;

    const std::string& name() const { return name_; }
    const std::string& error() const { return error_; }
    bool ready() const { return functions_ != nullptr && error_.empty(); }
    CK_FUNCTION_LIST& functions() const { return *functions_; }

    // The slots that hold an initialised token. Uninitialised tokens (SoftHSM2
    // always offers one more) cannot sign and are left out.
    std::vector<Token> tokens();
    // The token of a slot as it is now (its PIN flags change with each login).
    Token token(CK_SLOT_ID slot);
    std::vector<CK_MECHANISM_TYPE> mechanisms(CK_SLOT_ID slot);

    // One operation at a time per slot: a login of one would log the other in
    // or out behind its back.
    std::mutex& slotLock(CK_SLOT_ID slot);

private:
    std::string name_;
    CK_FUNCTION_LIST* functions_ = nullptr;
    std::string error_;
    std::mutex locksMutex_;
    std::map<CK_SLOT_ID, std::unique_ptr<std::mutex>> slotLocks_;
};

}  // namespace zorva::plugin::cryptoki
