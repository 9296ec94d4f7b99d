#include "ihandler.h"

#include "exception.h"

#include <stdexcept>

namespace zorva::plugin::module {

IHandler::~IHandler() = default;

bool IHandler::handle(const format::MessagePtr& message) {
    if (!message) PLUGIN_THROW(std::invalid_argument("handler: no message to handle"), "handle");
    const auto found = methods_.find(message->method.type);
    if (found == methods_.end()) {
        using namespace exception;
        PLUGIN_THROW(ApplicationException(ApplicationCode::MethodNotFound)
                         << Module_(message->module.type) << Method_(message->method.type),
                     "handle");
    }
    message->method.result = found->second(message);
    return true;
}

}  // namespace zorva::plugin::module
