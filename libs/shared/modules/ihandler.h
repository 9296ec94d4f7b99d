#pragma once

#include "message.h"

#include <functional>
#include <map>
#include <string>

namespace zorva::plugin::module {

// The request-handling side of a module. The dispatcher compares name() with
// a request's module type; the method table serves the request's method.
class IHandler {
public:
    using Method = std::function<std::string(const format::MessagePtr&)>;
    using Methods = std::map<std::string, Method>;

    virtual ~IHandler();

    virtual std::string name() const = 0;

    // Runs the method the message names and stores its text as the method
    // result. Returns true when the method ran; raises otherwise.
    bool handle(const format::MessagePtr& message);

    const Methods& methods() const { return methods_; }

protected:
    Methods methods_;
};

}  // namespace zorva::plugin::module
