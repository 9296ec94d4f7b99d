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

const std::map<int, const char*>& applicationMessages() {
    static const std::map<int, const char*> messages = {
        {0, "Успешное выполнение операции"},
        {20001, "Общая ошибка"},
        {20002, "Сессия прервана"},
        {20003, "Операция отменена пользователем"},
        {20004, "Модуль не загружен"},
        {20005, "Не найден метод"},
        {20006, "Данные не найдены"},
        {20007, "Не задан идентификатор файла"},
        {20008, "Не задано имя файла"},
        {20009, "Файл не найден"},
        {20010, "Неподдерживаемый механизм конвертации"},
        {20012, "Выходные данные повреждены"},
        {20013, "Отсутствует реализация"},
        {20014, "Ошибка подключения к TSA"},
        {20015, "Ошибка формата запроса"},
        {20016, "Отказ TSA в выдаче штампа времени"},
        {20017, "Ошибка при проверке штампа времени"},
        {20018, "Неизвестная ошибка при работе с сервером или штампом времени"},
        {20019, "Недостаточно свободного места на диске"},
        {20020, "Ошибка сравнения контрольных сумм"},
        {20021, "Превышен максимальный размер файла для подписи заданного типа в 100 Мбайт"},
        {20022, "Некорректный формат данных"},
        {20023, "Превышен максимальный размер ответа в 10 Мбайт"},
        {20024, "Ошибка при формировании файла"},
        {20025, "Сайт не одобрен пользователем"},
        {20026, "Превышен лимит данных, передаваемых частями"},
    };
    return messages;
}

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
    const auto& messages = applicationMessages();
    const auto found = messages.find(code);
    return found == messages.end() ? "unknown app error" : found->second;
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
        {messageVariable, applicationMessage(0)},
        {codeVariable, "0"},
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
