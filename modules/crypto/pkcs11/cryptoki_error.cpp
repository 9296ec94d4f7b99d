#include "cryptoki_error.h"

#include "cryptoki_exception.h"

#include <p11-kit/p11-kit.h>

#include <boost/throw_exception.hpp>

#include <string>

namespace zorva::plugin::cryptoki {
namespace {

class CryptokiCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "Cryptoki"; }
    std::string message(int code) const override {
        return p11_kit_strerror(static_cast<CK_RV>(code));
    }
};

}  // namespace

const std::error_category& cryptokiCategory() {
    static const CryptokiCategory category;
    return category;
}

void check(CK_RV rv, const char* file, int line, const char* operation) {
    if (rv == CKR_OK) return;
    boost::throw_exception(
        exception::CryptokiException(std::error_code(static_cast<int>(rv), cryptokiCategory())),
        boost::source_location(file, line, operation));
}

}  // namespace zorva::plugin::cryptoki
