#include "openssl_error.h"

#include "crypto_exception.h"

#include <openssl/err.h>

#include <boost/throw_exception.hpp>

#include <string>

namespace {

class OpensslCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "OpenSSL"; }
    std::string message(int code) const override {
        const char* reason = ERR_reason_error_string(static_cast<unsigned long>(code));
        return reason ? reason : "OpenSSL error " + std::to_string(code);
    }
};

}  // namespace

void raiseOpensslError(const char* file, int line, const char* operation) {
    static const OpensslCategory category;
    // The packed value keeps library and reason; the queue is per thread.
    unsigned long error = ERR_get_error();
    if (error == 0) error = ERR_PACK(ERR_LIB_NONE, 0, ERR_R_INTERNAL_ERROR);
    ERR_clear_error();
    boost::throw_exception(zorva::plugin::crypto::exception::CryptoException(
                               std::error_code(static_cast<int>(error), category)),
                           boost::source_location(file, line, operation));
}
