#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>

#include <boost/assert/source_location.hpp>
#include <boost/exception/exception.hpp>
#include <boost/exception/info.hpp>
#include <boost/throw_exception.hpp>

#include "application_code.h"

namespace zorva::plugin::exception {

// Named details attached to an exception.
using Module_ = boost::error_info<struct ModuleTag, std::string>;
using Method_ = boost::error_info<struct MethodTag, std::string>;
using Message_ = boost::error_info<struct MessageTag, std::string>;

// Text returned by what(): kept per object and per thread, so a pointer stays
// valid until the next what() call on the same object from the same thread.
class WhatText {
public:
    WhatText() = default;
    WhatText(const WhatText&) {}
    WhatText& operator=(const WhatText&) { return *this; }
    const char* store(std::string text) const;

private:
    mutable std::mutex mutex_;
    mutable std::map<std::thread::id, std::string> texts_;
};

// Every failure of the system: an error code of a category, the category's
// message, named details and the place it was raised. Constructing one
// publishes it in the process-wide last-error slot. Its texts are its own:
// another thread may fill the slot before this one is caught.
class Exception : public std::system_error, public boost::exception {
public:
    explicit Exception(std::error_code code);
    ~Exception() override;

    // The last-error text this exception published, then the raise location.
    const char* what() const noexcept override;
    // The message this exception published.
    virtual std::string message() const;
    // The last-error text this exception published: code, category, message
    // and the detail attached last.
    std::string errorText() const;

    // Called when a detail is attached; the text is published as well.
    void rememberDetail(const std::string& text) const;

private:
    std::string message_;
    mutable std::string detail_;
    mutable bool hasDetail_ = false;
    WhatText whatText_;
};

// The base of the exception types a module defines for its own failures,
// with codes of its own categories. The message handler recognises them all
// by this type, whichever module raised them.
class ModuleException : public Exception {
public:
    using Exception::Exception;
    // The reply's error text: the category's message unless a type knows better.
    virtual std::string replyError() const { return message(); }
};

class ApplicationException : public Exception {
public:
    explicit ApplicationException(int code);
    explicit ApplicationException(ApplicationCode code);
    ApplicationCode applicationCode() const { return ApplicationCode(code().value()); }
};

// Reads the last-error slot; has no state of its own.
class LastError : public std::exception {
public:
    const char* what() const noexcept override;

private:
    WhatText whatText_;
};

// Attaching a detail also publishes its text as the slot's "__ex_string".
void publishDetail(const std::string& text);

template <class E, class Tag>
constexpr bool isOwnDetail = std::is_base_of_v<Exception, E> &&
                             (std::is_same_v<Tag, ModuleTag> || std::is_same_v<Tag, MethodTag> ||
                              std::is_same_v<Tag, MessageTag>);

// Boost offers both a const& and an rvalue overload; ours must be the better
// match for both, or a temporary detail would bypass the slot.
template <class E, class Tag, class = std::enable_if_t<isOwnDetail<E, Tag>>>
const E& operator<<(const E& exception, const boost::error_info<Tag, std::string>& detail) {
    exception.rememberDetail(detail.value());
    static_cast<const boost::exception&>(exception) << detail;
    return exception;
}

template <class E, class Tag, class = std::enable_if_t<isOwnDetail<E, Tag>>>
const E& operator<<(const E& exception, boost::error_info<Tag, std::string>&& detail) {
    return exception << static_cast<const boost::error_info<Tag, std::string>&>(detail);
}

// The last-error slot, shared by every copy of this code in the process.
void resetLastError();
std::string lastErrorText();

// The text of an application error code ("unknown app error" for codes
// outside the table).
std::string applicationMessage(int code);

}  // namespace zorva::plugin::exception

// Raises an exception with the source file, line and a short operation name.
#define PLUGIN_THROW(exception, operation) \
    ::boost::throw_exception((exception), ::boost::source_location(__FILE__, __LINE__, operation))
