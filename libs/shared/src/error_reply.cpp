#include "error_reply.h"

#include <boost/exception/get_error_info.hpp>

#include "exception.h"
#include "logging.h"

namespace zorva::plugin::exception {
namespace {

template <class Detail>
std::string quotedDetail(const boost::exception& exception) {
    std::string quoted = "\"";
    if (const std::string* value = boost::get_error_info<Detail>(exception)) {
        for (char c : *value) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string applicationLogText(const ApplicationException& exception) {
    switch (exception.applicationCode()) {
        case ApplicationCode::SessionInterrupted:
            return "session: message handler interrupted by zorva.entension";
        case ApplicationCode::Cancelled:
            return std::string("session: message handler cancelled. ") + exception.what();
        case ApplicationCode::MethodNotFound:
            return "unsupported method " + quotedDetail<Method_>(exception) + ", module " +
                   quotedDetail<Module_>(exception);
        default:
            return exception.what();
    }
}

}  // namespace

ErrorTexts describeCurrentException() {
    try {
        throw;
    } catch (const ApplicationException& exception) {
        ErrorTexts texts{std::to_string(exception.code().value()), exception.errorText(),
                         exception.message(), applicationLogText(exception)};
        texts.applicationCode = exception.applicationCode();
        return texts;
    } catch (const ModuleException& exception) {
        return {std::to_string(exception.code().value()), exception.errorText(),
                exception.replyError(), exception.what()};
    } catch (const std::exception& exception) {
        const std::string foreign = exception.what();
        const ApplicationException wrapped(ApplicationCode::General);
        const std::string general = (wrapped << Message_(foreign)).errorText();
        return {std::to_string(value(ApplicationCode::General)), general, foreign, general};
    }
}

void applyError(const ErrorTexts& texts, format::Message& reply) {
    auto& data = reply.meta.data;
    if (auto entry = data.find("messageLog"); entry != data.end()) entry->second = texts.log;
    reply.code = texts.code;
    reply.errorMessage = texts.errorMessage;
    reply.error = texts.error;
    PLUGIN_LOG(warning) << "session: exception handler: " << texts.log;
}

}  // namespace zorva::plugin::exception
