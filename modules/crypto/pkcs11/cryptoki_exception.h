#pragma once

#include "exception.h"

namespace zorva::plugin::cryptoki::exception {

// A PKCS#11 call failed: the code is its return value.
class CryptokiException : public plugin::exception::ModuleException {
public:
    using ModuleException::ModuleException;
};

}  // namespace zorva::plugin::cryptoki::exception
