#pragma once

#include <p11-kit/pkcs11.h>

#include <string>

namespace zorva::plugin::crypto {

// "CKM_RSA_PKCS" and the like for the mechanisms that signing uses; any
// other as its hexadecimal value ("0x00001234").
std::string mechanismName(CK_MECHANISM_TYPE mechanism);

}  // namespace zorva::plugin::crypto
