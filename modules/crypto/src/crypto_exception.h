#pragma once

#include "exception.h"

// The crypto module's own failures, with codes of OpenSSL's or the system's
// categories.
namespace zorva::plugin::crypto::exception {

class CryptoException : public plugin::exception::ModuleException {
public:
    using ModuleException::ModuleException;
};

class SystemException : public plugin::exception::ModuleException {
public:
    using ModuleException::ModuleException;
};

}  // namespace zorva::plugin::crypto::exception
