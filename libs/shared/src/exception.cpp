#include "exception.h"

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/path.hpp>

#include "process_env.h"

namespace zorva::plugin::exception {
namespace {

constexpr const char* codeVariable = "__ex_code";
constexpr const char* categoryVariable = "__ex_category";
constexpr const char* messageVariable = "__ex_msg";
constexpr const char* stringVariable = "__ex_string";
constexpr const char* fileInfoVariable = "__ex_fileinfo";

class ApplicationCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "Application"; }
    std::string message(int code) const override { return applicationMessage(code); }
};

const ApplicationCategory& applicationCategory() {
    static const ApplicationCategory category;
    return category;
}

std::string slotValue(const char* name) { return process_env::get(name).value_or(std::string()); }

}  // namespace

const char* WhatText::store(std::string text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string& slot = texts_[std::this_thread::get_id()];
    slot = std::move(text);
    return slot.c_str();
}

std::string applicationMessage(int code) {
    for (const auto& entry : applicationCodeTexts)
        if (value(entry.code) == code) return entry.text;
    return "unknown app error";
}

Exception::Exception(std::error_code code) : std::system_error(code) {
    resetLastError();
    const std::string text = std::system_error::what();
    message_ = text.empty() ? "Unknown exception" : text;
    process_env::set(messageVariable, message_);
    process_env::set(codeVariable, std::to_string(code.value()));
    process_env::set(categoryVariable, code.category().name());
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    try {
        std::string text = errorText();
        const auto* file = boost::get_error_info<boost::throw_file>(*this);
        const auto* line = boost::get_error_info<boost::throw_line>(*this);
        const auto* function = boost::get_error_info<boost::throw_function>(*this);
        if (file && *file && line && *line != -1 && function && *function) {
            text.append("\t(")
                .append(boost::filesystem::path(*file).filename().string())
                .append(":")
                .append(std::to_string(*line))
                .append(") ")
                .append(*function);
        }
        return whatText_.store(std::move(text));
    } catch (...) {
        return "Unknown exception";
    }
}

std::string Exception::message() const { return message_; }

std::string Exception::errorText() const {
    std::string text =
        std::to_string(code().value()) + " " + code().category().name() + " '" + message_ + "'";
    if (hasDetail_) text += ": " + detail_;
    return text;
}

void Exception::rememberDetail(const std::string& text) const {
    publishDetail(text);
    detail_ = text;
    hasDetail_ = true;
}

ApplicationException::ApplicationException(int code)
    : Exception(std::error_code(code, applicationCategory())) {}

ApplicationException::ApplicationException(ApplicationCode code)
    : ApplicationException(value(code)) {}

const char* LastError::what() const noexcept {
    try {
        return whatText_.store(lastErrorText());
    } catch (...) {
        return "Unknown exception";
    }
}

void publishDetail(const std::string& text) { process_env::set(stringVariable, text); }

void resetLastError() {
    static const std::map<std::string, std::string> cleared = {
        {messageVariable, applicationMessage(value(ApplicationCode::Success))},
        {codeVariable, std::to_string(value(ApplicationCode::Success))},
        {categoryVariable, applicationCategory().name()}};
    process_env::replaceSlot(cleared);
}

std::string lastErrorText() {
    std::string text = slotValue(codeVariable) + " " + slotValue(categoryVariable) + " '" +
                       slotValue(messageVariable) + "'";
    std::string extras;
    bool hasExtras = false;
    for (const char* variable : {fileInfoVariable, stringVariable}) {
        if (const auto value = process_env::get(variable)) {
            if (hasExtras) extras += ",";
            extras += *value;
            hasExtras = true;
        }
    }
    if (hasExtras) text += ": " + extras;
    return text;
}

}  // namespace zorva::plugin::exception
