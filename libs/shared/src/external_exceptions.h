#pragma once

#include "exception.h"

namespace zorva::plugin::exception {

// Raised by XML handler modules outside this repository; its reply carries
// the full diagnostic text as its error.
class XmlException : public ModuleException {
public:
    using ModuleException::ModuleException;
    std::string replyError() const override { return what(); }
};

}  // namespace zorva::plugin::exception
