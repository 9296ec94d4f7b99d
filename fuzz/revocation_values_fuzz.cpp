// The DER reader and writer of a signature's revocation values, fed hostile
// signatures as `verify` and `augment` take them from a page.
#include "exception.h"
#include "fuzz_input.h"
#include "revocation_values.h"

namespace crypto = zorva::plugin::crypto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = inputText(data, size);
    const crypto::Bytes signature(input.begin(), input.end());
    const auto found = crypto::ocspResponses(signature);
    const crypto::Bytes response{0x30, 0x03, 0x0a, 0x01, 0x00};
    try {
        const auto added = crypto::ocspResponses(crypto::withOcspResponses(signature, {response}));
        require(added.size() >= found.size());
    } catch (const zorva::plugin::exception::ApplicationException& error) {
        require(error.applicationCode() ==
                zorva::plugin::exception::ApplicationCode::RequestFormat);
    }
    return 0;
}
