#pragma once

#include <p11-kit/pkcs11.h>

#include <system_error>

namespace zorva::plugin::cryptoki {

// The category of PKCS#11 return values: the code is the CK_RV itself, so a
// page tells CKR_PIN_INCORRECT (160) from CKR_PIN_LOCKED (164).
const std::error_category& cryptokiCategory();

// Raises CryptokiException with the return value as its code unless it is
// CKR_OK.
void check(CK_RV rv, const char* file, int line, const char* operation);

}  // namespace zorva::plugin::cryptoki

#define CRYPTOKI_CHECK(call, operation) \
    ::zorva::plugin::cryptoki::check((call), __FILE__, __LINE__, operation)
