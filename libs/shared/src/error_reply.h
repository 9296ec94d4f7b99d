#pragma once

#include <optional>
#include <string>

#include "application_code.h"
#include "message.h"

namespace zorva::plugin::exception {

// What a caught exception contributes to an error reply.
struct ErrorTexts {
    std::string code;
    std::string errorMessage;
    std::string error;
    std::string log;
    std::optional<ApplicationCode> applicationCode;  // only for an ApplicationException
};

// Describes the exception being handled; call it only inside a catch block
// that caught a std::exception.
ErrorTexts describeCurrentException();

// Puts the texts into the reply and logs the exception handler's record.
void applyError(const ErrorTexts& texts, format::Message& reply);

}  // namespace zorva::plugin::exception
