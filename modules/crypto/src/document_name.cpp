#include "document_name.h"

#include "exception.h"

#include <algorithm>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

// Valid UTF-8: every byte but a continuation byte starts a character.
std::size_t characters(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

void checkDocumentName(const std::string& name, std::size_t number, const char* operation) {
    const std::string which =
        std::string(operation) + ": the name of document " + std::to_string(number);
    std::string reason;
    if (name.empty()) {
        reason = which + " is empty";
    } else if (characters(name) > maxDocumentNameLength) {
        reason = which + " is longer than " + std::to_string(maxDocumentNameLength) + " characters";
    } else {
        return;
    }
    PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::RequestFormat)
                     << plugin::exception::Message_(reason),
                 operation);
}

}  // namespace zorva::plugin::crypto
