#include "provider.h"

#include "cryptoki_error.h"

#include <p11-kit/p11-kit.h>

#include <algorithm>
#include <utility>

namespace zorva::plugin::cryptoki {
namespace {

// PKCS#11 pads its fixed-size text fields with blanks.
template <std::size_t size>
std::string fieldText(const CK_UTF8CHAR (&field)[size]) {
    std::string text(reinterpret_cast<const char*>(field), size);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

Provider::Provider(std::string name, CK_FUNCTION_LIST* functions)
    : name_(std::move(name)), functions_(functions) {
    const CK_RV rv = p11_kit_module_initialize(functions_);
    if (rv != CKR_OK) {
        error_ = p11_kit_strerror(rv);
        p11_kit_module_release(functions_);
        functions_ = nullptr;
    }
}

Provider::Provider(std::string name, std::string error)
    : name_(std::move(name)), error_(std::move(error)) {}

Provider::~Provider() {
    if (!functions_) return;
    p11_kit_module_finalize(functions_);
    p11_kit_module_release(functions_);
}

std::vector<Token> Provider::tokens() {
    if (!ready()) return {};
    CK_ULONG count = 0;
    CRYPTOKI_CHECK(functions_->C_GetSlotList(CK_TRUE, nullptr, &count), "tokens");
    std::vector<CK_SLOT_ID> slots(count);
    CRYPTOKI_CHECK(functions_->C_GetSlotList(CK_TRUE, slots.data(), &count), "tokens");
    slots.resize(count);
    std::vector<Token> tokens;
    for (CK_SLOT_ID slot : slots) {
        Token listed = token(slot);
        if (listed.flags & CKF_TOKEN_INITIALIZED) tokens.push_back(std::move(listed));
    }
    return tokens;
}

Token Provider::token(CK_SLOT_ID slot) {
    CK_TOKEN_INFO info{};
    CRYPTOKI_CHECK(functions_->C_GetTokenInfo(slot, &info), "token");
    return {this,
            slot,
            fieldText(info.label),
            fieldText(info.manufacturerID),
            fieldText(info.model),
            fieldText(info.serialNumber),
            info.flags};
}

std::vector<CK_MECHANISM_TYPE> Provider::mechanisms(CK_SLOT_ID slot) {
    CK_ULONG count = 0;
    CRYPTOKI_CHECK(functions_->C_GetMechanismList(slot, nullptr, &count), "mechanisms");
    std::vector<CK_MECHANISM_TYPE> list(count);
    CRYPTOKI_CHECK(functions_->C_GetMechanismList(slot, list.data(), &count), "mechanisms");
    list.resize(count);
    return list;
}

std::mutex& Provider::slotLock(CK_SLOT_ID slot) {
    const std::lock_guard<std::mutex> guard(locksMutex_);
    auto& lock = slotLocks_[slot];
    if (!lock) lock = std::make_unique<std::mutex>();
    return *lock;
}

}  // namespace zorva::plugin::cryptoki
