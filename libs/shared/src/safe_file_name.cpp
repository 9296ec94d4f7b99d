#include "safe_file_name.h"

#include "exception.h"

#include <algorithm>

namespace zorva::plugin {

namespace {

bool isForbidden(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F;
}

}  // namespace

bool isSafeFileName(const std::string& name, std::size_t maxSize) {
    if (name.empty() || name.size() > maxSize || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), isForbidden);
}

const std::string& checkedFileName(const std::string& name, const char* operation,
                                   std::size_t maxSize) {
    if (!isSafeFileName(name, maxSize)) {
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::RequestFormat),
                     operation);
    }
    return name;
}

}  // namespace zorva::plugin
