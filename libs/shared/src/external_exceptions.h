#pragma once

#include "exception.h"

// Exception types that handler modules outside this repository raise. The
// message handler recognises them by type, so their definitions are shared.
namespace zorva::plugin::exception {

class XmlException : public Exception {
public:
    using Exception::Exception;
};

}  // namespace zorva::plugin::exception

namespace zorva::plugin::crypto::exception {

class CryptoException : public plugin::exception::Exception {
public:
    using Exception::Exception;
};

class SystemException : public plugin::exception::Exception {
public:
    using Exception::Exception;
};

}  // namespace zorva::plugin::crypto::exception

namespace zorva::plugin::cryptoki::exception {

class CryptokiException : public plugin::exception::Exception {
public:
    using Exception::Exception;
};

}  // namespace zorva::plugin::cryptoki::exception
